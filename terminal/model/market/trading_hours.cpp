#include "terminal/model/market/trading_hours.h"

#include <algorithm>
#include <utility>

#include "terminal/base/calendar.h"

namespace vl5::terminal::market {

namespace {

// Unix minute 0 fell on a Thursday.
constexpr std::int64_t kEpochMinuteOfWeek = 4 * kDayMinutes;
// Each step of a search crosses one change of offset: far more than any
// real zone has between two open minutes.
constexpr int kMaxSteps = 100000;

std::int64_t CeilMinute(std::int64_t seconds) {
  if (seconds == INT64_MIN || seconds == INT64_MAX) return seconds;
  return FloorDiv(seconds + 59, 60);
}

}  // namespace

std::int64_t MinuteOfWeek(std::int64_t minute) {
  const std::int64_t shifted = minute + kEpochMinuteOfWeek;
  return shifted - FloorDiv(shifted, kWeekMinutes) * kWeekMinutes;
}

int DayOfWeek(std::int64_t minute) { return static_cast<int>(MinuteOfWeek(minute) / kDayMinutes); }

TradingHours::TradingHours(std::vector<OpenWindow> windows, std::shared_ptr<const TimeZone> zone)
    : windows_(std::move(windows)), zone_(std::move(zone)) {}

TradingHours TradingHours::Weekdays(std::int64_t open, std::int64_t close, std::shared_ptr<const TimeZone> zone) {
  std::vector<OpenWindow> windows;
  for (std::int64_t day = 1; day <= 5; ++day) {
    windows.push_back(OpenWindow{day * kDayMinutes + open, day * kDayMinutes + close});
  }
  return TradingHours(std::move(windows), std::move(zone));
}

TradingHours TradingHours::FiveDayWeek(std::int64_t minute_of_day, std::shared_ptr<const TimeZone> zone) {
  return TradingHours({OpenWindow{minute_of_day, 5 * kDayMinutes + minute_of_day}}, std::move(zone));
}

bool TradingHours::OpenLocal(std::int64_t local) const {
  const std::int64_t at = MinuteOfWeek(local);
  return std::any_of(windows_.begin(), windows_.end(),
                     [at](const OpenWindow& w) { return w.open <= at && at < w.close; });
}

std::int64_t TradingHours::NextOpenLocal(std::int64_t local) const {
  const std::int64_t at = MinuteOfWeek(local);
  const std::int64_t week = local - at;
  for (const OpenWindow& w : windows_) {
    if (at < w.close) return week + std::max(at, w.open);
  }
  return week + kWeekMinutes + windows_.front().open;
}

std::int64_t TradingHours::PreviousOpenLocal(std::int64_t local) const {
  const std::int64_t at = MinuteOfWeek(local);
  const std::int64_t week = local - at;
  for (auto w = windows_.rbegin(); w != windows_.rend(); ++w) {
    if (at >= w->open) return week + std::min(at, w->close - 1);
  }
  return week - kWeekMinutes + windows_.back().close - 1;
}

TradingHours::Piece TradingHours::PieceAt(std::int64_t minute) const {
  if (zone_ == nullptr) return Piece{INT64_MIN, INT64_MAX, 0, false, false};
  const ZonePeriod period = zone_->PeriodAt(minute * 60);
  const std::int64_t start = CeilMinute(period.start), end = CeilMinute(period.end);
  const std::int64_t offset = FloorDiv(period.offset, 60);
  const std::int64_t previous = FloorDiv(period.previous_offset, 60);
  const std::int64_t repeat = previous - offset;  // minutes of local time that come again
  if (repeat > 0 && minute < start + repeat) {
    // As the last minute before the clocks went back.
    return Piece{start, start + repeat, offset, true, OpenLocal(start - 1 + previous)};
  }
  return Piece{start + std::max<std::int64_t>(repeat, 0), end, offset, false, false};
}

bool TradingHours::Open(std::int64_t minute) const {
  if (windows_.empty()) return true;
  const Piece piece = PieceAt(minute);
  return piece.frozen ? piece.frozen_open : OpenLocal(minute + piece.offset);
}

std::int64_t TradingHours::NextOpen(std::int64_t minute) const {
  if (windows_.empty()) return minute;
  for (int step = 0; step < kMaxSteps; ++step) {
    const Piece piece = PieceAt(minute);
    if (piece.frozen) {
      if (piece.frozen_open) return minute;
    } else {
      const std::int64_t open = NextOpenLocal(minute + piece.offset) - piece.offset;
      if (open < piece.end) return open;
    }
    if (piece.end == INT64_MAX) break;
    minute = piece.end;
  }
  return minute;
}

std::int64_t TradingHours::PreviousOpen(std::int64_t minute) const {
  if (windows_.empty()) return minute;
  for (int step = 0; step < kMaxSteps; ++step) {
    const Piece piece = PieceAt(minute);
    if (piece.frozen) {
      if (piece.frozen_open) return minute;
    } else {
      const std::int64_t open = PreviousOpenLocal(minute + piece.offset) - piece.offset;
      if (open >= piece.start) return open;
    }
    if (piece.start == INT64_MIN) break;
    minute = piece.start - 1;
  }
  return minute;
}

std::int64_t TradingHours::DayEnd() const {
  std::int64_t end = -1;
  for (const OpenWindow& w : windows_) {
    const std::int64_t close = w.close % kWeekMinutes;
    const bool continued =
        std::any_of(windows_.begin(), windows_.end(), [close](const OpenWindow& o) { return o.open == close; });
    if (!continued) end = std::max(end, w.close);
  }
  return end < 0 ? 0 : end % kDayMinutes;
}

std::int64_t TradingHours::LocalMinute(std::int64_t minute) const {
  return zone_ == nullptr ? minute : minute + FloorDiv(zone_->OffsetAt(minute * 60), 60);
}

std::int64_t TradingHours::UtcMinute(std::int64_t local) const {
  return zone_ == nullptr ? local : CeilMinute(zone_->LocalToUtc(local * 60));
}

}  // namespace vl5::terminal::market
