// A symbol's weekly trading hours in UTC. Outside them the market has no
// ticks, so no bars, and refuses trades. Hours repeat every week: currencies
// and metals trade from Sunday evening to Friday evening, stocks and indices
// on weekdays during their exchange's hours, crypto currencies always.
// Minutes are Unix minutes throughout; the week is counted from Sunday 00:00.
#pragma once

#include <cstdint>
#include <vector>

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
  // Windows in order, not overlapping, at least one.
  explicit TradingHours(std::vector<OpenWindow> windows);

  // Monday to Friday, from `open` to `close` minutes after midnight.
  static TradingHours Weekdays(std::int64_t open, std::int64_t close);
  // From Sunday to Friday at `minute_of_day`, through the nights.
  static TradingHours FiveDayWeek(std::int64_t minute_of_day);

  bool always_open() const { return windows_.empty(); }
  const std::vector<OpenWindow>& windows() const { return windows_; }

  bool Open(std::int64_t minute) const;
  // The first open minute at or after `minute`, and the last at or before it.
  std::int64_t NextOpen(std::int64_t minute) const;
  std::int64_t PreviousOpen(std::int64_t minute) const;

 private:
  std::vector<OpenWindow> windows_;
};

// Minutes since Sunday 00:00 of the week holding `minute`, and that day of
// the week (0 Sunday ... 6 Saturday).
std::int64_t MinuteOfWeek(std::int64_t minute);
int DayOfWeek(std::int64_t minute);

}  // namespace vl5::terminal::market
