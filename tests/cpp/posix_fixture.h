// Scratch space for tests that touch the real file system and environment:
// a temporary folder removed afterwards, and environment variables restored.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace vl5::test_support {

// A build of the platform layer with its portable fallbacks only
// (VL5_PORTABLE_POSIX). On Linux it cannot name the user at the other end
// of a socket, so it refuses every connection, nor name another process's
// program.
#ifdef VL5_PORTABLE_POSIX
inline constexpr bool kPortablePosix = true;
#else
inline constexpr bool kPortablePosix = false;
#endif

class TempDir {
 public:
  TempDir() {
    std::string pattern = "/tmp/vl5-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    // Resolved, so that comparisons with normalised paths hold even when /tmp is a link.
    char resolved[PATH_MAX];
    path_ = realpath(pattern.c_str(), resolved) != nullptr ? resolved : pattern;
  }
  ~TempDir() {
    if (path_.empty()) return;
    nftw(
        path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

inline void MakeDirs(const std::string& path) {
  for (std::size_t at = 1; at != std::string::npos;) {
    at = path.find('/', at + 1);
    mkdir(path.substr(0, at).c_str(), 0700);
  }
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace vl5::test_support
