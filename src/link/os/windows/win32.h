// What every Windows file of the platform layer needs: UTF-16 text as Win32
// wide text, and owned handles. wchar_t is 16 bits here, so char16_t buffers
// are reinterpreted; that cast lives in this folder only.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstddef>
#include <memory>
#include <string>

namespace vl5::os {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text must be UTF-16 units");

inline constexpr DWORD kMaxPathUnits = 260;
// Largest single ReadFile/WriteFile request; longer transfers are split.
inline constexpr std::size_t kMaxTransfer = 0x7FFFFFFF;

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* Wide(std::u16string* text) { return reinterpret_cast<wchar_t*>(text->data()); }
inline std::u16string FromWide(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline std::u16string FromWide(const wchar_t* text, std::size_t units) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), units);
}

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Win32 reports failure as NULL or INVALID_HANDLE_VALUE depending on the call;
// both become an empty Handle.
inline Handle Own(HANDLE handle) { return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

// A known folder of the user (roaming or local application data); false when
// the system has none. The text the shell allocates is freed on every path.
inline bool KnownFolder(REFKNOWNFOLDERID id, std::u16string* path) {
  struct Freer {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
  };
  PWSTR raw = nullptr;
  const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &raw);
  const std::unique_ptr<wchar_t, Freer> owned(raw);
  if (FAILED(result) || raw == nullptr) return false;
  *path = FromWide(raw);
  return true;
}

}  // namespace vl5::os
