// Where loaded histories lie and how they are read. The history folder holds
// one folder per symbol, named as the symbol, with the symbol's bars in one
// file named after their size, and optionally its ticks:
//
//   <history folder>/EURUSD/M1.csv      minute bars, or
//   <history folder>/EURUSD/H1.csv      hourly bars, or
//   <history folder>/EURUSD/D1.csv      daily bars (exactly one of the three)
//   <history folder>/EURUSD/ticks.csv   ticks (optional; only beside M1.csv)
//
// in the format of history_csv.h. Both folders and files must be this
// user's own and writable by nobody else; links are not followed. Every
// named symbol is read whole before the terminal starts, so a problem stops
// the start, naming the file and line, instead of leaving half a history.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terminal/model/market/history.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

// The bar files by the minutes their bars span.
struct HistoryBarsFile {
  const char16_t* name;
  std::int32_t timeframe;
};
inline constexpr HistoryBarsFile kHistoryBarsFiles[] = {{u"M1.csv", 1}, {u"H1.csv", 60}, {u"D1.csv", 1440}};
inline constexpr char16_t kHistoryTicksFile[] = u"ticks.csv";

// Loads the histories of `symbols` (names of `specs`) from `folder`; false
// with a message at the first problem, and then `out` is left empty.
bool LoadHistories(const std::vector<SymbolSpec>& specs, const std::vector<std::u16string>& symbols,
                   const std::u16string& folder, Histories* out, std::string* error);

}  // namespace vl5::terminal::market
