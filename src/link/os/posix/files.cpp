// POSIX side of files.h. Text crosses this boundary as UTF-8 paths.
#include "src/link/os/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "src/link/os/posix/fd.h"
#include "src/link/os/posix/user_folder.h"
#include "src/wire/text.h"

namespace vl5::os {

const char16_t kPathSeparator = u'/';

namespace {

using wire::Utf16ToUtf8;
using wire::Utf8ToUtf16;

// Seconds between 1601-01-01 and 1970-01-01, the two epochs of file times.
constexpr std::uint64_t kEpochDifference = 11644473600ULL;

// How a walk below a folder opens the folders on its way: O_PATH passes
// through a folder without opening it for reading, so one this user may
// search but not list is walked too; elsewhere such a folder ends the walk.
#ifdef HAVE_O_PATH
constexpr int kPassThrough = O_PATH | O_DIRECTORY;
#else
constexpr int kPassThrough = O_RDONLY | O_DIRECTORY;
#endif

// Only this user can have put it there, and only this user can change it.
bool PrivateToMe(const struct stat& st) { return st.st_uid == geteuid() && (st.st_mode & 022) == 0; }

bool IsPrivateFolder(const struct stat& st) { return S_ISDIR(st.st_mode) && PrivateToMe(st); }

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
    Fd next(openat(at, name.c_str(), (last ? flags : kPassThrough) | O_NOFOLLOW | O_CLOEXEC));
    if (!next || last) return next;
    parent = std::move(next);
    start = slash + 1;
  }
}

// What lies at `relative` below `dir`, itself rather than what a link there
// points to. fstatat opens nothing: a FIFO or device there is never touched.
bool StatBelow(int dir, const std::string& relative, struct stat* st) {
  const std::size_t slash = relative.rfind('/');
  if (slash == std::string::npos) return fstatat(dir, relative.c_str(), st, AT_SYMLINK_NOFOLLOW) == 0;
  Fd parent = OpenBelow(dir, relative.substr(0, slash), kPassThrough);
  return parent && fstatat(parent.get(), relative.c_str() + slash + 1, st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::uint64_t FileTimeOf(const struct stat& st) {
#ifdef HAVE_STAT_ST_MTIM
  return (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + kEpochDifference) * 10000000ULL +
         static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
#else
  return (static_cast<std::uint64_t>(st.st_mtime) + kEpochDifference) * 10000000ULL;  // whole seconds
#endif
}

// The checks of every trusted read, on the result of an open made with
// O_NOFOLLOW | O_NONBLOCK: no link followed, no FIFO waited on, only a
// regular file of this user that nobody else can write.
FileRead CheckOpened(const Fd& fd, struct stat* st) {
  if (!fd) {
    if (errno == ENOENT) return FileRead::kMissing;
    return errno == ELOOP || errno == ENXIO ? FileRead::kNotRegular : FileRead::kFailed;
  }
  if (fstat(fd.get(), st) != 0) return FileRead::kFailed;
  if (!S_ISREG(st->st_mode)) return FileRead::kNotRegular;
  if (!PrivateToMe(*st)) return FileRead::kForeign;
  return FileRead::kRead;
}

FileRead OpenRegular(const std::u16string& path, Fd* fd, struct stat* st) {
  *fd = Fd(open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  return CheckOpened(*fd, st);
}

// A new file of this user only, named from `pattern` (ending in XXXXXX), never
// an existing file or link; closed when a started program runs.
int MakeTemporary(std::string* pattern) {
#ifdef HAVE_MKOSTEMP
  return mkostemp(pattern->data(), O_CLOEXEC);
#else
  return WithDescriptorFlags(mkstemp(pattern->data()), false).Release();
#endif
}

}  // namespace

// ---- paths and folders ------------------------------------------------------------

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

bool UserCacheFolder(std::u16string* path) {
  std::string base;
  if (!UserFolder("XDG_CACHE_HOME", ".cache", &base)) return false;
  *path = Utf8ToUtf16(base + "/velmora5");
  return true;
}

// ---- files this user's programs trust ---------------------------------------------

bool FolderIsPrivate(const std::u16string& path) {
  struct stat st;
  return lstat(Utf16ToUtf8(path).c_str(), &st) == 0 && IsPrivateFolder(st);
}

FileRead ReadRegularFile(const std::u16string& path, std::size_t limit, std::string* bytes) {
  Fd fd;
  struct stat st;
  if (const FileRead opened = OpenRegular(path, &fd, &st); opened != FileRead::kRead) return opened;
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > limit) return FileRead::kTooLarge;
  // The size may change while reading: one byte more than the limit tells.
  if (!ReadAtMost(fd.get(), limit + 1, bytes)) return FileRead::kFailed;
  return bytes->size() > limit ? FileRead::kTooLarge : FileRead::kRead;
}

FileRead ReadSystemFile(const std::u16string& path, std::size_t limit, std::string* bytes) {
  const auto trusted = [](const struct stat& st) {
    return (st.st_uid == 0 || st.st_uid == geteuid()) && (st.st_mode & 022) == 0;
  };
  char resolved[PATH_MAX];
  if (realpath(Utf16ToUtf8(path).c_str(), resolved) == nullptr) {
    return errno == ENOENT || errno == ENOTDIR ? FileRead::kMissing : FileRead::kFailed;
  }
  const std::string target = resolved;
  for (std::size_t slash = target.find('/'); slash != std::string::npos; slash = target.find('/', slash + 1)) {
    struct stat st;
    if (lstat(slash == 0 ? "/" : target.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return FileRead::kFailed;
    }
    const bool sticky = (st.st_uid == 0 || st.st_uid == geteuid()) && (st.st_mode & S_ISVTX) != 0;
    if (!trusted(st) && !sticky) return FileRead::kForeign;
  }
  Fd fd(open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st;
  if (!fd) return errno == ENOENT ? FileRead::kMissing : FileRead::kFailed;
  if (fstat(fd.get(), &st) != 0) return FileRead::kFailed;
  if (!S_ISREG(st.st_mode)) return FileRead::kNotRegular;
  if (!trusted(st)) return FileRead::kForeign;
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > limit) return FileRead::kTooLarge;
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

OwnFolder::OwnFolder(const std::u16string& path) : path_(path) {
  Fd dir(open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (dir && fstat(dir.get(), &st) == 0 && IsPrivateFolder(st)) native_ = dir.Release();
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
  return CheckOpened(file, &st) == FileRead::kRead && ReadAtMost(file.get(), limit, bytes);
}

bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes, std::uint32_t* error) {
  const std::string target = Utf16ToUtf8(path);
  std::string temporary = target + ".XXXXXX";
  const int fd = MakeTemporary(&temporary);
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

}  // namespace vl5::os
