// Files and folders: paths, folder listings, and the files both programs
// take as this user's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vl5::os {

extern const char16_t kPathSeparator;  // '\\' or '/'

// Normalised absolute form of an existing path, at most `limit` units; the path
// itself (cut to `limit` units) when it cannot be resolved.
std::u16string NormalizePath(const std::u16string& path, std::size_t limit);
// Simple per-unit Unicode lower-casing, in place.
void LowerCase(std::u16string* text);
bool Exists(const std::u16string& path);
// Names of the subfolders of `folder`, in enumeration order.
std::vector<std::u16string> ListFolders(const std::u16string& folder);
// Creates a folder and its missing parents; new ones are this user's only.
bool MakeFolders(const std::u16string& path, std::uint32_t* error);
// This user's cache folder for velmora5 (not created here; no trailing
// separator): `$XDG_CACHE_HOME` when absolute, else `$HOME/.cache` (home from
// the password database when HOME is unset), then "velmora5"; on Windows the
// local application-data folder, then "velmora5\\cache". False when there is
// no home to put it in.
bool UserCacheFolder(std::u16string* path);

// ---- files this user's programs trust ------------------------------------------
//
// One set of checks for every file either program reads from a folder that
// another user might write. On POSIX: a folder must be a real folder (not a
// symbolic link) owned by this user that group and others cannot write; a
// file must be a regular file of this user that nobody else can write,
// opened without following a symbolic link and without blocking, so a file
// planted by another user is never read and a FIFO never blocks. On Windows
// the user's profile folders are protected by their access lists; what is
// checked is that the thing read is a file on disk.

// Whether `path` is such a folder. On Windows: a folder that is not a
// reparse point.
bool FolderIsPrivate(const std::u16string& path);

enum class FileRead { kRead, kMissing, kNotRegular, kForeign, kTooLarge, kFailed };
// Reads a whole file of at most `limit` bytes (kForeign: owned by another
// user, or writable by group or others; Windows: a reparse point is
// kNotRegular).
FileRead ReadRegularFile(const std::u16string& path, std::size_t limit, std::string* bytes);
// A file of a system folder such as the time-zone database, which links
// aliases to their files: the link is resolved, and the file and every folder
// on the resolved path must belong to root or this user and be writable by no
// one else (a world-writable folder only with the sticky bit, where no one else
// can move what is passed through); opened without blocking, a regular file
// of at most `limit` bytes (kForeign for an untrusted file or folder). On
// Windows as ReadRegularFile.
FileRead ReadSystemFile(const std::u16string& path, std::size_t limit, std::string* bytes);
// The same file checks, for a file of any size: hands it to `piece` in pieces
// of at most 1 MiB as they are read, so it is never held whole. `piece`
// returning false ends the read (still kRead: the caller knows why).
using FilePiece = std::function<bool(const char* data, std::size_t size)>;
FileRead StreamRegularFile(const std::u16string& path, const FilePiece& piece);

// A private folder opened once, whose contents are reached by names relative
// to it (joined by '/'). On POSIX nothing below it is reached through a
// symbolic link, so a link planted inside leads nowhere.
class OwnFolder {
 public:
  explicit OwnFolder(const std::u16string& path);
  ~OwnFolder();
  OwnFolder(const OwnFolder&) = delete;
  OwnFolder& operator=(const OwnFolder&) = delete;

  // The folder passed the checks (Windows: it is a folder).
  bool IsOpen() const;
  bool HasFolder(const std::u16string& relative) const;
  // Last-write time of a regular file in 100 ns units since 1601-01-01.
  bool FileTime(const std::u16string& relative, std::uint64_t* filetime) const;
  // At most `limit` bytes from the start of a file that passes the checks
  // of ReadRegularFile (Windows: any file on disk, the folder's access list
  // standing for the checks); a longer file is cut, not refused.
  bool ReadOwnFile(const std::u16string& relative, std::size_t limit, std::string* bytes) const;

 private:
  std::u16string path_;
  std::intptr_t native_ = -1;  // the folder's descriptor on POSIX
};

// Writes a new temporary file beside `path` and renames it over `path`, so a
// symlink planted there is replaced, never followed.
bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes, std::uint32_t* error);
// Sets the last-write time of a regular file to now, not through a symlink.
bool TouchFile(const std::u16string& path, std::uint32_t* error);
// Removes a file, or a symlink itself; a missing one is no failure.
bool RemoveFile(const std::u16string& path, std::uint32_t* error);

}  // namespace vl5::os
