// The CSV format of history files, read as the bytes arrive.
//
// Comma-separated text, one record a line, blank lines ignored; a first line
// that starts with a letter is a header and skipped. Times are UTC, either
// Unix time (seconds for bars, milliseconds for ticks) or
// "YYYY-MM-DD HH:MM[:SS[.mmm]]" ('.' may separate the date's parts, 'T' may
// stand before the time). Prices are decimals with at most the symbol's
// digits (more only as trailing zeros), volumes and spreads whole numbers.
//
//   bars:        time,open,high,low,close,tick_volume,spread,real_volume
//     times strictly increasing, each the start of a bar of the file's size
//     (a whole minute, a whole hour, or 00:00 UTC of a day), so no two bars
//     share a period; low <= open, close <= high; at least one tick; spread
//     in points
//   ticks:       time_msc,bid,ask,last,volume,flags
//     times never decreasing; 0 < bid <= ask; flags as the terminal reports them
//   volumes at most kMaxVolume; spreads (ask - bid for ticks) at most 10^6 points
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/model/market/bars.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

// The largest volume a record may carry (10^11): any run of minute bars sums
// its volumes without wrapping.
inline constexpr std::uint64_t kMaxVolume = 100000000000ULL;

// Parses one file of `Record`s (Bar or Tick) fed in pieces of any size.
// Feed and Finish return false at the first problem, with error() naming
// its line ("line 7: bad number 'x' in column high"); records() then holds
// a part only and is to be dropped.
template <typename Record>
class HistoryCsv {
 public:
  // Only the symbol's digits are kept: a temporary spec will do. Bars open
  // at the start of a bar of `timeframe` minutes (M1, H1 or D1).
  explicit HistoryCsv(const SymbolSpec& spec, std::int32_t timeframe = 1)
      : digits_(spec.digits), timeframe_(timeframe) {}

  bool Feed(std::string_view piece);
  // The last line, when the file does not end with a line break.
  bool Finish();

  std::vector<Record>& records() { return records_; }
  const std::string& error() const { return error_; }

 private:
  bool Line(std::string_view text);

  const int digits_;
  const std::int32_t timeframe_;
  std::vector<Record> records_;
  std::string carry_;  // a line begun in an earlier piece
  std::int64_t line_ = 0;
  bool started_ = false;  // a header may only come first
  std::string error_;
};

extern template class HistoryCsv<Bar>;
extern template class HistoryCsv<Tick>;

}  // namespace vl5::terminal::market
