// The platform layer: the few operating-system services the link and the
// terminal need, behind one portable interface. Only the files in this folder
// include <windows.h> or POSIX headers; everything above works in UTF-16
// (char16_t) text and plain integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
inline constexpr std::uint32_t kErrorCancelled = 995;   // a wait ended by WakeListener
inline constexpr std::uint32_t kErrorTimedOut = 1460;   // nothing arrived in the time allowed
// A transfer or wait abandoned because the interrupt check asked for it.
inline constexpr std::uint32_t kErrorInterrupted = 1223;

// Asked when a signal interrupts a blocking transfer or sleep of the pipe
// client (POSIX): true abandons the call, false resumes it. Unset, every
// interrupted call resumes. Windows calls are not interrupted by signals.
using InterruptCheck = bool (*)();
void SetInterruptCheck(InterruptCheck check);

extern const char16_t kPathSeparator;           // '\\' or '/'
extern const char16_t kTerminalExecutable[];    // "terminal64.exe" or "terminal64"

// ---- pipe client -----------------------------------------------------------

// Full pipe address for a base name such as "VL5.Terminal.<HEX>".
std::u16string PipeAddress(const std::u16string& base_name);

// Opens the client end. Waits for a busy server without limit. On failure
// returns kInvalidPipe and stores the system error number in *error.
PipeHandle OpenPipe(const std::u16string& address, std::uint32_t* error);

// Moves exactly n bytes, continuing short transfers. On failure returns false
// with *error set (kErrorBrokenPipe when the other end is gone,
// kErrorInterrupted when the interrupt check ended the transfer).
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
// kErrorCancelled once WakeListener was called).
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

// ---- files and folders --------------------------------------------------------

// Normalised absolute form of an existing path, at most `limit` units; the path
// itself (cut to `limit` units) when it cannot be resolved.
std::u16string NormalizePath(const std::u16string& path, std::size_t limit);
// Simple per-unit Unicode lower-casing, in place.
void LowerCase(std::u16string* text);
bool Exists(const std::u16string& path);
// Names of the subfolders of `folder`, in enumeration order.
std::vector<std::u16string> ListFolders(const std::u16string& folder);
// The per-user roaming application-data folder (no trailing separator).
bool RoamingAppData(std::u16string* path);

// A folder whose files are read as this user's own. On POSIX it opens only a
// real folder (no symbolic link) that the effective user owns and nobody else
// can write, and reaches what lies below it without following a symbolic link
// or opening anything but a regular file, so a file planted by another user is
// never read and a FIFO never blocks. `relative` names are joined by '/'.
class OwnFolder {
 public:
  explicit OwnFolder(const std::u16string& path);
  ~OwnFolder();
  OwnFolder(const OwnFolder&) = delete;
  OwnFolder& operator=(const OwnFolder&) = delete;

  bool IsOpen() const;
  bool HasFolder(const std::u16string& relative) const;
  // Last-write time of a regular file in 100 ns units since 1601-01-01.
  bool FileTime(const std::u16string& relative, std::uint64_t* filetime) const;
  // At most `limit` bytes from the start of a regular file that, like the
  // folder, belongs to this user and nobody else can write.
  bool ReadOwnFile(const std::u16string& relative, std::size_t limit, std::string* bytes) const;

 private:
  std::u16string path_;
  std::intptr_t native_ = -1;  // the folder's descriptor on POSIX
};
// ---- files this user's programs trust ---------------------------------------------

// A real folder (not a symlink) owned by this user that group and others
// cannot write. On Windows: a folder that is not a reparse point.
bool FolderIsPrivate(const std::u16string& path);
// Creates a folder and its missing parents; new ones are this user's only.
bool MakeFolders(const std::u16string& path, std::uint32_t* error);

enum class FileRead { kRead, kMissing, kNotRegular, kForeign, kTooLarge, kFailed };
// Reads a whole file of at most `limit` bytes, opened without following a
// symlink and without blocking, and only when it is a regular file (kForeign:
// owned by another user, or writable by group or others).
FileRead ReadRegularFile(const std::u16string& path, std::size_t limit, std::string* bytes);
// The same file checks, for a file of any size: hands it to `piece` in pieces
// of at most 1 MiB as they are read, so it is never held whole. `piece`
// returning false ends the read (still kRead: the caller knows why).
using FilePiece = std::function<bool(const char* data, std::size_t size)>;
FileRead StreamRegularFile(const std::u16string& path, const FilePiece& piece);
// Writes a new temporary file beside `path` and renames it over `path`, so a
// symlink planted there is replaced, never followed.
bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes, std::uint32_t* error);
// Sets the last-write time of a regular file to now, not through a symlink.
bool TouchFile(const std::u16string& path, std::uint32_t* error);
// Removes a file, or a symlink itself; a missing one is no failure.
bool RemoveFile(const std::u16string& path, std::uint32_t* error);

// ---- processes -------------------------------------------------------------------

std::uint32_t ParentProcessId();
// Image path of a process; false when it cannot be queried.
bool ProcessImagePath(std::uint32_t pid, std::u16string* path);
// Full path of the running program (used by servers to name their pipe).
std::u16string CurrentExecutablePath();
// Starts a detached program with argv [path] or [path, "/portable"], with
// default signal dispositions and an empty signal mask.
bool StartProcess(const std::u16string& path, bool portable);
// False when the interrupt check ended the sleep early.
bool SleepMs(std::uint32_t milliseconds);

// ---- hashing -----------------------------------------------------------------------

bool Sha256(const void* data, std::size_t size, std::uint8_t digest[32]);
// What the platform can say about a failed Sha256 beyond the failure itself,
// to follow an error text ("" when nothing).
std::u16string Sha256FailureNote();

}  // namespace vl5::os
