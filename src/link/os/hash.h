// The system's SHA-256, which names the pipe of an installation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl5::os {

bool Sha256(const void* data, std::size_t size, std::uint8_t digest[32]);
// What the platform can say about a failed Sha256 beyond the failure itself,
// to follow an error text ("" when nothing).
std::u16string Sha256FailureNote();

}  // namespace vl5::os
