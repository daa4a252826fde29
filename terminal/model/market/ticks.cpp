#include "terminal/model/market/ticks.h"

#include <algorithm>

#include "terminal/model/market/active_minutes.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/history.h"
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
  const History* history = path.history();
  if (history != nullptr && !history->ticks.empty()) {
    // Loaded ticks are looked up, not walked minute by minute.
    auto it = history->TicksFrom(from_ms);
    std::int64_t visited = 0;
    for (; it != history->ticks.end() && it->time_msc <= to_ms && visited < limit; ++it) {
      if (!Passes(*it, filter)) continue;
      visit(*it);
      ++visited;
    }
    return visited;
  }
  // A symbol without trades generates no trade ticks anywhere: skip the walk.
  if (filter == TickFilter::kTrade && !path.spec().trades) return 0;
  const std::int64_t minute = std::max(FloorDiv(from_ms, kMinuteMs), path.first_minute());
  const std::int64_t last_minute = FloorDiv(to_ms, kMinuteMs);
  TickWalker walker(path, minute);
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

bool LastTick(const PricePath& path, std::int64_t now_ms, Tick* tick) {
  if (path.history() != nullptr) return LastHistoryTick(*path.history(), path.spec(), now_ms, tick);
  // Between sessions the last tick is the one before the close.
  const std::int64_t minute = LastActiveMinute(path, FloorDiv(now_ms, kMinuteMs));
  if (minute == kNoMinute) return false;
  const std::shared_ptr<const MinuteTicks> ticks = path.Minute(minute);
  bool found = false;
  for (int j = 0; j < ticks->count && ticks->ticks[static_cast<std::size_t>(j)].time_msc <= now_ms; ++j) {
    *tick = ticks->ticks[static_cast<std::size_t>(j)];
    found = true;
  }
  return found;
}

}  // namespace vl5::terminal::market
