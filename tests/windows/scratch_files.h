// Files for the Windows tests: scratch folders that remove themselves, files
// written with chosen contents and last-write times, and the conversions
// between Win32 wide text and the link's UTF-16 text.
#pragma once

#include <cstdint>
#include <string>

namespace vl5::wine_test {

// wchar_t is UTF-16 on Windows: the conversion only relabels the units.
std::u16string U16(const std::wstring& text);
std::wstring Wide(const std::u16string& text);

// A new, empty folder under `parent` (the temporary folder when empty),
// removed with everything in it when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& prefix, const std::wstring& parent = L"");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Writes the bytes, creating missing parent folders; false on any failure.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// UTF-16LE with a byte-order mark, as the terminal writes origin.txt.
std::string Utf16LeWithBom(const std::wstring& text);
bool SetLastWriteTime(const std::wstring& path, std::uint64_t filetime);
// A UTC calendar time as 100 ns units since 1601-01-01.
std::uint64_t FileTimeOf(int year, int month, int day, int hour);

// The folder holding the running test program.
std::wstring ProgramFolder();

}  // namespace vl5::wine_test
