// The symbols the terminal offers and their price paths. The catalog is fixed
// at start; only the market-watch selection changes, and that lives in the
// terminal's shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "terminal/model/market/bar_cache.h"
#include "terminal/model/market/day_cache.h"
#include "terminal/model/market/history.h"
#include "terminal/base/settings.h"
#include "terminal/model/market/price_path.h"
#include "terminal/model/market/symbol_keys.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

// A dozen symbols of several kinds: forex majors and a cross, a metal, an
// index, a crypto currency and a stock.
std::vector<SymbolSpec> DefaultSymbols();

// The symbols of a terminal: the built-in ones as [Symbol] sections change
// them, then those the sections define, in the file's order. A new symbol
// takes the defaults of its kind (trade_calc_mode), is always open (trading
// hours are not set by a section) and is generated unless loaded. False with
// the first problem, naming its line and key.
bool BuildSymbols(const std::vector<SymbolConfig>& sections, std::vector<SymbolSpec>* specs, SymbolProblem* problem);

class Market {
 public:
  // Symbols named in `histories` serve them instead of generated prices.
  // The minute bars of at most `minute_days` days are kept for all symbols,
  // and at most `bar_chunks` chunks of completed bars.
  Market(std::vector<SymbolSpec> symbols, std::uint64_t seed, const Histories& histories = {},
         std::size_t minute_days = kKeptMinuteDays, std::size_t bar_chunks = kKeptBarChunks);
  Market(const Market&) = delete;
  Market& operator=(const Market&) = delete;

  std::size_t size() const { return specs_.size(); }
  // What the prices (and the book and seeded fills) are drawn from.
  std::uint64_t seed() const { return seed_; }
  const SymbolSpec& spec(std::size_t index) const { return specs_[index]; }
  const PricePath& path(std::size_t index) const { return paths_[index]; }
  // The daily aggregates are a cache of pure data: filling it is safe from
  // any thread and does not change what the market answers.
  DayCache* days(std::size_t index) const { return days_[index].get(); }
  // So are the kept bars: requests for bars go through them.
  BarCache* bars(std::size_t index) const { return bars_[index].get(); }
  std::optional<std::size_t> Find(std::u16string_view name) const;
  // Whether `symbol` trades at `minute` (Unix minutes): its price source's
  // answer, which loaded data, `hours = data` and the trading hours agree on.
  bool IsOpen(std::size_t symbol, std::int64_t minute) const {
    return paths_[symbol].source().Open(specs_[symbol], minute);
  }
  const KeptMinutes& kept_minutes() const { return *kept_minutes_; }
  const KeptBars& kept_bars() const { return *kept_bars_; }

 private:
  std::uint64_t seed_;
  std::vector<SymbolSpec> specs_;  // never resized: the paths point into it
  std::vector<PricePath> paths_;
  std::unique_ptr<KeptMinutes> kept_minutes_;  // before the caches that keep in it
  std::vector<std::unique_ptr<DayCache>> days_;
  std::unique_ptr<KeptBars> kept_bars_;  // before the caches that keep in it
  std::vector<std::unique_ptr<BarCache>> bars_;
};

}  // namespace vl5::terminal::market
