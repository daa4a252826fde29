// How far a symbol's market fills slip, always against the trader: a plain
// record that the settings read and the symbol carries (trading/fills.h
// applies it).
#pragma once

#include <cstdint>

namespace vl5::terminal {

struct Slippage {
  enum class Model : std::uint8_t {
    kNone,    // fills at the price the market shows
    kFixed,   // `low` points every time
    kRandom,  // from `low` to `high` points, drawn from the seed
    kBook,    // `high` points for an order as large as the whole side of the book, in proportion
  };
  Model model = Model::kNone;
  std::int32_t low = 0;
  std::int32_t high = 0;
};

// The largest slippage a setting may ask for, in points.
inline constexpr std::int32_t kMaxSlippagePoints = 100000;

}  // namespace vl5::terminal
