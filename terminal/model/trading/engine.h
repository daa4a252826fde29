// The trading engine of one account at one moment: the face that the
// terminal's handlers use. Built per request under the terminal's lock,
// over the logged-in account and its ledger.
#pragma once

#include <cstdint>
#include <string>

#include "terminal/model/account/account.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/trading/desk.h"
#include "terminal/model/trading/ledger.h"
#include "terminal/model/trading/trade_request.h"
#include "terminal/model/trading/trade_wire.h"

namespace vl5::terminal::trading {

class Engine {
 public:
  // A moment before the ledger's last evaluation (another client's request
  // got in first) is taken as that evaluation's: the ledger never goes back.
  Engine(const market::Market& market, Account& account, Ledger& ledger, std::int64_t now_ms);

  // Carries out what the market triggered since the last request, then values
  // the account at this moment.
  void CatchUp();

  // order_check: the request judged, and the account as it would be after it.
  CheckResult Check(const TradeRequest& request) const;
  // order_send: the request carried out, or its return code; request_id is
  // the caller's. A request sent at `sent_ms` (0: now) with a market deal
  // filling at the last tick by `fill_ms` (0: now) went through a latency.
  SendResult Send(const TradeRequest& request, std::int64_t sent_ms = 0, std::int64_t fill_ms = 0);

  // order_calc_margin and order_calc_profit with an order type as the action:
  // wire statuses (success; -2 for an unknown type, a number that is not
  // finite or a figure too large; -4 for an unknown symbol).
  std::int32_t CalcMargin(std::uint32_t type, const std::u16string& symbol, double volume, double price,
                          double* margin) const;
  std::int32_t CalcProfit(std::uint32_t type, const std::u16string& symbol, double volume, double open, double close,
                          double* profit) const;

  const Desk& desk() const { return desk_; }
  const Account& account() const { return desk_.account; }

 private:
  Desk desk_;
};

}  // namespace vl5::terminal::trading
