// Loaded prices: a symbol's history from the user's files (history.h),
// served as given and nothing outside it. The market is open only within
// the loaded data: before its first bar and after the end of its last one
// (and of its last tick) the symbol is closed, its quote staying at the
// last loaded tick; inside, its trading hours decide, or, with
// `hours_from_data`, the spans of its bars.
#pragma once

#include <cstdint>
#include <memory>

#include "terminal/model/market/history.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

class LoadedPrices final : public PriceSource {
 public:
  // `history` holds at least one bar.
  LoadedPrices(const SymbolSpec& spec, std::shared_ptr<const History> history);

  std::int64_t FirstMinute() const override { return paths_.FirstMinute(); }
  // Never saved: KeepsDays() is false.
  std::uint64_t Fingerprint() const override { return 0; }
  // Its bars of every timeframe are made from the loaded bars at once.
  bool KeepsDays() const override { return false; }
  bool Open(const SymbolSpec& spec, std::int64_t minute) const override;
  std::unique_ptr<MinuteWalk> Walk() const override;
  std::int64_t NextActiveMinute(std::int64_t minute) const override;
  std::int64_t LastActiveMinute(std::int64_t minute) const override;
  // Loaded ticks may lie in minutes without a bar.
  std::int64_t NextTickMinute(std::int64_t minute) const override;
  std::int64_t ScanTicks(std::int64_t from_ms, std::int64_t to_ms, TickFilter filter, std::int64_t limit,
                         const std::function<void(const Tick&)>& visit) const override;
  bool LastTick(std::int64_t now_ms, Tick* tick) const override;
  std::int64_t ForEachBar(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                          std::int64_t now_ms, const std::function<void(const Bar&)>& emit) const override;

 private:
  HistoryPaths paths_;
};

}  // namespace vl5::terminal::market
