#include "terminal/model/market/active_minutes.h"

namespace vl5::terminal::market {

std::int64_t NextActiveMinute(const PricePath& path, std::int64_t minute) {
  return path.source().NextActiveMinute(minute);
}

std::int64_t LastActiveMinute(const PricePath& path, std::int64_t minute) {
  return path.source().LastActiveMinute(minute);
}

std::int64_t NextTickMinute(const PricePath& path, std::int64_t minute) { return path.source().NextTickMinute(minute); }

}  // namespace vl5::terminal::market
