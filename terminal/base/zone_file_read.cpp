#include "terminal/base/zone_file_read.h"

#include "terminal/base/zone_files.h"

#ifdef _WIN32
#include "src/link/os/files.h"
#include "src/wire/text.h"
#include "terminal/base/trusted_files.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "src/link/os/posix/fd.h"
#endif

namespace vl5::terminal {

#ifdef _WIN32

// The folder beside the program is the user's own installation; what is
// checked is that the thing read is a file on disk.
ZoneRead ReadZoneFile(const std::string& path, std::string* bytes, std::string* error) {
  const std::u16string wide = wire::Utf8ToUtf16(path);
  const os::FileRead result = os::ReadRegularFile(wide, kMaxZoneFile, bytes);
  if (result == os::FileRead::kRead) return ZoneRead::kRead;
  if (result == os::FileRead::kMissing) return ZoneRead::kMissing;
  *error = ReadProblem(result, wide, kMaxZoneFile);
  return ZoneRead::kRefused;
}

#else

namespace {

// Root's or this user's, and no one else may change it.
bool Trusted(const struct stat& st) {
  return (st.st_uid == 0 || st.st_uid == geteuid()) && (st.st_mode & 022) == 0;
}

// A folder on the way: trusted, or world-writable with the sticky bit, where
// no one else can move the entry we pass through (which is checked in turn).
bool TrustedFolder(const std::string& folder) {
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return Trusted(st) || ((st.st_uid == 0 || st.st_uid == geteuid()) && (st.st_mode & S_ISVTX) != 0);
}

bool ReadAll(int fd, std::string* bytes) {
  bytes->assign(kMaxZoneFile + 1, '\0');
  std::size_t have = 0;
  while (have < bytes->size()) {
    const ssize_t got = read(fd, bytes->data() + have, bytes->size() - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  bytes->resize(have);
  return true;
}

}  // namespace

ZoneRead ReadZoneFile(const std::string& path, std::string* bytes, std::string* error) {
  // The zone folder links aliases to their zones: the link is resolved, and
  // what it leads to is checked along its whole path.
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    if (errno == ENOENT || errno == ENOTDIR) return ZoneRead::kMissing;
    *error = "cannot resolve " + path;
    return ZoneRead::kRefused;
  }
  const std::string target = resolved;
  for (std::size_t slash = target.find('/'); slash != std::string::npos; slash = target.find('/', slash + 1)) {
    const std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    if (!TrustedFolder(folder)) {
      *error = path + ": folder " + folder + " belongs to another user or is writable by others";
      return ZoneRead::kRefused;
    }
  }
  // Non-blocking, so that a FIFO planted there does not hold the start.
  os::Fd fd(open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0) {
    *error = "cannot open " + path;
    return ZoneRead::kRefused;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + " is not a regular file";
    return ZoneRead::kRefused;
  }
  if (!Trusted(st)) {
    *error = path + " belongs to another user or is writable by others";
    return ZoneRead::kRefused;
  }
  if (!ReadAll(fd.get(), bytes)) {
    *error = "cannot read " + path;
    return ZoneRead::kRefused;
  }
  if (bytes->size() > kMaxZoneFile) {
    *error = path + " is larger than " + std::to_string(kMaxZoneFile) + " bytes";
    return ZoneRead::kRefused;
  }
  return ZoneRead::kRead;
}

#endif

}  // namespace vl5::terminal
