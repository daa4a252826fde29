#include "tests/windows/scratch_files.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <system_error>
#include <utility>

namespace vl5::wine_test {

namespace fs = std::filesystem;

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

ScratchFolder::ScratchFolder(const std::wstring& prefix, const std::wstring& parent) {
  std::wstring base = parent;
  if (base.empty()) {
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    base.assign(temp, n);
  }
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  // Process id and a count keep programs and folders apart; a folder that
  // exists already (left by an earlier process of the same id) is skipped.
  static std::atomic<unsigned> serial{0};
  std::error_code ec;
  fs::create_directories(fs::path(base), ec);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate =
        base + L"\\" + prefix + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = std::move(candidate);
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(fs::path(path_), ec);
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string Utf16LeWithBom(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
  return bytes;
}

bool SetLastWriteTime(const std::wstring& path, std::uint64_t filetime) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(filetime & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(filetime >> 32);
  BOOL ok = SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  return ok != 0;
}

std::uint64_t FileTimeOf(int year, int month, int day, int hour) {
  SYSTEMTIME calendar{};
  calendar.wYear = static_cast<WORD>(year);
  calendar.wMonth = static_cast<WORD>(month);
  calendar.wDay = static_cast<WORD>(day);
  calendar.wHour = static_cast<WORD>(hour);
  FILETIME time{};
  if (!SystemTimeToFileTime(&calendar, &time)) return 0;
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::wstring ProgramFolder() {
  wchar_t path[4096];
  DWORD n = GetModuleFileNameW(nullptr, path, 4096);
  std::wstring text(path, n);
  return text.substr(0, text.find_last_of(L"\\/"));
}

}  // namespace vl5::wine_test
