#include "terminal/settings/data_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "terminal/settings/settings.h"
#include "src/wire/commands.h"

namespace vl5::terminal {

namespace fs = std::filesystem;

namespace {

std::u16string Join(const std::u16string& folder, const char16_t* name) {
  return folder + os::kPathSeparator + name;
}

fs::path PathOf(const std::u16string& text) { return fs::path(text); }

bool WriteFile(const std::u16string& path, const std::string& bytes, std::string* error) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) *error = "cannot write " + PathOf(path).u8string();
  return static_cast<bool>(out);
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

bool MakeFolder(const std::u16string& path, std::string* error) {
  std::error_code ec;
  fs::create_directories(PathOf(path), ec);
  if (ec) *error = "cannot create " + PathOf(path).u8string() + ": " + ec.message();
  return !ec;
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
  const std::u16string hex = link::PipeBaseName(digest).substr(std::char_traits<char16_t>::length(wire::kPipeNamePrefix));
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
  *folder = Join(Join(Join(app_data, u"Orbisco"), u"Terminal"), installation.entry.c_str());
  return true;
}

bool CommonDataFolder(std::u16string* folder) {
  std::u16string app_data;
  if (!os::RoamingAppData(&app_data)) return false;
  *folder = Join(Join(Join(app_data, u"Orbisco"), u"Terminal"), u"Common");
  return true;
}

bool Register(const std::u16string& data_folder, const Installation& installation, bool portable,
              std::string* error) {
  const std::u16string config = Join(data_folder, u"config");
  if (!MakeFolder(Join(data_folder, u"VLMS"), error) || !MakeFolder(config, error)) return false;
  if (!WriteFile(Join(data_folder, u"origin.txt"), OriginText(installation.folder), error)) return false;

  const std::u16string ini = Join(config, u"terminal.ini");
  std::error_code ec;
  if (!fs::exists(PathOf(ini), ec) && !WriteFile(ini, DefaultIniText(), error)) return false;
  fs::last_write_time(PathOf(ini), fs::file_time_type::clock::now(), ec);
  if (ec) {
    *error = "cannot touch " + PathOf(ini).u8string() + ": " + ec.message();
    return false;
  }
  // portable.txt tells clients to start this installation with /portable;
  // it must not outlive a start without it.
  const std::u16string marker = Join(data_folder, u"portable.txt");
  if (portable) return WriteFile(marker, "", error);
  fs::remove(PathOf(marker), ec);
  return true;
}

std::string ReadSettingsFile(const std::u16string& data_folder) {
  std::ifstream in(PathOf(Join(Join(data_folder, u"config"), u"terminal.ini")), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vl5::terminal
