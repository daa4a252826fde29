// Windows side of process.h: Win32 processes and the known roaming folder.
#include "src/link/os/process.h"

// <windows.h> first: the headers after it build on its types.
#include "src/link/os/windows/win32.h"

#include <tlhelp32.h>

#include <memory>

namespace vl5::os {

const char16_t kTerminalExecutable[] = u"terminal64.exe";

namespace {

#ifdef _WIN64
// Layouts the terminal side of the protocol was written against.
static_assert(sizeof(PROCESSENTRY32W) == 568, "unexpected PROCESSENTRY32W layout");
static_assert(sizeof(STARTUPINFOW) == 104, "unexpected STARTUPINFOW layout");
#endif

}  // namespace

// ---- processes ------------------------------------------------------------------------

std::uint64_t ForkGeneration() { return 0; }  // Windows processes are never copies

std::uint32_t ParentProcessId() {
  Handle snapshot = Own(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  DWORD self = GetCurrentProcessId();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  }
  return 0;
}

bool ProcessImagePath(std::uint32_t pid, std::u16string* path) {
  Handle process = Own(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;
  wchar_t buffer[kMaxPathUnits];
  DWORD size = kMaxPathUnits;
  if (!QueryFullProcessImageNameW(process.get(), 0, buffer, &size)) return false;
  *path = FromWide(buffer, size);
  return true;
}

std::u16string CurrentExecutablePath() {
  // A result that fills the buffer may be cut: retry with more room.
  for (DWORD capacity = MAX_PATH; capacity < 65536; capacity *= 2) {
    std::u16string buffer(capacity, u'\0');
    DWORD length = GetModuleFileNameW(nullptr, Wide(&buffer), capacity);
    if (length == 0) return {};
    if (length < capacity) {
      buffer.resize(length);
      return buffer;
    }
  }
  return {};
}

bool StartProcess(const std::u16string& path, bool portable) {
  // The command line is never cut: a cut one would lose "/portable" (or its
  // closing quote) for a long path and start the terminal in the wrong mode.
  // CreateProcessW may write into it, so it lives in a mutable buffer.
  std::u16string command_line = u"\"" + path + u"\" /portable";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = INVALID_HANDLE_VALUE;
  startup.hStdError = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(Wide(path), portable ? Wide(&command_line) : nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  // The terminal runs on its own; nothing here waits for it or stops it.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool RoamingAppData(std::u16string* path) { return KnownFolder(FOLDERID_RoamingAppData, path); }

}  // namespace vl5::os
