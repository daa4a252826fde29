#include "terminal/model/trading/quote.h"

#include <cmath>

#include "terminal/model/market/ticks.h"

namespace vl5::terminal::trading {

Quote QuoteOf(const market::SymbolSpec& spec, const market::Tick& tick) {
  Quote quote;
  quote.time_msc = tick.time_msc;
  quote.bid_points = tick.bid;
  quote.ask_points = tick.ask;
  quote.bid = spec.Price(tick.bid);
  quote.ask = spec.Price(tick.ask);
  return quote;
}

bool QuoteAt(const market::Market& market, std::size_t symbol, std::int64_t now_ms, Quote* quote) {
  market::Tick tick;
  if (!market::LastTick(market.path(symbol), now_ms, &tick)) return false;
  *quote = QuoteOf(market.spec(symbol), tick);
  return true;
}

std::int64_t ToPoints(const market::SymbolSpec& spec, double price) {
  // Requests carry any double; beyond this every comparison is decided anyway.
  constexpr double kLimit = 1e15;
  const double points = price * spec.Scale();
  if (!(points > -kLimit)) return static_cast<std::int64_t>(-kLimit);
  if (points > kLimit) return static_cast<std::int64_t>(kLimit);
  return std::llround(points);
}

}  // namespace vl5::terminal::trading
