#include "terminal/base/trusted_files.h"

#include "src/wire/text.h"

namespace vl5::terminal {

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  return folder + os::kPathSeparator + name;
}

std::string PathText(const std::u16string& path) { return wire::Utf16ToUtf8(path); }

// Files are only trusted from folders no one else can change: another user
// could otherwise plant links or files there.
bool CheckPrivateFolder(const std::u16string& folder, std::string* error) {
  if (os::FolderIsPrivate(folder)) return true;
  *error =
      PathText(folder) + " is not a folder of this user alone (missing, a link, another user's, or writable by others)";
  return false;
}

std::string ReadProblem(os::FileRead result, const std::u16string& path, std::size_t limit) {
  switch (result) {
    case os::FileRead::kMissing:
      return PathText(path) + " is missing";
    case os::FileRead::kNotRegular:
      return PathText(path) + " is not a regular file";
    case os::FileRead::kForeign:
      return PathText(path) + " belongs to another user or is writable by others";
    case os::FileRead::kTooLarge:
      return PathText(path) + " is larger than " + std::to_string(limit) + " bytes";
    default:
      return "cannot read " + PathText(path);
  }
}

}  // namespace vl5::terminal
