// Settings values as text: whole numbers and switches, read strictly. Shared
// by every table of settings keys.
#pragma once

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "terminal/base/ini.h"

namespace vl5::terminal {

// The whole text as a number, and a finite one; `*value` is left alone
// unless it is.
template <typename T>
bool ParseNumber(std::string_view text, T* value) {
  const char* end = text.data() + text.size();
  T parsed{};
  auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
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
  char text[32];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("0");
}

}  // namespace vl5::terminal
