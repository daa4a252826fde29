#include "terminal/model/market/active_minutes.h"

#include <algorithm>

#include "terminal/base/calendar.h"
#include "terminal/model/market/history.h"

namespace vl5::terminal::market {

std::int64_t NextActiveMinute(const PricePath& path, std::int64_t minute) {
  if (path.history() != nullptr) return path.history()->NextBarMinute(minute);
  return path.spec().sessions.NextOpen(std::max(minute, path.first_minute()));
}

std::int64_t LastActiveMinute(const PricePath& path, std::int64_t minute) {
  if (path.history() != nullptr) return path.history()->LastBarMinute(minute);
  if (minute < path.first_minute()) return kNoMinute;
  const std::int64_t open = path.spec().sessions.PreviousOpen(minute);
  return open < path.first_minute() ? kNoMinute : open;
}


std::int64_t NextTickMinute(const PricePath& path, std::int64_t minute) {
  const History* history = path.history();
  if (history == nullptr || history->ticks.empty()) return NextActiveMinute(path, minute);
  const std::int64_t from_ms = minute > INT64_MAX / 60000 ? INT64_MAX : std::max(minute, path.first_minute()) * 60000;
  const auto it = history->TicksFrom(from_ms);
  return it == history->ticks.end() ? INT64_MAX : FloorDiv(it->time_msc, 60000);
}

}  // namespace vl5::terminal::market
