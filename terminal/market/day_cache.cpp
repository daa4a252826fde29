#include "terminal/market/day_cache.h"

#include <algorithm>

#include "terminal/market/calendar.h"

namespace vl5::terminal::market {

Bar DayFromMinutes(const PricePath& path, std::int64_t day, std::int64_t now_ms) {
  Bar bar;
  bar.time = day * 86400;
  const std::int64_t end = std::min((day + 1) * 1440, FloorDiv(now_ms, 60000) + 1);
  std::int64_t minute = std::max(day * 1440, path.first_minute());
  TickWalker walker(path, minute);
  AccumulateMinutes(&walker, &minute, end, now_ms, &bar);
  return bar;
}

Bar DayCache::CompletedDay(const PricePath& path, std::int64_t day) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (days_.empty()) first_day_ = FloorDiv(path.first_minute(), 1440);
    const std::int64_t slot = day - first_day_;
    if (slot >= 0 && slot < static_cast<std::int64_t>(days_.size()) &&
        days_[static_cast<std::size_t>(slot)].tick_volume != 0) {
      return days_[static_cast<std::size_t>(slot)];
    }
  }
  // A whole day: every tick of it lies before the end of the day.
  const Bar bar = DayFromMinutes(path, day, (day + 1) * 86400 * 1000 - 1);
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t slot = day - first_day_;
  if (slot < 0) return bar;
  if (slot >= static_cast<std::int64_t>(days_.size())) days_.resize(static_cast<std::size_t>(slot) + 1);
  days_[static_cast<std::size_t>(slot)] = bar;
  return bar;
}

}  // namespace vl5::terminal::market
