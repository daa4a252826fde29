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

std::u16string Join(const std::u16string& folder, const char16_t* name) { return folder + os::kPathSeparator + name; }

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

}  // namespace

Outcome ExamineDataFolder(const std::u16string& folder, Candidate* candidate) {
  // Another user's folder (or one others can write) could name any program
  // for this user to start: it is not looked into at all.
  os::OwnFolder data(folder);
  if (!data.IsOpen()) return InitializeFailed(u"Untrusted data folder " + Quoted(folder));
  std::uint64_t time = 0;
  if (data.FileTime(u"portable.txt", &time)) {
    candidate->portable = true;
  } else {
    if (!data.HasFolder(u"VLMS")) return InitializeFailed(u"No VLMS folder in " + Quoted(folder));
    if (!data.FileTime(u"config/accounts.dat", &time)) time = 0;
    std::uint64_t ini_time = 0;
    if (data.FileTime(u"config/terminal.ini", &ini_time) && ini_time > time) time = ini_time;
  }
  candidate->last_used = time;

  std::string origin;
  if (!data.ReadOwnFile(u"origin.txt", kOriginReadLimit, &origin)) {
    return InitializeFailed(u"No origin.txt in " + Quoted(folder));
  }
  if (origin.size() < 8 || static_cast<unsigned char>(origin[0]) != 0xFF ||
      static_cast<unsigned char>(origin[1]) != 0xFE) {
    return InitializeFailed(u"");
  }
  std::u16string install;
  for (std::size_t i = 2; i + 1 < origin.size(); i += 2) {
    auto unit =
        static_cast<char16_t>(static_cast<unsigned char>(origin[i]) | (static_cast<unsigned char>(origin[i + 1]) << 8));
    // The folder text ends at a zero unit; kept, it would cut the executable
    // path at the folder itself once the path becomes a C string.
    if (unit == 0) break;
    install += unit;
  }
  std::u16string executable = Cut(Join(install, os::kTerminalExecutable), kMaxPathUnits);
  if (!os::Exists(executable)) return InitializeFailed(u"");
  candidate->path = executable;
  return {};
}

Outcome ConnectOrLaunch(const std::u16string& executable, bool portable) {
  if (executable.empty()) return InitializeFailed(u"");
  CInterClient& client = Client();
  std::u16string address;
  switch (PipeNameFor(executable, &address, client.Digest())) {
    case PipeNameError::kPathTooLong:
      return InitializeFailed(u"Path too long");
    case PipeNameError::kHashFailed:
      return InitializeFailed(u"Hash calculation failed" + os::Sha256FailureNote());
    case PipeNameError::kNone:
      break;
  }
  Outcome connected = client.Connect(address);
  if (connected.code != wire::kIpcInitializeFailed) return connected;  // connected, or interrupted

  if (!os::StartProcess(executable, portable)) return InitializeFailed(u"Process create failed " + Quoted(executable));
  for (std::uint32_t slept = 0; slept < kLaunchWaitSeconds * 1000; slept += kLaunchPollMs) {
    connected = client.Connect(address);
    if (connected.code != wire::kIpcInitializeFailed) return connected;
    if (!Pause(kLaunchPollMs)) return Interrupted();
  }
  return InitializeFailed(Text("Pipe server didn't answer in " + std::to_string(kLaunchWaitSeconds) + " sec"));
}

Outcome FindInstalledTerminal(Candidate* best) {
  *best = Candidate{};
  std::u16string app_data;
  if (!os::RoamingAppData(&app_data)) return InitializeFailed(u"");
  std::u16string base = Cut(Join(Join(app_data, u"Orbisco"), u"Terminal") + os::kPathSeparator, kMaxPathUnits);
  std::u16string running = RunningTerminalPath();

  for (const std::u16string& name : os::ListFolders(base)) {
    if (name.empty() || name[0] == u'.') continue;
    Candidate candidate;
    std::u16string folder = Cut(base + name, kMaxPathUnits - 1);
    if (!ExamineDataFolder(folder, &candidate).ok()) continue;
    if (!running.empty() && os::NormalizePath(candidate.path, kMaxPathUnits) == running) {
      *best = candidate;
      return {};
    }
    if (best->path.empty() || best->last_used < candidate.last_used) *best = candidate;
  }
  if (best->path.empty()) return InitializeFailed(u"Velmora 5 x64 not found");
  return {};
}

}  // namespace vl5::link
