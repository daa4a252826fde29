#include "src/link/discovery.h"

#include <string>

#include "src/link/channel.h"
#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "src/wire/text.h"

namespace vl5::link {

namespace {

constexpr std::uint32_t kLaunchPollMs = 500;
constexpr std::uint32_t kLaunchWaitSeconds = 60;
constexpr std::size_t kOriginReadLimit = 518;

std::u16string Text(const std::string& ascii) { return wire::Utf8ToUtf16(ascii); }

std::u16string Join(const std::u16string& folder, const char16_t* name) {
  return folder + os::kPathSeparator + name;
}

std::u16string Cut(std::u16string text, std::size_t units) {
  if (text.size() > units) text.resize(units);
  return text;
}

std::u16string Quoted(const std::u16string& path) { return u"'" + path + u"'"; }

// The executable of the terminal that started this process, normalised; empty if unknown.
std::u16string RunningTerminalPath() {
  std::uint32_t parent = os::ParentProcessId();
  std::u16string image;
  if (parent == 0 || !os::ProcessImagePath(parent, &image)) return {};
  return os::NormalizePath(image, kMaxPathUnits - 1);
}

// Fills `candidate` from one data folder; false when the folder yields nothing.
bool ExamineDataFolder(const std::u16string& folder, Candidate* candidate) {
  CInterClient& client = Client();
  std::uint64_t time = 0;
  if (os::LastWriteTime(Join(folder, u"portable.txt"), &time)) {
    candidate->portable = true;
  } else {
    if (!os::Exists(Join(folder, u"VLMS"))) {
      client.SetDetail(u"No VLMS folder in " + Quoted(folder));
      return false;
    }
    std::u16string config = Join(folder, u"config");
    if (!os::LastWriteTime(Join(config, u"accounts.dat"), &time)) time = 0;
    std::uint64_t ini_time = 0;
    if (os::LastWriteTime(Join(config, u"terminal.ini"), &ini_time) && ini_time > time) time = ini_time;
  }
  candidate->last_used = time;

  std::string origin;
  if (!os::ReadFileStart(Join(folder, u"origin.txt"), kOriginReadLimit, &origin)) {
    client.SetDetail(u"No origin.txt in " + Quoted(folder));
    return false;
  }
  if (origin.size() < 8 || static_cast<unsigned char>(origin[0]) != 0xFF ||
      static_cast<unsigned char>(origin[1]) != 0xFE) {
    return false;
  }
  std::u16string install;
  for (std::size_t i = 2; i + 1 < origin.size(); i += 2) {
    auto unit = static_cast<char16_t>(static_cast<unsigned char>(origin[i]) |
                                      (static_cast<unsigned char>(origin[i + 1]) << 8));
    // The folder text ends at a zero unit; kept, it would cut the executable
    // path at the folder itself once the path becomes a C string.
    if (unit == 0) break;
    install += unit;
  }
  std::u16string executable = Cut(Join(install, os::kTerminalExecutable), kMaxPathUnits);
  if (!os::Exists(executable)) return false;
  candidate->path = executable;
  return true;
}

}  // namespace

bool ConnectOrLaunch(const std::u16string& executable, bool portable) {
  if (executable.empty()) return false;
  CInterClient& client = Client();
  std::u16string address;
  switch (PipeNameFor(executable, &address, client.Digest())) {
    case PipeNameError::kPathTooLong:
      client.SetDetail(u"Path too long");
      return false;
    case PipeNameError::kHashFailed:
      client.SetDetail(u"Hash calculation failed");
      return false;
    case PipeNameError::kNone:
      break;
  }
  if (client.Connect(address)) return true;

  if (!os::StartProcess(executable, portable)) {
    client.SetDetail(u"Process create failed " + Quoted(executable));
    return false;
  }
  for (std::uint32_t slept = 0; slept < kLaunchWaitSeconds * 1000; slept += kLaunchPollMs) {
    if (client.Connect(address)) return true;
    os::SleepMs(kLaunchPollMs);
  }
  client.SetDetail(Text("Pipe server didn't answer in " + std::to_string(kLaunchWaitSeconds) + " sec"));
  return false;
}

bool FindInstalledTerminal(Candidate* best) {
  *best = Candidate{};
  std::u16string app_data;
  if (!os::RoamingAppData(&app_data)) return false;
  std::u16string base = Cut(Join(Join(app_data, u"Orbisco"), u"Terminal") + os::kPathSeparator, kMaxPathUnits);
  std::u16string running = RunningTerminalPath();

  for (const std::u16string& name : os::ListFolders(base)) {
    if (name.empty() || name[0] == u'.') continue;
    Candidate candidate;
    std::u16string folder = Cut(base + name, kMaxPathUnits - 1);
    if (!ExamineDataFolder(folder, &candidate)) continue;
    if (!running.empty() && os::NormalizePath(candidate.path, kMaxPathUnits) == running) {
      *best = candidate;
      return true;
    }
    if (best->path.empty() || best->last_used < candidate.last_used) *best = candidate;
  }
  return true;
}

}  // namespace vl5::link
