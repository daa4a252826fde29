#include "terminal/model/market/ticks.h"

#include <algorithm>

#include "terminal/base/calendar.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kMinuteMs = 60000;
constexpr std::uint32_t kInfoFlags = wire::TICK_FLAG_BID | wire::TICK_FLAG_ASK;
constexpr std::uint32_t kTradeFlags = wire::TICK_FLAG_LAST | wire::TICK_FLAG_VOLUME;

}  // namespace

bool ParseCopyFlags(std::int32_t flags, TickFilter* filter) {
  const std::int32_t both = wire::COPY_TICKS_INFO | wire::COPY_TICKS_TRADE;
  if (flags < 0 || flags == both) {
    *filter = TickFilter::kAll;
  } else if (flags == wire::COPY_TICKS_INFO) {
    *filter = TickFilter::kInfo;
  } else if (flags == wire::COPY_TICKS_TRADE) {
    *filter = TickFilter::kTrade;
  } else {
    return false;
  }
  return true;
}

bool Passes(const Tick& tick, TickFilter filter) {
  switch (filter) {
    case TickFilter::kInfo:
      return (tick.flags & kInfoFlags) != 0;
    case TickFilter::kTrade:
      return (tick.flags & kTradeFlags) != 0;
    case TickFilter::kAll:
      break;
  }
  return true;
}

std::int64_t ScanTicks(const PricePath& path, std::int64_t from_ms, std::int64_t to_ms, TickFilter filter,
                       std::int64_t limit, const std::function<void(const Tick&)>& visit) {
  if (from_ms > to_ms || limit <= 0) return 0;
  return path.source().ScanTicks(from_ms, to_ms, filter, limit, visit);
}

std::int64_t WalkTicks(const PriceSource& source, std::int64_t from_ms, std::int64_t to_ms, TickFilter filter,
                       std::int64_t limit, const std::function<void(const Tick&)>& visit) {
  const std::int64_t minute = std::max(FloorDiv(from_ms, kMinuteMs), source.FirstMinute());
  const std::int64_t last_minute = FloorDiv(to_ms, kMinuteMs);
  TickWalker walker(source, minute);
  std::int64_t visited = 0;
  while (const MinuteTicks* ticks = walker.NextWithTicks(last_minute)) {
    for (int j = 0; j < ticks->count; ++j) {
      const Tick& tick = ticks->ticks[j];
      if (tick.time_msc < from_ms) continue;
      if (tick.time_msc > to_ms) return visited;
      if (!Passes(tick, filter)) continue;
      visit(tick);
      if (++visited == limit) return visited;
    }
  }
  return visited;
}

bool LastTick(const PricePath& path, std::int64_t now_ms, Tick* tick) { return path.source().LastTick(now_ms, tick); }

}  // namespace vl5::terminal::market
