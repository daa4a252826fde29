// POSIX side of the platform layer: Unix-domain stream sockets stand in for
// named pipes, XDG folders for the roaming application-data folder, the
// system's libcrypto for the hash. Text crosses this boundary as UTF-8 paths.
#include "src/link/os/os.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wctype.h>

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "src/wire/text.h"

namespace vl5::os {

const char16_t kPathSeparator = u'/';
const char16_t kTerminalExecutable[] = u"terminal64";

namespace {

using wire::Utf16ToUtf8;
using wire::Utf8ToUtf16;

// Seconds between 1601-01-01 and 1970-01-01, the two epochs of file times.
constexpr std::uint64_t kEpochDifference = 11644473600ULL;

// An owned descriptor, closed once when its owner goes.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

InterruptCheck g_interrupt_check = nullptr;

// A signal interrupted a blocking call: true when the caller wants it abandoned.
bool Abandon() { return g_interrupt_check != nullptr && g_interrupt_check(); }

std::string FallbackRuntimeDir() { return "/tmp/vl5-" + std::to_string(geteuid()); }

std::string RuntimeDir() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  return FallbackRuntimeDir();
}

std::string Dirname(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The shared /tmp fallback is only trusted when it is private to this user.
bool RuntimeDirTrusted(const std::string& dir) {
  if (dir != FallbackRuntimeDir()) return true;
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0) return true;  // missing: connect reports ENOENT
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

bool FillSocketAddress(const std::string& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof(*addr));
  addr->sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr->sun_path)) return false;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

std::uint32_t MapIoError(int err) {
  return (err == EPIPE || err == ECONNRESET) ? kErrorBrokenPipe : static_cast<std::uint32_t>(err);
}

bool PeerIsMe(int fd) {
  ucred cred{};
  socklen_t len = sizeof(cred);
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == geteuid();
}

// Only this user can have put it there, and only this user can change it.
bool PrivateToMe(const struct stat& st) { return st.st_uid == geteuid() && (st.st_mode & 022) == 0; }

// Reads until the end of the file or `limit` bytes, whichever comes first.
bool ReadAtMost(int fd, std::size_t limit, std::string* bytes) {
  bytes->assign(limit, '\0');
  std::size_t have = 0;
  while (have < limit) {
    const ssize_t got = read(fd, bytes->data() + have, limit - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  bytes->resize(have);
  return true;
}

// Opens `relative` below the folder `dir` one name at a time, never through a
// symbolic link; `flags` apply to the last name.
Fd OpenBelow(int dir, const std::string& relative, int flags) {
  Fd parent;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = relative.find('/', start);
    bool last = slash == std::string::npos;
    std::string name = relative.substr(start, last ? std::string::npos : slash - start);
    int at = parent ? parent.get() : dir;
    Fd next(openat(at, name.c_str(), (last ? flags : O_PATH | O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC));
    if (!next || last) return next;
    parent = std::move(next);
    start = slash + 1;
  }
}

bool StatBelow(int dir, const std::string& relative, struct stat* st) {
  // O_PATH opens nothing for reading: a FIFO or device there is never touched.
  Fd fd = OpenBelow(dir, relative, O_PATH);
  return fd && fstat(fd.get(), st) == 0;
}

std::uint64_t FileTimeOf(const struct stat& st) {
  return (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + kEpochDifference) * 10000000ULL +
         static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
}

// The started terminal must not inherit what the caller did to its signals:
// exec keeps ignored dispositions and the mask, so a caller that blocks or
// ignores SIGTERM would start a terminal that SIGTERM cannot stop.
void DefaultSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &action, nullptr);  // SIGKILL and the like refuse
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

void CloseFrom(int first, int keep) {
  // Descriptors of the Python process must not leak into the terminal.
#ifdef SYS_close_range
  if (keep > first) syscall(SYS_close_range, first, keep - 1, 0);
  if (syscall(SYS_close_range, std::max(first, keep + 1), ~0U, 0) == 0) return;
#endif
  long max = sysconf(_SC_OPEN_MAX);
  for (int fd = first; fd < (max > 0 ? max : 1024); ++fd) {
    if (fd != keep) close(fd);
  }
}

}  // namespace

// ---- pipe client -----------------------------------------------------------

std::u16string PipeAddress(const std::u16string& base_name) {
  return Utf8ToUtf16(RuntimeDir()) + u'/' + base_name;
}

PipeHandle OpenPipe(const std::u16string& address, std::uint32_t* error) {
  std::string path = Utf16ToUtf8(address);
  sockaddr_un addr;
  if (!FillSocketAddress(path, &addr)) {
    *error = ENAMETOOLONG;
    return kInvalidPipe;
  }
  if (!RuntimeDirTrusted(Dirname(path))) {
    *error = EACCES;
    return kInvalidPipe;
  }
  for (;;) {
    Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
      *error = static_cast<std::uint32_t>(errno);
      return kInvalidPipe;
    }
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
      if (PeerIsMe(fd.get())) return fd.Release();
      *error = EACCES;
      return kInvalidPipe;
    }
    int err = errno;
    if (err != EAGAIN && err != EINTR) {
      *error = static_cast<std::uint32_t>(err);
      return kInvalidPipe;
    }
    // Backlog full (the server is busy) or a signal: try again unless told to stop.
    if ((err == EINTR && Abandon()) || !SleepMs(1)) {
      *error = kErrorInterrupted;
      return kInvalidPipe;
    }
  }
}

bool ReadPipe(PipeHandle pipe, void* data, std::size_t n, std::uint32_t* error) {
  auto* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t got = recv(static_cast<int>(pipe), p, n, 0);
    if (got > 0) {
      p += got;
      n -= static_cast<std::size_t>(got);
    } else if (got == 0) {
      *error = kErrorBrokenPipe;  // end of stream while bytes are still due
      return false;
    } else if (errno != EINTR) {
      *error = MapIoError(errno);
      return false;
    } else if (Abandon()) {
      *error = kErrorInterrupted;
      return false;
    }
  }
  return true;
}

bool WritePipe(PipeHandle pipe, const void* data, std::size_t n, std::uint32_t* error) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t sent = send(static_cast<int>(pipe), p, n, MSG_NOSIGNAL);
    if (sent >= 0) {
      p += sent;
      n -= static_cast<std::size_t>(sent);
    } else if (errno != EINTR) {
      *error = MapIoError(errno);
      return false;
    } else if (Abandon()) {
      *error = kErrorInterrupted;
      return false;
    }
  }
  return true;
}

void SetInterruptCheck(InterruptCheck check) { g_interrupt_check = check; }

void ClosePipe(PipeHandle pipe) {
  if (pipe != kInvalidPipe) close(static_cast<int>(pipe));
}

// ---- pipe server --------------------------------------------------------------

bool ListenPipe(const std::u16string& address, PipeListener* listener, std::uint32_t* error) {
  std::string path = Utf16ToUtf8(address);
  std::string dir = Dirname(path);
  if (dir == FallbackRuntimeDir() && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  if (!RuntimeDirTrusted(dir)) {
    *error = EACCES;
    return false;
  }
  // A live server already owns the name; a stale socket file is replaced.
  std::uint32_t probe_error = 0;
  PipeHandle probe = OpenPipe(address, &probe_error);
  if (probe != kInvalidPipe) {
    ClosePipe(probe);
    *error = EADDRINUSE;
    return false;
  }
  sockaddr_un addr;
  if (!FillSocketAddress(path, &addr)) {
    *error = ENAMETOOLONG;
    return false;
  }
  unlink(path.c_str());
  // Non-blocking, so that a client gone between poll and accept cannot
  // block the accept thread.
  Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  int wake[2] = {-1, -1};
  if (!fd || bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd.get(), 64) != 0 ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wake) != 0) {
    *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  listener->address = address;
  listener->native = fd.Release();
  listener->wake_read = wake[0];
  listener->wake_write = wake[1];
  return true;
}

PipeHandle AcceptPipe(PipeListener* listener, std::uint32_t* error) {
  for (;;) {
    pollfd waits[2] = {{static_cast<int>(listener->native), POLLIN, 0},
                       {static_cast<int>(listener->wake_read), POLLIN, 0}};
    if (poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      *error = static_cast<std::uint32_t>(errno);
      return kInvalidPipe;
    }
    if (waits[1].revents != 0) {  // never drained: every later call ends here too
      *error = kErrorCancelled;
      return kInvalidPipe;
    }
    Fd fd(accept4(static_cast<int>(listener->native), nullptr, nullptr, SOCK_CLOEXEC));
    if (fd) {
      if (PeerIsMe(fd.get())) return fd.Release();
      continue;
    }
    if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN && errno != EWOULDBLOCK) {
      *error = static_cast<std::uint32_t>(errno);
      return kInvalidPipe;
    }
  }
}

void WakeListener(PipeListener* listener) {
  if (listener->wake_write < 0) return;
  const char byte = 1;
  ssize_t ignored = send(static_cast<int>(listener->wake_write), &byte, 1, MSG_NOSIGNAL);  // full: already woken
  (void)ignored;
}

void CloseListener(PipeListener* listener) {
  if (listener->native >= 0) {
    close(static_cast<int>(listener->native));
    unlink(Utf16ToUtf8(listener->address).c_str());
  }
  for (std::intptr_t* end : {&listener->wake_read, &listener->wake_write}) {
    if (*end >= 0) close(static_cast<int>(*end));
    *end = -1;
  }
  listener->native = -1;
}

bool ReadPipeSome(PipeHandle pipe, void* data, std::size_t n, std::int32_t timeout_ms, std::size_t* got,
                  std::uint32_t* error) {
  const int fd = static_cast<int>(pipe);
  for (;;) {
    if (timeout_ms != kNoTimeout) {
      pollfd wait{fd, POLLIN, 0};
      const int ready = poll(&wait, 1, timeout_ms);
      if (ready == 0) {
        *error = kErrorTimedOut;
        return false;
      }
      if (ready < 0 && errno == EINTR) continue;
    }
    const ssize_t read = recv(fd, data, n, 0);
    if (read > 0) {
      *got = static_cast<std::size_t>(read);
      return true;
    }
    if (read == 0) {
      *error = kErrorBrokenPipe;
      return false;
    }
    if (errno != EINTR) {
      *error = MapIoError(errno);
      return false;
    }
  }
}

namespace {

// Waits until `fd` takes more bytes, or shows why it never will (the next
// send reports that), for at most `stall_ms` in all, signals or not.
bool WaitWritable(int fd, std::int32_t stall_ms, std::uint32_t* error) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(stall_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd wait{fd, POLLOUT, 0};
    const int ready = left > 0 ? poll(&wait, 1, static_cast<int>(left)) : 0;
    if (ready > 0) return true;
    if (ready == 0) {
      *error = kErrorTimedOut;
      return false;
    }
    if (errno != EINTR) {
      *error = MapIoError(errno);
      return false;
    }
  }
}

}  // namespace

bool WritePipeWithin(PipeHandle pipe, const void* data, std::size_t n, std::int32_t stall_ms, std::uint32_t* error) {
  // The socket itself stays blocking; these sends do not wait, so the only
  // wait is the poll below, and it has a limit.
  const int fd = static_cast<int>(pipe);
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t sent = send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      p += sent;
      n -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *error = MapIoError(errno);
      return false;
    } else if (!WaitWritable(fd, stall_ms, error)) {
      return false;
    }
  }
  return true;
}

// ---- files and folders ----------------------------------------------------------

std::u16string NormalizePath(const std::u16string& path, std::size_t limit) {
  char resolved[PATH_MAX];
  if (realpath(Utf16ToUtf8(path).c_str(), resolved) != nullptr) {
    std::u16string out = Utf8ToUtf16(resolved);
    if (!out.empty() && out.size() <= limit) return out;
  }
  return path.substr(0, limit);
}

void LowerCase(std::u16string* text) {
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  for (char16_t& unit : *text) {
    if (unit >= u'A' && unit <= u'Z') {
      unit = static_cast<char16_t>(unit + 32);
    } else if (unit >= 0x80 && (unit < 0xD800 || unit >= 0xE000) && utf8 != nullptr) {
      wint_t lower = towlower_l(static_cast<wint_t>(unit), utf8);
      if (lower < 0x10000) unit = static_cast<char16_t>(lower);
    }
  }
}

bool Exists(const std::u16string& path) {
  struct stat st;
  return stat(Utf16ToUtf8(path).c_str(), &st) == 0;
}

OwnFolder::OwnFolder(const std::u16string& path) : path_(path) {
  Fd dir(open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (dir && fstat(dir.get(), &st) == 0 && S_ISDIR(st.st_mode) && PrivateToMe(st)) native_ = dir.Release();
}

OwnFolder::~OwnFolder() { Fd owned(static_cast<int>(native_)); }

bool OwnFolder::IsOpen() const { return native_ >= 0; }

bool OwnFolder::HasFolder(const std::u16string& relative) const {
  struct stat st;
  return IsOpen() && StatBelow(static_cast<int>(native_), Utf16ToUtf8(relative), &st) && S_ISDIR(st.st_mode);
}

bool OwnFolder::FileTime(const std::u16string& relative, std::uint64_t* filetime) const {
  struct stat st;
  if (!IsOpen() || !StatBelow(static_cast<int>(native_), Utf16ToUtf8(relative), &st) || !S_ISREG(st.st_mode)) {
    return false;
  }
  *filetime = FileTimeOf(st);
  return true;
}

bool OwnFolder::ReadOwnFile(const std::u16string& relative, std::size_t limit, std::string* bytes) const {
  if (!IsOpen()) return false;
  // Non-blocking, so that even the open of a FIFO returns at once.
  Fd file = OpenBelow(static_cast<int>(native_), Utf16ToUtf8(relative), O_RDONLY | O_NONBLOCK);
  struct stat st;
  if (!file || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || !PrivateToMe(st)) return false;
  return ReadAtMost(file.get(), limit, bytes);
}

std::vector<std::u16string> ListFolders(const std::u16string& folder) {
  std::vector<std::u16string> names;
  std::string base = Utf16ToUtf8(folder);
  DIR* dir = opendir(base.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string full = base + "/" + entry->d_name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) names.push_back(Utf8ToUtf16(entry->d_name));
  }
  closedir(dir);
  // Directory order is arbitrary here; name order keeps discovery repeatable.
  std::sort(names.begin(), names.end());
  return names;
}

bool RoamingAppData(std::u16string* path) {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    *path = Utf8ToUtf16(xdg);
    return true;
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    passwd* pw = getpwuid(geteuid());
    home = pw != nullptr ? pw->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] == '\0') return false;
  *path = Utf8ToUtf16(std::string(home) + "/.local/share");
  return true;
}

// ---- files this user's programs trust ---------------------------------------------------

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

bool FolderIsPrivate(const std::u16string& path) {
  struct stat st;
  return lstat(Utf16ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode) && PrivateToMe(st);
}

bool MakeFolders(const std::u16string& path, std::uint32_t* error) {
  const std::string full = Utf16ToUtf8(path);
  for (std::size_t slash = full.find('/', 1);; slash = full.find('/', slash + 1)) {
    const std::string part = full.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = static_cast<std::uint32_t>(errno);
      return false;
    }
    if (slash == std::string::npos) break;
  }
  struct stat st;
  if (stat(full.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = ENOTDIR;
    return false;
  }
  return true;
}

namespace {

// Opens a file for the checked reads: no symlink followed, no FIFO waited
// on, only a regular file of this user that nobody else can write.
FileRead OpenRegular(const std::u16string& path, Fd* fd, struct stat* st) {
  *fd = Fd(open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (fd->get() < 0) {
    if (errno == ENOENT) return FileRead::kMissing;
    return errno == ELOOP || errno == ENXIO ? FileRead::kNotRegular : FileRead::kFailed;
  }
  if (fstat(fd->get(), st) != 0) return FileRead::kFailed;
  if (!S_ISREG(st->st_mode)) return FileRead::kNotRegular;
  if (!PrivateToMe(*st)) return FileRead::kForeign;
  return FileRead::kRead;
}

}  // namespace

FileRead ReadRegularFile(const std::u16string& path, std::size_t limit, std::string* bytes) {
  Fd fd;
  struct stat st;
  if (const FileRead opened = OpenRegular(path, &fd, &st); opened != FileRead::kRead) return opened;
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > limit) return FileRead::kTooLarge;
  // The size may change while reading: one byte more than the limit tells.
  if (!ReadAtMost(fd.get(), limit + 1, bytes)) return FileRead::kFailed;
  return bytes->size() > limit ? FileRead::kTooLarge : FileRead::kRead;
}

FileRead StreamRegularFile(const std::u16string& path, const FilePiece& piece) {
  Fd fd;
  struct stat st;
  if (const FileRead opened = OpenRegular(path, &fd, &st); opened != FileRead::kRead) return opened;
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    const ssize_t got = read(fd.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FileRead::kFailed;
    if (got == 0 || !piece(buffer.data(), static_cast<std::size_t>(got))) return FileRead::kRead;
  }
}

bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes, std::uint32_t* error) {
  const std::string target = Utf16ToUtf8(path);
  std::string temporary = target + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);  // O_EXCL: never an existing file or link
  if (fd < 0) {
    *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  const bool written = WriteAll(fd, bytes);
  const int write_errno = errno;
  if (close(fd) != 0 || !written || rename(temporary.c_str(), target.c_str()) != 0) {
    *error = static_cast<std::uint32_t>(written ? errno : write_errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool TouchFile(const std::u16string& path, std::uint32_t* error) {
  Fd fd(open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st;
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0) {
    *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = EINVAL;
    return false;
  }
  if (futimens(fd.get(), nullptr) != 0) {
    *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  return true;
}

bool RemoveFile(const std::u16string& path, std::uint32_t* error) {
  if (unlink(Utf16ToUtf8(path).c_str()) == 0 || errno == ENOENT) return true;
  *error = static_cast<std::uint32_t>(errno);
  return false;
}

// ---- processes ------------------------------------------------------------------------

std::uint32_t ParentProcessId() { return static_cast<std::uint32_t>(getppid()); }

bool ProcessImagePath(std::uint32_t pid, std::u16string* path) {
  char buffer[PATH_MAX];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), buffer, sizeof(buffer) - 1);
  if (n <= 0) return false;
  *path = Utf8ToUtf16(std::string(buffer, static_cast<std::size_t>(n)));
  return true;
}

std::u16string CurrentExecutablePath() {
  std::u16string path;
  ProcessImagePath(static_cast<std::uint32_t>(getpid()), &path);
  return path;
}

bool StartProcess(const std::u16string& path, bool portable) {
  // Everything the children use is prepared before fork: after it only
  // async-signal-safe calls are made.
  std::string program = Utf16ToUtf8(path);
  char portable_arg[] = "/portable";
  char* argv[] = {program.data(), portable ? portable_arg : nullptr, nullptr};
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  Fd report_read(ends[0]);
  Fd report_write(ends[1]);
  int report = report_write.get();

  // No handler of this process may run in the children before exec.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  pid_t child = fork();
  if (child == 0) {
    // Double fork: the terminal is adopted by init and never becomes our zombie.
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) {
      if (grandchild < 0) {
        int err = errno;
        ssize_t ignored = write(report, &err, sizeof(err));
        (void)ignored;
      }
      _exit(0);
    }
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    CloseFrom(3, report);
    DefaultSignals();
    execv(program.c_str(), argv);
    int err = errno;
    ssize_t ignored = write(report, &err, sizeof(err));
    (void)ignored;
    _exit(127);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (child < 0) return false;
  report_write.Reset();
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The report pipe closes on a successful exec; an exec failure writes errno.
  int exec_error = 0;
  ssize_t got;
  do {
    got = read(report_read.get(), &exec_error, sizeof(exec_error));
  } while (got < 0 && errno == EINTR);
  return got == 0;
}

bool SleepMs(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    if (Abandon()) return false;
  }
  return true;
}

// ---- hashing ------------------------------------------------------------------------------

namespace {

// libcrypto is loaded at first use rather than linked, so building needs no
// OpenSSL headers; every Linux ships the library itself.
struct Crypto {
  using Md = const void* (*)();
  using Digest = int (*)(const void*, std::size_t, unsigned char*, unsigned int*, const void*, void*);
  Md sha256 = nullptr;
  Digest digest = nullptr;

  Crypto() {
    for (const char* name : {"libcrypto.so.3", "libcrypto.so.1.1", "libcrypto.so"}) {
      if (void* lib = dlopen(name, RTLD_NOW | RTLD_LOCAL)) {
        sha256 = reinterpret_cast<Md>(dlsym(lib, "EVP_sha256"));
        digest = reinterpret_cast<Digest>(dlsym(lib, "EVP_Digest"));
        if (sha256 != nullptr && digest != nullptr) return;
        dlclose(lib);
      }
    }
    sha256 = nullptr;
    digest = nullptr;
  }
};

const Crypto& LoadedCrypto() {
  static const Crypto crypto;
  return crypto;
}

}  // namespace

bool Sha256(const void* data, std::size_t size, std::uint8_t digest[32]) {
  const Crypto& crypto = LoadedCrypto();
  if (crypto.digest == nullptr) return false;
  unsigned int length = 0;
  return crypto.digest(data, size, digest, &length, crypto.sha256(), nullptr) == 1 && length == 32;
}

std::u16string Sha256FailureNote() {
  return LoadedCrypto().digest == nullptr ? u" (no libcrypto: install OpenSSL's libssl3 or libssl1.1)" : u"";
}

}  // namespace vl5::os
