// Pipes: the channel between the module and the terminal. A named pipe on
// Windows, a Unix-domain stream socket elsewhere; both ends call these
// functions, so an address computed by one is found by the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl5::os {

// A pipe end: a Windows HANDLE or a POSIX descriptor, widened to one integer
// so that "not connected" is the same all-bits-set value on both systems.
using PipeHandle = std::intptr_t;
inline constexpr PipeHandle kInvalidPipe = -1;

// Error numbers reported by the pipe functions. The broken-pipe condition is
// reported as the Windows number on every system, so callers test one value.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorBrokenPipe = 109;
inline constexpr std::uint32_t kErrorPipeBusy = 231;
inline constexpr std::uint32_t kErrorCancelled = 995;  // a wait ended by WakeListener
inline constexpr std::uint32_t kErrorTimedOut = 1460;  // nothing arrived in the time allowed
// A transfer or wait abandoned because the interrupt check asked for it.
inline constexpr std::uint32_t kErrorInterrupted = 1223;

// ---- pipe client -----------------------------------------------------------

// Full pipe address for a base name such as "VL5.Terminal.<HEX>".
std::u16string PipeAddress(const std::u16string& base_name);

// Opens the client end. Waits for a busy server without limit. On failure
// returns kInvalidPipe and stores the system error number in *error. On
// POSIX a server run by another user is refused (EACCES), and so is every
// server where the system cannot say who runs it.
PipeHandle OpenPipe(const std::u16string& address, std::uint32_t* error);

// Moves exactly n bytes, continuing short transfers. On failure returns false
// with *error set (kErrorBrokenPipe when the other end is gone,
// kErrorInterrupted when the interrupt check of thread.h ended the transfer).
bool ReadPipe(PipeHandle pipe, void* data, std::size_t n, std::uint32_t* error);
bool WritePipe(PipeHandle pipe, const void* data, std::size_t n, std::uint32_t* error);
void ClosePipe(PipeHandle pipe);

// ---- pipe server (terminal side) --------------------------------------------

// A listening endpoint; instances are accepted one client at a time.
struct PipeListener {
  std::u16string address;
  std::intptr_t native = -1;  // listening socket on POSIX; the waiting pipe instance on Windows
  // POSIX: both ends of a socket pair that wakes AcceptPipe without going through
  // the socket file, which may have been removed by then.
  std::intptr_t wake_read = -1;
  std::intptr_t wake_write = -1;
};
bool ListenPipe(const std::u16string& address, PipeListener* listener, std::uint32_t* error);
// Blocks until a client connects; returns its end, or kInvalidPipe (with
// kErrorCancelled once WakeListener was called). On POSIX a client of
// another user, or one the system cannot name, is hung up on unseen.
PipeHandle AcceptPipe(PipeListener* listener, std::uint32_t* error);
// Ends the wait of AcceptPipe on another thread, now and at every later call.
void WakeListener(PipeListener* listener);
void CloseListener(PipeListener* listener);

// Reads between 1 and n bytes, whatever has arrived, waiting at most
// `timeout_ms` for the first of them (kNoTimeout: without limit). A wait that
// runs out fails with kErrorTimedOut.
inline constexpr std::int32_t kNoTimeout = -1;
bool ReadPipeSome(PipeHandle pipe, void* data, std::size_t n, std::int32_t timeout_ms, std::size_t* got,
                  std::uint32_t* error);

// Writes all n bytes like WritePipe, for a peer that may stop reading: gives
// up with kErrorTimedOut once the other end has taken no byte for
// `stall_ms`. A reader that keeps taking bytes, however slowly, gets them
// all; bytes that fit at once cost one write and no wait.
bool WritePipeWithin(PipeHandle pipe, const void* data, std::size_t n, std::int32_t stall_ms, std::uint32_t* error);

}  // namespace vl5::os
