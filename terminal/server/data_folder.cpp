#include "terminal/server/data_folder.h"

#include "src/link/os/os.h"
#include "terminal/base/trusted_files.h"
#include "src/link/pipe_name.h"
#include "terminal/server/settings_table.h"
#include "src/wire/commands.h"
#include "src/wire/text.h"

namespace vl5::terminal {

namespace {

// A settings file is a few kilobytes; a larger one is not this program's.
constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

std::string Failed(const char* what, const std::u16string& path, std::uint32_t error) {
  return std::string(what) + " " + PathText(path) + " (error " + std::to_string(error) + ")";
}

// UTF-16LE with a byte-order mark and no line break: read as-is by clients.
std::string OriginText(const std::u16string& folder) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : folder) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

bool WriteFile(const std::u16string& path, const std::string& bytes, std::string* error) {
  std::uint32_t code = 0;
  if (os::ReplaceFileBytes(path, bytes, &code)) return true;
  *error = Failed("cannot write", path, code);
  return false;
}

std::u16string SettingsPath(const std::u16string& data_folder) {
  return JoinPath(JoinPath(data_folder, u"config"), u"terminal.ini");
}

}  // namespace

bool DescribeInstallationAt(const std::u16string& executable, Installation* installation, std::string* error) {
  if (executable.empty()) {
    *error = "cannot determine the program's own path";
    return false;
  }
  std::uint8_t digest[32];
  std::u16string address;
  if (link::PipeNameFor(executable, &address, digest) != link::PipeNameError::kNone) {
    *error = "cannot derive the pipe name (path too long, or no SHA-256 available)";
    return false;
  }
  installation->executable = executable;
  const std::size_t separator = executable.find_last_of(os::kPathSeparator);
  installation->folder = separator == std::u16string::npos ? u"." : executable.substr(0, separator);
  installation->pipe_address = address;
  const std::u16string hex =
      link::PipeBaseName(digest).substr(std::char_traits<char16_t>::length(wire::kPipeNamePrefix));
  installation->entry = hex.substr(0, 32);
  return true;
}

bool DescribeInstallation(Installation* installation, std::string* error) {
  return DescribeInstallationAt(os::CurrentExecutablePath(), installation, error);
}

bool DefaultDataFolder(const Installation& installation, std::u16string* folder, std::string* error) {
  std::u16string app_data;
  if (!os::RoamingAppData(&app_data)) {
    *error = "no per-user application data folder";
    return false;
  }
  *folder = JoinPath(JoinPath(JoinPath(app_data, u"Orbisco"), u"Terminal"), installation.entry.c_str());
  return true;
}

bool CommonDataFolder(std::u16string* folder) {
  std::u16string app_data;
  if (!os::RoamingAppData(&app_data)) return false;
  *folder = JoinPath(JoinPath(JoinPath(app_data, u"Orbisco"), u"Terminal"), u"Common");
  return true;
}

bool Register(const std::u16string& data_folder, const Installation& installation, bool portable, std::string* error) {
  const std::u16string config = JoinPath(data_folder, u"config");
  for (const std::u16string& folder : {data_folder, JoinPath(data_folder, u"VLMS"), config}) {
    std::uint32_t code = 0;
    if (!os::MakeFolders(folder, &code)) {
      *error = Failed("cannot create", folder, code);
      return false;
    }
  }
  if (!CheckPrivateFolder(data_folder, error) || !CheckPrivateFolder(config, error)) return false;
  if (!WriteFile(JoinPath(data_folder, u"origin.txt"), OriginText(installation.folder), error)) return false;

  // A user's own settings are kept; their time tells clients this
  // installation was used last.
  const std::u16string ini = SettingsPath(data_folder);
  std::string existing;
  const os::FileRead found = os::ReadRegularFile(ini, kMaxSettingsBytes, &existing);
  std::uint32_t code = 0;
  if (found == os::FileRead::kMissing) {
    if (!WriteFile(ini, DefaultIniText(), error)) return false;
  } else if (found != os::FileRead::kRead) {
    *error = ReadProblem(found, ini);
    return false;
  } else if (!os::TouchFile(ini, &code)) {
    *error = Failed("cannot touch", ini, code);
    return false;
  }
  // portable.txt tells clients to start this installation with /portable;
  // it must not outlive a start without it.
  const std::u16string marker = JoinPath(data_folder, u"portable.txt");
  if (portable) return WriteFile(marker, "", error);
  if (!os::RemoveFile(marker, &code)) {
    *error = Failed("cannot remove", marker, code);
    return false;
  }
  return true;
}

bool ReadSettingsFile(const std::u16string& data_folder, std::string* text, std::string* error) {
  text->clear();
  const std::u16string config = JoinPath(data_folder, u"config");
  for (const std::u16string& folder : {data_folder, config}) {
    if (os::Exists(folder) && !CheckPrivateFolder(folder, error)) return false;
  }
  const std::u16string ini = SettingsPath(data_folder);
  const os::FileRead result = os::ReadRegularFile(ini, kMaxSettingsBytes, text);
  if (result == os::FileRead::kRead || result == os::FileRead::kMissing) return true;
  text->clear();
  *error = ReadProblem(result, ini, kMaxSettingsBytes);
  return false;
}

}  // namespace vl5::terminal
