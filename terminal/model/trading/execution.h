// The bookkeeping of executed trades. Every fill leaves a finished order, a
// deal and a changed position that agree on tickets, times, volumes and
// position ids; closing deals settle their profit into the balance, and the
// account is revalued after each step so that margin checks see the moment.
#pragma once

#include <cstdint>

#include "terminal/model/trading/desk.h"
#include "terminal/model/trading/trade_types.h"

namespace vl5::terminal::trading {

struct Executed {
  std::uint64_t order = 0;
  std::uint64_t deal = 0;
  double volume = 0.0;
  double price = 0.0;
  // A market deal may end otherwise than in the action's success code:
  // DONE_PARTIAL, or refused (REQUOTE, REJECT) with nothing changed.
  std::uint32_t retcode = 0;  // 0: the action's success code
  bool quoted = false;        // bid and ask: the market the deal met
  double bid = 0.0;
  double ask = 0.0;
};

// Floating profit and margin of the open positions at desk.now_ms.
void Revalue(Desk& desk);
// Whether the free margin covers `margin` more.
bool Affordable(const Desk& desk, double margin);

// Fills `order` (a market order just made, or a pending order taken out of
// the book) at `price`: it goes to the history as filled, a deal in is booked
// and a new position carries the order's ticket as its identifier. With
// `unfilled` volume left (cancelled, or resting in a new order) the order
// goes to the history as partly filled and the deal takes the rest.
Executed OpenPosition(Desk& desk, Order order, double price, double unfilled = 0.0);

// Closes `volume` of an open position at `price` with a new market order of
// the opposite side; `reason` says why (a request, its stop loss or take
// profit). The position shrinks or, when nothing is left, goes.
Executed ClosePosition(Desk& desk, std::uint64_t position, double volume, double price, std::uint32_t reason,
                       std::uint64_t magic, const std::u16string& comment);

// Closes `position` against the opposite `position_by` for the smaller of
// their volumes. Both deals trade at position_by's opening price, so the
// first carries the pair's whole profit and the second none.
Executed CloseBy(Desk& desk, std::uint64_t position, std::uint64_t position_by, std::uint64_t magic,
                 const std::u16string& comment);

// Takes a pending order out of the book into the history as cancelled,
// expired or rejected, at the market price of the moment.
void FinishOrder(Desk& desk, std::uint64_t ticket, std::uint32_t state);

}  // namespace vl5::terminal::trading
