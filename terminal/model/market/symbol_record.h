// The 2993-byte symbol record: the symbol's fixed description plus its live
// state at the terminal clock (current quote, today's trading-day figures, tick
// values converted into the account currency).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "terminal/model/market/catalog.h"

namespace vl5::terminal::market {

struct SymbolState {
  bool selected = false;
  std::int64_t now_ms = 0;
};

std::vector<std::uint8_t> BuildSymbolRecord(const Market& market, std::size_t index, const SymbolState& state);

// Value in US dollars of one unit of `currency` at the terminal clock: 1 for
// USD, else from a USDxxx or xxxUSD symbol of the market, else 1.
double DollarsPerUnit(const Market& market, std::u16string_view currency, std::int64_t now_ms);

}  // namespace vl5::terminal::market
