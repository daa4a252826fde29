// A small reader for the terminal's own settings file: "[Section]" headers
// and "key=value" lines, ";" or "#" comments, blanks trimmed. Section names
// and keys are matched without regard to case, so they are lower-cased here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vl5::terminal {

struct IniEntry {
  std::string section;  // lower case, "" before the first header
  std::string key;      // lower case
  std::string value;    // as written, trimmed
  int line = 0;
};

// Lines that are neither headers, comments nor key=value are skipped and
// reported in `ignored` (1-based line numbers).
std::vector<IniEntry> ParseIni(std::string_view text, std::vector<int>* ignored = nullptr);

std::string Lower(std::string_view text);
std::string_view Trim(std::string_view text);

}  // namespace vl5::terminal
