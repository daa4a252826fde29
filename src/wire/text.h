// UTF-16 wire text and its conversions. Wire text is UTF-16 on every system;
// wchar_t is never used in portable code.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vl5::wire {

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD so the result always decodes.
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16. Invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// Length up to the first zero unit, at most `capacity` units.
std::size_t BoundedLength(const char16_t* text, std::size_t capacity);

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::size_t Utf8Prefix(std::string_view text, std::size_t limit);

}  // namespace vl5::wire
