// Which minutes of a symbol hold ticks: those in its trading hours from
// its history start on, or those of its loaded bars. Each of them holds a tick at its very first
// millisecond, so whether a bar exists by some moment is known from minutes
// alone, without generating a tick.
#pragma once

#include <climits>
#include <cstdint>

#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

inline constexpr std::int64_t kNoMinute = INT64_MIN;

// The first minute with ticks at or after `minute`.
std::int64_t NextActiveMinute(const PricePath& path, std::int64_t minute);
// The last minute with ticks at or before `minute`; kNoMinute when none.
std::int64_t LastActiveMinute(const PricePath& path, std::int64_t minute);

// The first minute at or after `minute` that holds a tick, for walks that
// skip closed markets and gaps. The same as NextActiveMinute but for loaded
// ticks, which may lie in minutes without a bar (bars count active minutes).
std::int64_t NextTickMinute(const PricePath& path, std::int64_t minute);

}  // namespace vl5::terminal::market
