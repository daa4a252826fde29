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
  Walker(const History& history, const SymbolSpec& spec) : history_(history), spec_(spec) {}
  void Fill(std::int64_t minute, MinuteTicks* out) override { HistoryMinute(history_, spec_, minute, out); }

 private:
  const History& history_;
  const SymbolSpec& spec_;
};

}  // namespace

LoadedPrices::LoadedPrices(const SymbolSpec& spec, std::shared_ptr<const History> history)
    : spec_(&spec), history_(std::move(history)), first_minute_(FloorDiv(history_->minutes.front().time, 60)) {
  // Ticks may start before the first bar.
  if (!history_->ticks.empty()) {
    first_minute_ = std::min(first_minute_, FloorDiv(history_->ticks.front().time_msc, kMinuteMs));
  }
}

std::unique_ptr<MinuteWalk> LoadedPrices::Walk() const { return std::make_unique<Walker>(*history_, *spec_); }

std::int64_t LoadedPrices::NextActiveMinute(std::int64_t minute) const { return history_->NextBarMinute(minute); }

std::int64_t LoadedPrices::LastActiveMinute(std::int64_t minute) const { return history_->LastBarMinute(minute); }

std::int64_t LoadedPrices::NextTickMinute(std::int64_t minute) const {
  if (history_->ticks.empty()) return NextActiveMinute(minute);
  const std::int64_t from_ms = minute > INT64_MAX / kMinuteMs ? INT64_MAX : std::max(minute, first_minute_) * kMinuteMs;
  const auto it = history_->TicksFrom(from_ms);
  return it == history_->ticks.end() ? INT64_MAX : FloorDiv(it->time_msc, kMinuteMs);
}

std::int64_t LoadedPrices::ScanTicks(std::int64_t from_ms, std::int64_t to_ms, TickFilter filter, std::int64_t limit,
                                     const std::function<void(const Tick&)>& visit) const {
  if (history_->ticks.empty()) {
    // Every bar follows its path, minute by minute, with trades only on symbols that trade.
    if (filter == TickFilter::kTrade && !spec_->trades) return 0;
    return WalkTicks(*this, from_ms, to_ms, filter, limit, visit);
  }
  // Loaded ticks are looked up, not walked minute by minute.
  std::int64_t visited = 0;
  for (auto it = history_->TicksFrom(from_ms); it != history_->ticks.end() && it->time_msc <= to_ms && visited < limit;
       ++it) {
    if (!Passes(*it, filter)) continue;
    visit(*it);
    ++visited;
  }
  return visited;
}

bool LoadedPrices::LastTick(std::int64_t now_ms, Tick* tick) const {
  return LastHistoryTick(*history_, *spec_, now_ms, tick);
}

std::int64_t LoadedPrices::ForEachBar(const PricePath&, DayCache*, std::int32_t timeframe, BarSpan span,
                                      std::int64_t now_ms, const std::function<void(const Bar&)>& emit) const {
  return ForEachHistoryBar(*history_, *spec_, timeframe, span, now_ms, emit);
}

}  // namespace vl5::terminal::market
