// What one trading step works on: the market, the logged-in account with its
// ledger, and the moment the step happens at (the request's clock, or the
// tick that triggered an order).
#pragma once

#include <cstdint>

#include "terminal/model/account/account.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/trading/ledger.h"

namespace vl5::terminal::trading {

struct Desk {
  const market::Market& market;
  Account& account;
  Ledger& ledger;
  std::int64_t now_ms;
  // When the request being carried out was sent, if before now_ms (an
  // account's latency): the quote a market-execution price is checked against.
  std::int64_t sent_ms = 0;

  Desk At(std::int64_t ms) const { return Desk{market, account, ledger, ms, sent_ms}; }
};

}  // namespace vl5::terminal::trading
