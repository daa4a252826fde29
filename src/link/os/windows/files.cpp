// Windows side of files.h: Win32 files and folders.
#include "src/link/os/files.h"

#include <algorithm>
#include <memory>

#include "src/link/os/windows/win32.h"

namespace vl5::os {

const char16_t kPathSeparator = u'\\';

namespace {

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

}  // namespace

// ---- paths and folders ------------------------------------------------------------

std::u16string NormalizePath(const std::u16string& path, std::size_t limit) {
  // Flags 0 opens files only; a folder falls back to the path as given.
  Handle file = Own(
      CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
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

bool UserCacheFolder(std::u16string* path) {
  if (!KnownFolder(FOLDERID_LocalAppData, path)) return false;
  *path += u"\\velmora5\\cache";
  return true;
}

// ---- files this user's programs trust ---------------------------------------------------

bool FolderIsPrivate(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
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

// The folder beside the program is the user's own installation: what is
// checked is that the thing read is a file on disk.
FileRead ReadSystemFile(const std::u16string& path, std::size_t limit, std::string* bytes) {
  return ReadRegularFile(path, limit, bytes);
}

FileRead StreamRegularFile(const std::u16string& path, const FilePiece& piece) {
  Handle file;
  std::uint64_t size = 0;
  if (const FileRead opened = OpenRegular(path, &file, &size); opened != FileRead::kRead) return opened;
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      return FileRead::kFailed;
    if (got == 0 || !piece(buffer.data(), got)) return FileRead::kRead;
  }
}

// The roaming application-data folder is private to the user by its access
// list, so a data folder there is taken as the user's own, and a file in it
// is read when it is a file on disk.
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
  *filetime =
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
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

bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes, std::uint32_t* error) {
  static LONG counter = 0;
  const std::string suffix =
      ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(InterlockedIncrement(&counter));
  const std::u16string temporary = path + std::u16string(suffix.begin(), suffix.end());
  {
    Handle file =
        Own(CreateFileW(Wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
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

}  // namespace vl5::os
