// Trade requests. Each action is first checked into a plan, which
// order_check reports and order_send then carries out, so that both judge a
// request alike. A plan is carried out only when its retcode is 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terminal/model/trading/desk.h"
#include "terminal/model/trading/execution.h"
#include "terminal/model/trading/quote.h"
#include "terminal/model/trading/trade_request.h"

namespace vl5::terminal::trading {

struct Plan {
  std::uint32_t retcode = 0;  // 0: the request can be carried out
  std::size_t symbol = 0;
  bool quoted = false;  // the market's quote when checked (the result's bid and ask)
  Quote quote;
  double price = 0.0;          // the fill price, or the pending order's price
  double margin_change = 0.0;  // on the account's margin, once filled
  std::int64_t fill_ms = 0;    // a market deal fills at the last tick by then (at least the desk's moment)
};

Plan PlanRequest(const Desk& desk, const TradeRequest& request);

struct Outcome {
  std::uint32_t retcode = 0;  // DONE, PLACED for a new pending order, or the deal's own code
  Executed executed;
};
Outcome Execute(Desk& desk, const TradeRequest& request, const Plan& plan);

}  // namespace vl5::terminal::trading
