// The minute bars of recently asked days, kept for every symbol of the
// market together within one budget of days: the least recently used day
// goes first, whichever symbol it belongs to, so the memory held stays
// bounded however many symbols clients ask for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "terminal/model/market/lru_cache.h"

namespace vl5::terminal::market {

// One minute's bar in 32 bytes; prices relative to the open, which a
// minute's range keeps far inside 32 bits.
struct MinuteBar {
  std::int64_t open = 0;
  std::int32_t high = 0;
  std::int32_t low = 0;
  std::int32_t close = 0;
  std::int32_t spread = 0;
  std::uint32_t tick_volume = 0;
  std::uint32_t real_volume = 0;
};

inline constexpr int kMinutesPerDay = 1440;
using DayMinutes = std::vector<MinuteBar>;  // kMinutesPerDay of them, from 00:00 UTC

// 46 KB a day: about 47 MB in all, enough for a million M1 bars of one
// symbol that trades five days a week.
inline constexpr std::size_t kKeptMinuteDays = 1024;

// Days of minute bars by owner (a symbol's day cache) and day number.
using KeptMinutes = LruCache<std::pair<const void*, std::int64_t>, DayMinutes>;

}  // namespace vl5::terminal::market
