// Settings values as text: whole numbers and switches, read strictly. Shared
// by every table of settings keys.
#pragma once

#include <cctype>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "terminal/base/ini.h"

namespace vl5::terminal {

#if defined(__cpp_lib_to_chars)
inline std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value) {
  return std::from_chars(first, last, value);
}
#else
// libstdc++ before 11 (Debian 11's GCC 10) converts integers only: a double
// goes through a stream in the classic locale, held to from_chars' rules (no
// '+', no leading space).
inline std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value) {
  if (first == last || *first == '+' || std::isspace(static_cast<unsigned char>(*first))) {
    return {first, std::errc::invalid_argument};
  }
  std::istringstream in(std::string(first, last));
  in.imbue(std::locale::classic());
  double parsed = 0.0;
  in >> std::noskipws >> parsed;
  if (in.fail()) return {first, std::errc::invalid_argument};
  const std::streamoff used = in.eof() ? last - first : static_cast<std::streamoff>(in.tellg());
  value = parsed;
  return {first + used, std::errc()};
}
#endif

// The whole text as a number, and a finite one; `*value` is left alone
// unless it is.
template <typename T>
bool ParseNumber(std::string_view text, T* value) {
  const char* end = text.data() + text.size();
  T parsed{};
  std::from_chars_result read;
  if constexpr (std::is_floating_point_v<T>) {
    read = DoubleFromChars(text.data(), end, parsed);
  } else {
    read = std::from_chars(text.data(), end, parsed);
  }
  auto [ptr, ec] = read;
  if (ec != std::errc() || ptr != end || text.empty()) return false;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(parsed)) return false;
  }
  *value = parsed;
  return true;
}

template <typename T>
bool ParseRange(std::string_view text, T low, T high, T* value) {
  T parsed{};
  if (!ParseNumber(text, &parsed) || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

// 1/true/yes/on or 0/false/no/off, any case.
inline bool ParseFlag(std::string_view text, bool* value) {
  const std::string lower = Lower(text);
  if (lower == "1" || lower == "true" || lower == "yes" || lower == "on") {
    *value = true;
  } else if (lower == "0" || lower == "false" || lower == "no" || lower == "off") {
    *value = false;
  } else {
    return false;
  }
  return true;
}

// Shortest text that reads back as the same double.
inline std::string FormatNumber(double value) {
#if defined(__cpp_lib_to_chars)
  char text[32];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("0");
#else
  std::string text;
  for (int digits = 1; digits <= 17; ++digits) {  // 17 digits read back as any double
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(digits) << value;
    text = out.str();
    double back = 0.0;
    if (DoubleFromChars(text.data(), text.data() + text.size(), back).ec == std::errc() && back == value) break;
  }
  return text;
#endif
}

}  // namespace vl5::terminal
