// The name of a terminal's pipe, derived from its executable path. Both the
// module and the terminal compute it here, so they always agree.
#pragma once

#include <cstdint>
#include <string>

namespace vl5::link {

inline constexpr std::size_t kMaxPathUnits = 260;

enum class PipeNameError { kNone, kPathTooLong, kHashFailed };

// SHA-256 of the normalised, lower-cased path as UTF-16LE, as 64 upper-case
// hex digits after "VL5.Terminal.", placed where the system keeps pipes.
PipeNameError PipeNameFor(const std::u16string& executable, std::u16string* address, std::uint8_t digest[32]);

// "VL5.Terminal." followed by the digest in upper-case hex.
std::u16string PipeBaseName(const std::uint8_t digest[32]);

}  // namespace vl5::link
