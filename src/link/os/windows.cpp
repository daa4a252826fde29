// Windows side of the platform layer: named pipes, Win32 files and processes,
// CryptoAPI for the hash. wchar_t is 16 bits here, so UTF-16 text crosses the
// boundary by reinterpreting char16_t buffers; that cast lives in this file only.
#include "src/link/os/os.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <algorithm>
#include <memory>

namespace vl5::os {

const char16_t kPathSeparator = u'\\';
const char16_t kTerminalExecutable[] = u"terminal64.exe";

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text must be UTF-16 units");
#ifdef _WIN64
// Layouts the terminal side of the protocol was written against.
static_assert(sizeof(PROCESSENTRY32W) == 568, "unexpected PROCESSENTRY32W layout");
static_assert(sizeof(STARTUPINFOW) == 104, "unexpected STARTUPINFOW layout");
#endif

constexpr DWORD kPipeBufferSize = 16384;
constexpr DWORD kMaxPathUnits = 260;
// Largest single ReadFile/WriteFile request; longer transfers are split.
constexpr std::size_t kMaxTransfer = 0x7FFFFFFF;

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
wchar_t* Wide(std::u16string* text) { return reinterpret_cast<wchar_t*>(text->data()); }
std::u16string FromWide(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
std::u16string FromWide(const wchar_t* text, std::size_t units) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), units);
}

PipeHandle ToPipe(HANDLE handle) { return reinterpret_cast<PipeHandle>(handle); }
HANDLE FromPipe(PipeHandle pipe) { return reinterpret_cast<HANDLE>(pipe); }

// ---- owned handles ----------------------------------------------------------

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Win32 reports failure as NULL or INVALID_HANDLE_VALUE depending on the call;
// both become an empty Handle.
Handle Own(HANDLE handle) { return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

struct CoTaskMemFreer {
  void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

class CryptoContext {
 public:
  CryptoContext() = default;
  CryptoContext(const CryptoContext&) = delete;
  CryptoContext& operator=(const CryptoContext&) = delete;
  ~CryptoContext() {
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  bool Acquire() { return CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != 0; }
  HCRYPTPROV get() const { return provider_; }

 private:
  HCRYPTPROV provider_ = 0;
};

class CryptoHash {
 public:
  CryptoHash() = default;
  CryptoHash(const CryptoHash&) = delete;
  CryptoHash& operator=(const CryptoHash&) = delete;
  ~CryptoHash() {
    if (hash_ != 0) CryptDestroyHash(hash_);
  }
  bool Create(const CryptoContext& context) { return CryptCreateHash(context.get(), CALG_SHA_256, 0, 0, &hash_) != 0; }
  HCRYPTHASH get() const { return hash_; }

 private:
  HCRYPTHASH hash_ = 0;
};

// ---- pipe helpers ---------------------------------------------------------------

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
    HANDLE pipe = CreateFileW(Wide(listener->address), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
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

// ---- files and folders ----------------------------------------------------------

std::u16string NormalizePath(const std::u16string& path, std::size_t limit) {
  // Flags 0 opens files only; a folder falls back to the path as given.
  Handle file = Own(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (file) {
    DWORD capacity = static_cast<DWORD>(std::min<std::size_t>(limit, kMaxPathUnits));
    std::u16string out(capacity + 1, u'\0');
    DWORD length = GetFinalPathNameByHandleW(file.get(), Wide(&out), capacity, 0);
    if (length >= 1 && length <= capacity) {
      out.resize(length);
      return out;
    }
  }
  return path.substr(0, limit);
}

void LowerCase(std::u16string* text) {
  if (!text->empty()) CharLowerBuffW(Wide(text), static_cast<DWORD>(text->size()));
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES; }

// The roaming application-data folder is private to the user by its access
// list, so a data folder there is taken as the user's own.
OwnFolder::OwnFolder(const std::u16string& path) : path_(path) {}
OwnFolder::~OwnFolder() = default;

bool OwnFolder::IsOpen() const {
  DWORD attributes = GetFileAttributesW(Wide(path_));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OwnFolder::HasFolder(const std::u16string& relative) const {
  DWORD attributes = GetFileAttributesW(Wide(path_ + u'\\' + relative));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OwnFolder::FileTime(const std::u16string& relative, std::uint64_t* filetime) const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path_ + u'\\' + relative), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *filetime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
              data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool OwnFolder::ReadOwnFile(const std::u16string& relative, std::size_t limit, std::string* bytes) const {
  Handle file = Own(CreateFileW(Wide(path_ + u'\\' + relative), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
  bytes->assign(std::min(limit, kMaxTransfer), '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr)) return false;
  bytes->resize(got);
  return true;
}

std::vector<std::u16string> ListFolders(const std::u16string& folder) {
  std::vector<std::u16string> names;
  std::u16string pattern = folder;
  if (pattern.empty() || (pattern.back() != u'\\' && pattern.back() != u'/')) pattern += u'\\';
  pattern += u'*';
  WIN32_FIND_DATAW entry;
  HANDLE first = FindFirstFileW(Wide(pattern), &entry);
  if (first == INVALID_HANDLE_VALUE) return names;
  std::unique_ptr<void, FindCloser> find(first);
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.push_back(FromWide(entry.cFileName));
  } while (FindNextFileW(find.get(), &entry));
  return names;
}

bool RoamingAppData(std::u16string* path) {
  PWSTR raw = nullptr;
  HRESULT result = SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &raw);
  std::unique_ptr<wchar_t, CoTaskMemFreer> owned(raw);  // freed on failure too
  if (FAILED(result) || raw == nullptr) return false;
  *path = FromWide(raw);
  return true;
}

// ---- files this user's programs trust ---------------------------------------------------

// The user's profile folders are protected by their access lists; what is
// checked here is that nothing on the way is a link to somewhere else.

bool FolderIsPrivate(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool MakeFolders(const std::u16string& path, std::uint32_t* error) {
  // Every prefix up to a separator; those that cannot be made (a drive, a
  // share) are judged by the final folder alone.
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != u'\\' && path[i] != u'/') continue;
    CreateDirectoryW(Wide(path.substr(0, i)), nullptr);
  }
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    *error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
    return false;
  }
  return true;
}

namespace {

// Opens a file for the checked reads: not through a reparse point, and only
// a file on disk (never a pipe or device that could block).
FileRead OpenRegular(const std::u16string& path, Handle* file, std::uint64_t* size) {
  *file = Own(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!*file) {
    const DWORD err = GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? FileRead::kMissing : FileRead::kFailed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file->get(), &info)) return FileRead::kFailed;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      GetFileType(file->get()) != FILE_TYPE_DISK) {
    return FileRead::kNotRegular;
  }
  *size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return FileRead::kRead;
}

}  // namespace

FileRead ReadRegularFile(const std::u16string& path, std::size_t limit, std::string* bytes) {
  Handle file;
  std::uint64_t size = 0;
  if (const FileRead opened = OpenRegular(path, &file, &size); opened != FileRead::kRead) return opened;
  if (size > limit) return FileRead::kTooLarge;
  bytes->assign(limit + 1, '\0');
  std::size_t have = 0;
  for (;;) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(bytes->size() - have, kMaxTransfer));
    if (!ReadFile(file.get(), bytes->data() + have, want, &got, nullptr)) return FileRead::kFailed;
    if (got == 0) break;
    have += got;
    if (have > limit) return FileRead::kTooLarge;
  }
  bytes->resize(have);
  return FileRead::kRead;
}

FileRead StreamRegularFile(const std::u16string& path, const FilePiece& piece) {
  Handle file;
  std::uint64_t size = 0;
  if (const FileRead opened = OpenRegular(path, &file, &size); opened != FileRead::kRead) return opened;
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return FileRead::kFailed;
    if (got == 0 || !piece(buffer.data(), got)) return FileRead::kRead;
  }
}

bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes, std::uint32_t* error) {
  static LONG counter = 0;
  const std::string suffix = ".tmp" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(InterlockedIncrement(&counter));
  const std::u16string temporary = path + std::u16string(suffix.begin(), suffix.end());
  {
    Handle file = Own(CreateFileW(Wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) {
      *error = GetLastError();
      return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD wrote = 0;
      const DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, kMaxTransfer));
      if (!WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr) || wrote == 0) {
        *error = GetLastError();
        file.reset();
        DeleteFileW(Wide(temporary));
        return false;
      }
      done += wrote;
    }
  }
  if (!MoveFileExW(Wide(temporary), Wide(path), MOVEFILE_REPLACE_EXISTING)) {
    *error = GetLastError();
    DeleteFileW(Wide(temporary));
    return false;
  }
  return true;
}

bool TouchFile(const std::u16string& path, std::uint32_t* error) {
  Handle file = Own(CreateFileW(Wide(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get(), &info)) {
    *error = GetLastError();
    return false;
  }
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (!SetFileTime(file.get(), nullptr, nullptr, &now)) {
    *error = GetLastError();
    return false;
  }
  return true;
}

bool RemoveFile(const std::u16string& path, std::uint32_t* error) {
  if (DeleteFileW(Wide(path))) return true;
  const DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return true;
  *error = err;
  return false;
}

// ---- processes ------------------------------------------------------------------------

std::uint32_t ParentProcessId() {
  Handle snapshot = Own(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  DWORD self = GetCurrentProcessId();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  }
  return 0;
}

bool ProcessImagePath(std::uint32_t pid, std::u16string* path) {
  Handle process = Own(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;
  wchar_t buffer[kMaxPathUnits];
  DWORD size = kMaxPathUnits;
  if (!QueryFullProcessImageNameW(process.get(), 0, buffer, &size)) return false;
  *path = FromWide(buffer, size);
  return true;
}

std::u16string CurrentExecutablePath() {
  // A result that fills the buffer may be cut: retry with more room.
  for (DWORD capacity = MAX_PATH; capacity < 65536; capacity *= 2) {
    std::u16string buffer(capacity, u'\0');
    DWORD length = GetModuleFileNameW(nullptr, Wide(&buffer), capacity);
    if (length == 0) return {};
    if (length < capacity) {
      buffer.resize(length);
      return buffer;
    }
  }
  return {};
}

bool StartProcess(const std::u16string& path, bool portable) {
  // The command line is never cut: a cut one would lose "/portable" (or its
  // closing quote) for a long path and start the terminal in the wrong mode.
  // CreateProcessW may write into it, so it lives in a mutable buffer.
  std::u16string command_line = u"\"" + path + u"\" /portable";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = INVALID_HANDLE_VALUE;
  startup.hStdError = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(Wide(path), portable ? Wide(&command_line) : nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  // The terminal runs on its own; nothing here waits for it or stops it.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool SleepMs(std::uint32_t milliseconds) {
  Sleep(milliseconds);
  return true;
}

// Signals do not interrupt Win32 calls, so the check is never asked here.
void SetInterruptCheck(InterruptCheck) {}

// ---- hashing ------------------------------------------------------------------------------

bool Sha256(const void* data, std::size_t size, std::uint8_t digest[32]) {
  CryptoContext context;
  CryptoHash hash;
  if (!context.Acquire() || !hash.Create(context)) return false;
  const auto* p = static_cast<const BYTE*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!CryptHashData(hash.get(), p, chunk, 0)) return false;
    p += chunk;
    size -= chunk;
  }
  DWORD length = 32;
  return CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0) && length == 32;
}

std::u16string Sha256FailureNote() { return u""; }

}  // namespace vl5::os
