#include "tests/windows/child_processes.h"

#include <windows.h>

#include <tlhelp32.h>

namespace vl5::wine_test {

std::vector<std::uint32_t> ChildProcesses(const std::wstring& image_name) {
  std::vector<std::uint32_t> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  const DWORD self = GetCurrentProcessId();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == self && lstrcmpiW(entry.szExeFile, image_name.c_str()) == 0) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return ids;
}

bool AwaitOrTerminate(std::uint32_t pid, std::uint32_t wait_ms) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return true;
  bool ended = WaitForSingleObject(process, wait_ms) == WAIT_OBJECT_0;
  if (!ended) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
  return ended;
}

}  // namespace vl5::wine_test
