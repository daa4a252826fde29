// Stateless hashing for the synthetic market: every value is a pure function
// of the seed and a position, so any date range is generated on demand and
// two runs with the same seed agree to the last bit.
#pragma once

#include <cstdint>

namespace vl5::terminal::market {

// SplitMix64 finaliser: cheap and well mixed, enough for value noise.
inline std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

inline std::uint64_t Hash(std::uint64_t a, std::uint64_t b) { return Mix(a ^ Mix(b)); }
inline std::uint64_t Hash(std::uint64_t a, std::uint64_t b, std::uint64_t c) { return Hash(Hash(a, b), c); }

// Uniform in [0, 1) and in [-1, 1) from the top 53 bits.
inline double Unit(std::uint64_t h) { return static_cast<double>(h >> 11) * 0x1.0p-53; }
inline double Signed(std::uint64_t h) { return 2.0 * Unit(h) - 1.0; }

// Stable hash of a name (FNV-1a), to give each symbol its own stream.
inline std::uint64_t HashName(const char16_t* text, std::size_t length) {
  std::uint64_t h = 0xCBF29CE484222325ULL;
  for (std::size_t i = 0; i < length; ++i) h = (h ^ text[i]) * 0x100000001B3ULL;
  return h;
}

}  // namespace vl5::terminal::market
