// Bars of any timeframe served from what is kept, so that a request costs
// about the ticks since the last one rather than the length of its bars:
// completed bars from the market's kept chunks (kept_bars.h); the bar
// forming at the clock from the aggregate of its minutes that have passed,
// kept per timeframe and extended as the clock moves, plus the minute
// forming now. What is kept never depends on the clock: a completed bar and
// the aggregate of passed minutes stay the same whatever it does later, so
// clients with different clocks, or a clock set back, only miss the cache.
// The bars served are exactly those ForEachBar (bars.h) makes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "terminal/model/market/bars.h"
#include "terminal/model/market/kept_bars.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

class BarCache {
 public:
  // Completed bars are kept in `kept`, which outlives the cache.
  explicit BarCache(KeptBars* kept) : kept_(kept) {}
  BarCache(const BarCache&) = delete;
  BarCache& operator=(const BarCache&) = delete;

  // As ForEachBar for `path` and its day cache `days`. Thread-safe: nothing
  // is locked while bars are made or emitted.
  std::int64_t ForEach(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span, std::int64_t now_ms,
                       const std::function<void(const Bar&)>& emit);

 private:
  // The bar `index` holding the minutes [its open, done) merged.
  struct Forming {
    std::int64_t index = 0;
    std::int64_t done = 0;
    Bar bar;
  };

  KeptBars* const kept_;
  std::mutex mutex_;
  std::map<std::int32_t, Forming> forming_;  // by timeframe
};

}  // namespace vl5::terminal::market
