#include "terminal/model/market/loaded_prices.h"

#include <algorithm>
#include <climits>

#include "terminal/base/calendar.h"
#include "terminal/model/market/ticks.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kMinuteMs = 60000;

class Walker final : public MinuteWalk {
 public:
  explicit Walker(const HistoryPaths& paths) : paths_(paths) {}
  void Fill(std::int64_t minute, MinuteTicks* out) override { paths_.Minute(minute, out); }

 private:
  const HistoryPaths& paths_;
};

}  // namespace

LoadedPrices::LoadedPrices(const SymbolSpec& spec, std::shared_ptr<const History> history)
    : paths_(spec, std::move(history)) {}

std::unique_ptr<MinuteWalk> LoadedPrices::Walk() const { return std::make_unique<Walker>(paths_); }

bool LoadedPrices::Open(const SymbolSpec& spec, std::int64_t minute) const {
  if (minute < paths_.FirstMinute() || minute >= paths_.EndMinute()) return false;
  return spec.hours_from_data ? paths_.InBar(minute) : spec.hours.Open(minute);
}

std::int64_t LoadedPrices::NextActiveMinute(std::int64_t minute) const { return paths_.NextActiveMinute(minute); }

std::int64_t LoadedPrices::LastActiveMinute(std::int64_t minute) const { return paths_.LastActiveMinute(minute); }

std::int64_t LoadedPrices::NextTickMinute(std::int64_t minute) const {
  const History& history = paths_.history();
  if (history.ticks.empty()) return NextActiveMinute(minute);
  const std::int64_t from_ms =
      minute > INT64_MAX / kMinuteMs ? INT64_MAX : std::max(minute, paths_.FirstMinute()) * kMinuteMs;
  const auto it = history.TicksFrom(from_ms);
  return it == history.ticks.end() ? INT64_MAX : FloorDiv(it->time_msc, kMinuteMs);
}

std::int64_t LoadedPrices::ScanTicks(std::int64_t from_ms, std::int64_t to_ms, TickFilter filter, std::int64_t limit,
                                     const std::function<void(const Tick&)>& visit) const {
  const History& history = paths_.history();
  if (history.ticks.empty()) {
    // Every bar follows its path, minute by minute, with trades only on symbols that trade.
    if (filter == TickFilter::kTrade && !paths_.spec().trades) return 0;
    return WalkTicks(*this, from_ms, to_ms, filter, limit, visit);
  }
  // Loaded ticks are looked up, not walked minute by minute.
  std::int64_t visited = 0;
  for (auto it = history.TicksFrom(from_ms); it != history.ticks.end() && it->time_msc <= to_ms && visited < limit;
       ++it) {
    if (!Passes(*it, filter)) continue;
    visit(*it);
    ++visited;
  }
  return visited;
}

bool LoadedPrices::LastTick(std::int64_t now_ms, Tick* tick) const { return paths_.LastTick(now_ms, tick); }

std::int64_t LoadedPrices::ForEachBar(const PricePath&, DayCache*, std::int32_t timeframe, BarSpan span,
                                      std::int64_t now_ms, const std::function<void(const Bar&)>& emit) const {
  return paths_.ForEachBar(timeframe, span, now_ms, emit);
}

}  // namespace vl5::terminal::market
