// What a market deal gets from the market: the volume that fills and its
// price. A symbol that fills against the book walks the levels the depth of
// market shows at that tick, best first, and pays their volume-weighted
// price, rounded to a whole point against the trader; any other symbol fills
// the whole volume at the touch (the ask to buy, the bid to sell). The
// symbol's slippage then moves the price against the trader, drawn from the
// market's seed, the symbol and a sequence number (the ticket of the order
// or position), so the same seed and requests give the same fills.
#pragma once

#include <cstdint>

#include "terminal/model/market/catalog.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::trading {

// Whether market orders of the symbol walk its book: as it says, or by
// default when it is exchange-traded (an exchange calculation mode).
bool BookFills(const market::SymbolSpec& spec);

struct Fill {
  double volume = 0.0;     // filled; less than asked when the book is too thin
  std::int64_t price = 0;  // points, slippage included
  std::int64_t worst = 0;  // points: the last level taken (the touch when not from the book)
};

// A market deal of `volume` to buy or sell at `tick`.
Fill FillAt(const market::Market& market, std::size_t symbol, bool buy, double volume, const market::Tick& tick,
            std::uint64_t sequence);

// `points` (a stop that triggered at `tick`) moved by the symbol's slippage
// against a trader who buys or sells `volume`.
std::int64_t Slipped(const market::Market& market, std::size_t symbol, bool buy, double volume,
                     const market::Tick& tick, std::uint64_t sequence, std::int64_t points);

}  // namespace vl5::terminal::trading
