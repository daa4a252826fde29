// Windows side of pipe.h: named pipes, overlapped so that a server's waits
// can have a limit.
#include "src/link/os/pipe.h"

#include <algorithm>

#include "src/link/os/windows/win32.h"

namespace vl5::os {

namespace {

constexpr DWORD kPipeBufferSize = 16384;

PipeHandle ToPipe(HANDLE handle) { return reinterpret_cast<PipeHandle>(handle); }
HANDLE FromPipe(PipeHandle pipe) { return reinterpret_cast<HANDLE>(pipe); }

// A peer that has gone away shows up as one of three codes depending on which
// end closed and on whether we were reading or writing; callers test one value.
std::uint32_t MapIoError(DWORD error) {
  switch (error) {
    case ERROR_BROKEN_PIPE:         // read after the other end closed
    case ERROR_NO_DATA:             // write while the other end is closing
    case ERROR_PIPE_NOT_CONNECTED:  // the server disconnected this instance
      return kErrorBrokenPipe;
    default:
      return static_cast<std::uint32_t>(error);
  }
}

HANDLE CreateInstance(const std::u16string& address, bool first) {
  // The first instance claims the name, so a second server of the same
  // installation fails instead of silently sharing clients with this one.
  // Overlapped, so that a wait on a client can have a limit (see RunOverlapped).
  DWORD open_mode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  return CreateNamedPipeW(Wide(address), open_mode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, 0, nullptr);
}

void WINAPI CloseThreadEvent(void* event) {
  if (event != nullptr) CloseHandle(event);
}

// The calling thread's event for its pipe transfers, made at its first one
// and closed when the thread ends; a thread has one transfer going at a time.
// Fiber-local storage with a callback, not a thread_local object: MinGW runs
// thread_local destructors after the thread's storage is freed.
HANDLE TransferEvent() {
  static const DWORD slot = FlsAlloc(CloseThreadEvent);
  if (slot == FLS_OUT_OF_INDEXES) return nullptr;
  HANDLE event = FlsGetValue(slot);
  if (event == nullptr) {
    event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event != nullptr && !FlsSetValue(slot, event)) {
      CloseHandle(event);
      return nullptr;
    }
  }
  return event;
}

// Runs one operation that `begin` starts on `overlapped` (ReadFile, WriteFile,
// ConnectNamedPipe) and waits for it at most `timeout_ms` (kNoTimeout: without
// limit), cancelling it when time runs out (kErrorTimedOut). Server instances
// are overlapped so that a wait can have a limit; on a synchronous handle
// (the client's) the operation simply completes before `begin` returns.
template <typename Begin>
bool RunOverlapped(HANDLE handle, std::int32_t timeout_ms, DWORD* done, std::uint32_t* error, Begin begin) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = TransferEvent();
  if (overlapped.hEvent == nullptr) {
    *error = GetLastError();
    return false;
  }
  DWORD waited = WAIT_OBJECT_0;
  if (!begin(&overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      *error = MapIoError(GetLastError());
      return false;
    }
    const DWORD limit = timeout_ms == kNoTimeout ? INFINITE : static_cast<DWORD>(std::max<std::int32_t>(timeout_ms, 0));
    waited = WaitForSingleObject(overlapped.hEvent, limit);
    // The operation must be over before `overlapped` goes out of scope.
    if (waited != WAIT_OBJECT_0) CancelIoEx(handle, &overlapped);
  }
  if (GetOverlappedResult(handle, &overlapped, done, TRUE)) return true;  // also one completed just before the cancel
  const DWORD err = GetLastError();
  *error = waited == WAIT_TIMEOUT && err == ERROR_OPERATION_ABORTED ? kErrorTimedOut : MapIoError(err);
  return false;
}

bool ReadSome(HANDLE handle, void* data, std::size_t n, std::int32_t timeout_ms, DWORD* got, std::uint32_t* error) {
  const DWORD size = static_cast<DWORD>(std::min(n, kMaxTransfer));
  return RunOverlapped(handle, timeout_ms, got, error,
                       [&](OVERLAPPED* overlapped) { return ReadFile(handle, data, size, nullptr, overlapped); });
}

}  // namespace

// ---- pipe client -----------------------------------------------------------

std::u16string PipeAddress(const std::u16string& base_name) { return u"\\\\.\\pipe\\" + base_name; }

PipeHandle OpenPipe(const std::u16string& address, std::uint32_t* error) {
  // A server squatting the name may identify the user but never act as the user.
  constexpr DWORD kQualityOfService = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
  for (;;) {
    HANDLE pipe =
        CreateFileW(Wide(address), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kQualityOfService, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return ToPipe(pipe);
    DWORD err = GetLastError();
    if (err != ERROR_PIPE_BUSY) {
      *error = err;
      return kInvalidPipe;
    }
    // Every instance is serving another client: wait for one to come free.
    if (!WaitNamedPipeW(Wide(address), NMPWAIT_WAIT_FOREVER)) {
      *error = ERROR_PIPE_BUSY;
      return kInvalidPipe;
    }
  }
}

bool ReadPipe(PipeHandle pipe, void* data, std::size_t n, std::uint32_t* error) {
  auto* p = static_cast<char*>(data);
  while (n > 0) {
    DWORD got = 0;
    if (!ReadSome(FromPipe(pipe), p, n, kNoTimeout, &got, error)) return false;
    if (got == 0) {
      // Nothing arrived although bytes are still due: the stream has ended.
      *error = kErrorBrokenPipe;
      return false;
    }
    p += got;
    n -= got;
  }
  return true;
}

bool WritePipe(PipeHandle pipe, const void* data, std::size_t n, std::uint32_t* error) {
  return WritePipeWithin(pipe, data, n, kNoTimeout, error);
}

bool WritePipeWithin(PipeHandle pipe, const void* data, std::size_t n, std::int32_t stall_ms, std::uint32_t* error) {
  // An empty transfer issues no WriteFile: a zero-byte write would reach the
  // reader as a zero-byte read, which it takes for the end of the stream.
  // A write completes once the pipe's buffer holds all of it, so with a limit
  // the bytes go a buffer's worth at a time and each piece is the progress
  // the limit measures.
  const std::size_t piece = stall_ms == kNoTimeout ? kMaxTransfer : kPipeBufferSize;
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const auto size = static_cast<DWORD>(std::min(n, piece));
    DWORD sent = 0;
    if (!RunOverlapped(FromPipe(pipe), stall_ms, &sent, error, [&](OVERLAPPED* overlapped) {
          return WriteFile(FromPipe(pipe), p, size, nullptr, overlapped);
        })) {
      return false;
    }
    if (sent == 0) {
      *error = ERROR_WRITE_FAULT;  // no progress on a blocking pipe; do not spin
      return false;
    }
    p += sent;
    n -= sent;
  }
  return true;
}

void ClosePipe(PipeHandle pipe) {
  if (pipe != kInvalidPipe) CloseHandle(FromPipe(pipe));
}

// ---- pipe server --------------------------------------------------------------

// The listener always holds one unconnected instance, so a client arriving
// between two AcceptPipe calls connects to it, or (when it is taken) gets
// ERROR_PIPE_BUSY and waits until the next AcceptPipe opens another one.

bool ListenPipe(const std::u16string& address, PipeListener* listener, std::uint32_t* error) {
  HANDLE instance = CreateInstance(address, true);
  if (instance == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  listener->address = address;
  listener->native = ToPipe(instance);
  return true;
}

PipeHandle AcceptPipe(PipeListener* listener, std::uint32_t* error) {
  if (listener->native == kInvalidPipe) {
    // Opening the next instance failed at the last accept: try again now.
    HANDLE instance = CreateInstance(listener->address, false);
    if (instance == INVALID_HANDLE_VALUE) {
      *error = GetLastError();
      return kInvalidPipe;
    }
    listener->native = ToPipe(instance);
  }
  HANDLE instance = FromPipe(listener->native);
  DWORD ignored = 0;
  std::uint32_t err = 0;
  // ERROR_PIPE_CONNECTED: the client came before this call. A broken pipe
  // (ERROR_NO_DATA): it came and already left; its end is handed out like any
  // other and the caller's first read reports the broken pipe.
  if (!RunOverlapped(instance, kNoTimeout, &ignored, &err,
                     [&](OVERLAPPED* overlapped) { return ConnectNamedPipe(instance, overlapped); }) &&
      err != ERROR_PIPE_CONNECTED && err != kErrorBrokenPipe) {
    *error = err;
    return kInvalidPipe;
  }
  HANDLE next = CreateInstance(listener->address, false);
  listener->native = ToPipe(next);  // INVALID_HANDLE_VALUE is kInvalidPipe: retried above
  return ToPipe(instance);
}

void WakeListener(PipeListener* listener) {
  // A named pipe has no file that could be removed: a connection of our own
  // ends ConnectNamedPipe, and the caller, told to stop, closes it. No wait
  // for a busy pipe without limit: the accept thread may have stopped before
  // opening its next instance, and then there is nothing to wake.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE pipe =
        CreateFileW(Wide(listener->address), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      CloseHandle(pipe);
      return;
    }
    if (GetLastError() != ERROR_PIPE_BUSY) return;
    Sleep(5);
  }
}

void CloseListener(PipeListener* listener) {
  if (listener->native != kInvalidPipe) CloseHandle(FromPipe(listener->native));
  listener->native = kInvalidPipe;
}

bool ReadPipeSome(PipeHandle pipe, void* data, std::size_t n, std::int32_t timeout_ms, std::size_t* got,
                  std::uint32_t* error) {
  DWORD read = 0;
  if (!ReadSome(FromPipe(pipe), data, n, timeout_ms, &read, error)) return false;
  if (read == 0) {
    *error = kErrorBrokenPipe;
    return false;
  }
  *got = read;
  return true;
}

}  // namespace vl5::os
