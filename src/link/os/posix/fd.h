// An owned POSIX descriptor, and the descriptor flags that the Linux-only
// *_CLOEXEC variants set at creation where the system has them.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vl5::os {

// Closed once when its owner goes.
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

// Marks `fd` close-on-exec, so a started program does not inherit it, and
// makes it blocking or not. The fallback for systems whose socket, accept
// and pipe calls cannot do so at creation: a program that another thread
// starts in between may inherit the descriptor (StartProcess itself closes
// every descriptor it does not pass on).
inline bool SetDescriptorFlags(int fd, bool nonblocking) {
  const int status = fcntl(fd, F_GETFL);
  return fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 && status >= 0 &&
         fcntl(fd, F_SETFL, nonblocking ? status | O_NONBLOCK : status & ~O_NONBLOCK) == 0;
}

// `fd` with the flags set, or closed and empty when they could not be.
inline Fd WithDescriptorFlags(int fd, bool nonblocking) {
  Fd owned(fd);
  if (owned && !SetDescriptorFlags(owned.get(), nonblocking)) {
    const int err = errno;  // for the caller, not close's
    owned.Reset();
    errno = err;
  }
  return owned;
}

}  // namespace vl5::os
