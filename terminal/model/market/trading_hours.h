// A symbol's weekly trading hours, in its exchange's time zone (UTC when it
// has none). Outside them the market has no ticks, so no bars, and refuses
// trades. Hours repeat every week of local time: currencies and metals trade
// from Sunday evening to Friday evening, stocks and indices on weekdays
// during their exchange's hours, crypto currencies always.
//
// Arguments and answers are Unix minutes (UTC); the windows are minutes of
// the local week, counted from Sunday 00:00. When the clocks change:
// - a window edge inside the skipped hour (clocks forward) takes effect at
//   the moment of the change, the first minute whose local time is later;
// - a window edge inside the repeated hour (clocks back) takes effect the
//   first time that local time comes; while the hour repeats, the market
//   stays as the first pass left it.
// Offsets are taken to the minute.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "terminal/base/time_zone.h"

namespace vl5::terminal::market {

inline constexpr std::int64_t kDayMinutes = 1440;
inline constexpr std::int64_t kWeekMinutes = 7 * kDayMinutes;

// Minutes of the week [open, close), 0 <= open < close <= kWeekMinutes.
struct OpenWindow {
  std::int64_t open = 0;
  std::int64_t close = 0;
};

class TradingHours {
 public:
  // Always open.
  TradingHours() = default;
  // Windows in order, not overlapping, at least one; local time of `zone`
  // (nullptr: UTC).
  explicit TradingHours(std::vector<OpenWindow> windows, std::shared_ptr<const TimeZone> zone = nullptr);

  // Monday to Friday, from `open` to `close` minutes after midnight.
  static TradingHours Weekdays(std::int64_t open, std::int64_t close, std::shared_ptr<const TimeZone> zone = nullptr);
  // From Sunday to Friday at `minute_of_day`, through the nights.
  static TradingHours FiveDayWeek(std::int64_t minute_of_day, std::shared_ptr<const TimeZone> zone = nullptr);

  bool always_open() const { return windows_.empty(); }
  const std::vector<OpenWindow>& windows() const { return windows_; }
  // nullptr: UTC.
  const TimeZone* zone() const { return zone_.get(); }
  const std::shared_ptr<const TimeZone>& shared_zone() const { return zone_; }

  bool Open(std::int64_t minute) const;
  // The first open minute at or after `minute`, and the last at or before it.
  std::int64_t NextOpen(std::int64_t minute) const;
  std::int64_t PreviousOpen(std::int64_t minute) const;

  // The local minute of the day at which the trading day ends: the latest
  // close of the week that no window continues; midnight when always open.
  std::int64_t DayEnd() const;
  // Local time, in minutes, of the UTC minute `minute`.
  std::int64_t LocalMinute(std::int64_t minute) const;
  // The UTC minute of local minute `local`, by the rules above.
  std::int64_t UtcMinute(std::int64_t local) const;

 private:
  // A stretch of UTC minutes with one offset; `frozen`: the repeated hour,
  // open or not throughout as `frozen_open` says.
  struct Piece {
    std::int64_t start, end, offset;
    bool frozen = false, frozen_open = false;
  };
  Piece PieceAt(std::int64_t minute) const;
  bool OpenLocal(std::int64_t local) const;
  std::int64_t NextOpenLocal(std::int64_t local) const;
  std::int64_t PreviousOpenLocal(std::int64_t local) const;

  std::vector<OpenWindow> windows_;
  std::shared_ptr<const TimeZone> zone_;
};

// Minutes since Sunday 00:00 of the week holding `minute`, and that day of
// the week (0 Sunday ... 6 Saturday).
std::int64_t MinuteOfWeek(std::int64_t minute);
int DayOfWeek(std::int64_t minute);

}  // namespace vl5::terminal::market
