// What happens between requests: the market moves on while nobody asks, and
// pending orders whose price it reaches fill, stop losses and take profits
// close their positions, and orders past their expiry lapse.
//
// This is evaluated lazily. At each request the ledger is brought from the
// moment of its last evaluation up to the request's clock by walking the
// ticks of every symbol with something to trigger; other symbols are not
// walked at all. Events are carried out in time order across symbols, since
// each one moves the balance and margin that the next fill is checked against.
// The walk costs a fraction of a microsecond per minute of market per symbol
// and comparisons of whole points per tick.
#pragma once

#include "terminal/model/trading/desk.h"

namespace vl5::terminal::trading {

// Carries out every event in (ledger.evaluated_ms(), desk.now_ms] and moves
// the evaluation mark to desk.now_ms.
//
// At a tick, a pending order fills at that tick's market price (ask to buy,
// bid to sell), which may be better than its own for a limit and worse for a
// stop; a stop-limit order turns into a limit order at its stoplimit price,
// keeping its ticket, and may fill at the same tick. A stop loss or take
// profit closes its position at the tick's closing price. A fill that the
// free margin cannot carry is rejected. An order that expires at a moment no
// longer fills at a tick of that moment.
void CatchUp(Desk& desk);

}  // namespace vl5::terminal::trading
