// POSIX side of pipe.h: Unix-domain stream sockets stand in for named pipes.
// Socket files live in the user's runtime folder; text crosses this boundary
// as UTF-8 paths.
#include "src/link/os/pipe.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "src/link/os/clock.h"
#include "src/link/os/posix/fd.h"
#include "src/link/os/posix/interrupt.h"
#include "src/wire/text.h"

namespace vl5::os {

namespace {

using wire::Utf16ToUtf8;
using wire::Utf8ToUtf16;

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

// Whether the other end of a connected socket runs as this user.
bool PeerIsMe(int fd) {
#if defined(HAVE_SO_PEERCRED)
  ucred cred{};
  socklen_t len = sizeof(cred);
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == geteuid();
#elif defined(HAVE_GETPEEREID)
  uid_t uid = 0;
  gid_t gid = 0;
  return getpeereid(fd, &uid, &gid) == 0 && uid == geteuid();
#else
  // Nothing portable names the user at the other end: an unknown peer is
  // refused, never trusted.
  (void)fd;
  return false;
#endif
}

// A Unix-domain stream socket that started programs do not inherit.
Fd StreamSocket(bool nonblocking) {
#ifdef HAVE_SOCK_CLOEXEC
  return Fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonblocking ? SOCK_NONBLOCK : 0), 0));
#else
  return WithDescriptorFlags(socket(AF_UNIX, SOCK_STREAM, 0), nonblocking);
#endif
}

// A connected pair of such sockets, both non-blocking.
bool NonblockingSocketPair(Fd* first, Fd* second) {
  int ends[2] = {-1, -1};
#ifdef HAVE_SOCK_CLOEXEC
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) return false;
  *first = Fd(ends[0]);
  *second = Fd(ends[1]);
#else
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return false;
  *first = WithDescriptorFlags(ends[0], true);
  *second = WithDescriptorFlags(ends[1], true);
#endif
  return *first && *second;
}

// The next connection waiting on a listening socket, blocking like every
// connected end (BSD systems pass the listener's non-blocking mode on).
Fd AcceptConnection(int listening) {
#ifdef HAVE_ACCEPT4
  return Fd(accept4(listening, nullptr, nullptr, SOCK_CLOEXEC));
#else
  return WithDescriptorFlags(accept(listening, nullptr, nullptr), false);
#endif
}

// send() that reports a peer gone as EPIPE instead of raising SIGPIPE, whose
// default action would end the process.
ssize_t SendQuietly(int fd, const void* data, std::size_t n, int flags) {
#ifdef HAVE_MSG_NOSIGNAL
  return send(fd, data, n, flags | MSG_NOSIGNAL);
#else
  // SIGPIPE goes to the thread that sent: blocked here for the send, one the
  // send raised is taken back before the old mask returns. One pending
  // before is left for its owner.
  sigset_t pipe_signal, old_mask, pending;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &old_mask);
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  const ssize_t sent = send(fd, data, n, flags);
  const int err = errno;
  if (sent < 0 && err == EPIPE && !was_pending && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
    int taken = 0;
    sigwait(&pipe_signal, &taken);
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  errno = err;
  return sent;
#endif
}

}  // namespace

// ---- pipe client -----------------------------------------------------------

std::u16string PipeAddress(const std::u16string& base_name) { return Utf8ToUtf16(RuntimeDir()) + u'/' + base_name; }

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
    Fd fd = StreamSocket(false);
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
    if ((err == EINTR && AbandonInterrupted()) || !SleepMs(1)) {
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
    } else if (AbandonInterrupted()) {
      *error = kErrorInterrupted;
      return false;
    }
  }
  return true;
}

bool WritePipe(PipeHandle pipe, const void* data, std::size_t n, std::uint32_t* error) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t sent = SendQuietly(static_cast<int>(pipe), p, n, 0);
    if (sent >= 0) {
      p += sent;
      n -= static_cast<std::size_t>(sent);
    } else if (errno != EINTR) {
      *error = MapIoError(errno);
      return false;
    } else if (AbandonInterrupted()) {
      *error = kErrorInterrupted;
      return false;
    }
  }
  return true;
}

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
  Fd fd = StreamSocket(true);
  Fd wake_read, wake_write;
  if (!fd || bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd.get(), 64) != 0 ||
      !NonblockingSocketPair(&wake_read, &wake_write)) {
    *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  listener->address = address;
  listener->native = fd.Release();
  listener->wake_read = wake_read.Release();
  listener->wake_write = wake_write.Release();
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
    Fd fd = AcceptConnection(static_cast<int>(listener->native));
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
  ssize_t ignored = SendQuietly(static_cast<int>(listener->wake_write), &byte, 1, 0);  // full: already woken
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
    const ssize_t sent = SendQuietly(fd, p, n, MSG_DONTWAIT);
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

}  // namespace vl5::os
