// A market over the built-in symbols, and helpers to collect ticks and bars.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terminal/model/market/bars.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/market/ticks.h"

namespace vl5::terminal::market::testing {

// 2023-11-14 22:13:20 UTC: a Tuesday evening, well inside every history.
inline constexpr std::int64_t kNowMs = 1700000000LL * 1000;
// Three hours earlier, when every symbol's session is open (the exchange
// closes at 21:00 UTC), and the next day's exchange session.
inline constexpr std::int64_t kAllOpenMs = kNowMs - 3 * 3600 * 1000;
inline constexpr std::int64_t kNextSessionMs = kNowMs + 17 * 3600 * 1000;

inline std::size_t IndexOf(const Market& market, const std::u16string& name) { return *market.Find(name); }

inline std::vector<Tick> CollectTicks(const PricePath& path, std::int64_t from_ms, std::int64_t to_ms,
                                      TickFilter filter = TickFilter::kAll, std::int64_t limit = INT64_MAX) {
  std::vector<Tick> ticks;
  ScanTicks(path, from_ms, to_ms, filter, limit, [&](const Tick& t) { ticks.push_back(t); });
  return ticks;
}

inline std::vector<Bar> CollectBars(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                                    std::int64_t now_ms = kNowMs) {
  std::vector<Bar> bars;
  ForEachBar(path, days, timeframe, span, now_ms, [&](const Bar& b) { bars.push_back(b); });
  return bars;
}

inline bool SameBar(const Bar& a, const Bar& b) {
  return a.time == b.time && a.open == b.open && a.high == b.high && a.low == b.low && a.close == b.close &&
         a.tick_volume == b.tick_volume && a.spread == b.spread && a.real_volume == b.real_volume;
}

}  // namespace vl5::terminal::market::testing
