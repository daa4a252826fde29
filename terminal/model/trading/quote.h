// The market price a trade meets: the last tick of a symbol at a moment, in
// whole points (for exact comparisons with order prices) and as prices.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terminal/model/market/catalog.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::trading {

struct Quote {
  std::int64_t time_msc = 0;
  std::int64_t bid_points = 0;
  std::int64_t ask_points = 0;
  double bid = 0.0;
  double ask = 0.0;
};

Quote QuoteOf(const market::SymbolSpec& spec, const market::Tick& tick);
// The quote at `now_ms`; false before the symbol's history starts.
bool QuoteAt(const market::Market& market, std::size_t symbol, std::int64_t now_ms, Quote* quote);

// Buying pays the ask, selling gets the bid.
inline double DealPrice(bool buy, const Quote& quote) { return buy ? quote.ask : quote.bid; }
// A position closes by the opposite deal: a buy at the bid, a sell at the ask.
inline double ClosePrice(bool buy_position, const Quote& quote) { return buy_position ? quote.bid : quote.ask; }
inline std::int64_t ClosePoints(bool buy_position, const Quote& quote) {
  return buy_position ? quote.bid_points : quote.ask_points;
}

// A price in whole points of the symbol, rounded to the nearest.
std::int64_t ToPoints(const market::SymbolSpec& spec, double price);
// A price rounded to the symbol's digits.
inline double Normalize(const market::SymbolSpec& spec, double price) { return spec.Price(ToPoints(spec, price)); }

}  // namespace vl5::terminal::trading
