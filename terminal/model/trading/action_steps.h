// The planning and carrying out of each trade action, and the steps they
// share. Internal to the actions; actions.cpp routes requests to them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "terminal/model/trading/actions.h"

namespace vl5::terminal::trading {

// The first non-zero return code of a list of checks, or 0.
inline std::uint32_t FirstFailure(std::initializer_list<std::uint32_t> retcodes) {
  for (std::uint32_t retcode : retcodes) {
    if (retcode != 0) return retcode;
  }
  return 0;
}

// Finds the named symbol and its quote into `plan`; false (with the plan's
// retcode set) for an unknown symbol or one without a quote yet.
bool QuoteSymbol(const Desk& desk, const std::u16string& name, Plan* plan);
// The same for the symbol of an existing position or order; a request that
// names another symbol is invalid.
bool QuoteOwnSymbol(const Desk& desk, std::size_t symbol, const std::u16string& requested, Plan* plan);
// The open position `ticket`, with its symbol quoted into `plan`; null (with
// the plan's retcode set, POSITION_CLOSED when it is gone) on failure.
const Position* QuotePosition(const Desk& desk, std::uint64_t ticket, const std::u16string& requested, Plan* plan);
// A new order from the fields a market and a pending request share, priced
// at the plan's price.
Order NewOrder(Desk& desk, const TradeRequest& request, const Plan& plan);
// NO_MONEY unless the free margin covers `margin` more.
std::uint32_t CheckMoney(const Desk& desk, double margin);

Plan PlanDeal(const Desk& desk, const TradeRequest& request);
Executed ExecuteDeal(Desk& desk, const TradeRequest& request, const Plan& plan);
Plan PlanCloseBy(const Desk& desk, const TradeRequest& request);
Executed ExecuteCloseBy(Desk& desk, const TradeRequest& request, const Plan& plan);

Plan PlanPending(const Desk& desk, const TradeRequest& request);
Executed ExecutePending(Desk& desk, const TradeRequest& request, const Plan& plan);
Plan PlanModify(const Desk& desk, const TradeRequest& request);
Executed ExecuteModify(Desk& desk, const TradeRequest& request, const Plan& plan);
Plan PlanRemove(const Desk& desk, const TradeRequest& request);
Executed ExecuteRemove(Desk& desk, const TradeRequest& request, const Plan& plan);
Plan PlanStops(const Desk& desk, const TradeRequest& request);
Executed ExecuteStops(Desk& desk, const TradeRequest& request, const Plan& plan);

}  // namespace vl5::terminal::trading
