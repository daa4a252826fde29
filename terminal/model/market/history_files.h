// Where loaded histories lie and how they are read. The history folder holds
// one folder per symbol, named as the symbol:
//
//   <history folder>/EURUSD/M1.csv      minute bars (required)
//   <history folder>/EURUSD/ticks.csv   ticks (optional)
//
// in the format of history_csv.h. Both folders and files must be this
// user's own and writable by nobody else; links are not followed. Every
// named symbol is read whole before the terminal starts, so a problem stops
// the start, naming the file and line, instead of leaving half a history.
#pragma once

#include <string>
#include <vector>

#include "terminal/model/market/history.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

inline constexpr char16_t kHistoryBarsFile[] = u"M1.csv";
inline constexpr char16_t kHistoryTicksFile[] = u"ticks.csv";

// Loads the histories of `symbols` (names of `specs`) from `folder`; false
// with a message at the first problem, and then `out` is left empty.
bool LoadHistories(const std::vector<SymbolSpec>& specs, const std::vector<std::u16string>& symbols,
                   const std::u16string& folder, Histories* out, std::string* error);

}  // namespace vl5::terminal::market
