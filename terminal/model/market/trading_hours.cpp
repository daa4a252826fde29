#include "terminal/model/market/trading_hours.h"

#include <algorithm>
#include <utility>

#include "terminal/base/calendar.h"

namespace vl5::terminal::market {

namespace {

// Unix minute 0 fell on a Thursday.
constexpr std::int64_t kEpochMinuteOfWeek = 4 * kDayMinutes;

}  // namespace

std::int64_t MinuteOfWeek(std::int64_t minute) {
  const std::int64_t shifted = minute + kEpochMinuteOfWeek;
  return shifted - FloorDiv(shifted, kWeekMinutes) * kWeekMinutes;
}

int DayOfWeek(std::int64_t minute) { return static_cast<int>(MinuteOfWeek(minute) / kDayMinutes); }

TradingHours::TradingHours(std::vector<OpenWindow> windows) : windows_(std::move(windows)) {}

TradingHours TradingHours::Weekdays(std::int64_t open, std::int64_t close) {
  std::vector<OpenWindow> windows;
  for (std::int64_t day = 1; day <= 5; ++day) {
    windows.push_back(OpenWindow{day * kDayMinutes + open, day * kDayMinutes + close});
  }
  return TradingHours(std::move(windows));
}

TradingHours TradingHours::FiveDayWeek(std::int64_t minute_of_day) {
  return TradingHours({OpenWindow{minute_of_day, 5 * kDayMinutes + minute_of_day}});
}

bool TradingHours::Open(std::int64_t minute) const {
  if (windows_.empty()) return true;
  const std::int64_t at = MinuteOfWeek(minute);
  return std::any_of(windows_.begin(), windows_.end(),
                     [at](const OpenWindow& w) { return w.open <= at && at < w.close; });
}

std::int64_t TradingHours::NextOpen(std::int64_t minute) const {
  if (windows_.empty()) return minute;
  const std::int64_t at = MinuteOfWeek(minute);
  const std::int64_t week = minute - at;
  for (const OpenWindow& w : windows_) {
    if (at < w.close) return week + std::max(at, w.open);
  }
  return week + kWeekMinutes + windows_.front().open;
}

std::int64_t TradingHours::PreviousOpen(std::int64_t minute) const {
  if (windows_.empty()) return minute;
  const std::int64_t at = MinuteOfWeek(minute);
  const std::int64_t week = minute - at;
  for (auto w = windows_.rbegin(); w != windows_.rend(); ++w) {
    if (at >= w->open) return week + std::min(at, w->close - 1);
  }
  return week - kWeekMinutes + windows_.back().close - 1;
}

}  // namespace vl5::terminal::market
