// Daily aggregates of completed days, kept per symbol. A day that has ended
// never changes, so its bar is computed once; D1, W1 and MN1 bars are then
// merged from days instead of re-walking every minute of their span.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "terminal/market/bars.h"
#include "terminal/market/price_path.h"

namespace vl5::terminal::market {

class DayCache {
 public:
  // The bar of day `day` (days since 1970-01-01), which must lie within the
  // symbol's history and have ended. Thread-safe; computed outside the lock.
  Bar CompletedDay(const PricePath& path, std::int64_t day);

 private:
  std::mutex mutex_;
  std::int64_t first_day_ = 0;
  std::vector<Bar> days_;  // tick_volume 0: not computed yet
};

// The bar of one day from its minutes, with ticks up to `now_ms`.
Bar DayFromMinutes(const PricePath& path, std::int64_t day, std::int64_t now_ms);

}  // namespace vl5::terminal::market
