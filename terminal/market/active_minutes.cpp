#include "terminal/market/active_minutes.h"

#include <algorithm>

#include "terminal/market/history.h"

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

}  // namespace vl5::terminal::market
