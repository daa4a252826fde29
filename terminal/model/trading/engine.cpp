#include "terminal/model/trading/engine.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "terminal/model/trading/actions.h"
#include "terminal/model/trading/execution.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/order_types.h"
#include "terminal/model/trading/stop_out.h"
#include "terminal/model/trading/triggers.h"
#include "src/wire/status.h"

namespace vl5::terminal::trading {

namespace {

// What order_calc_margin and order_calc_profit accept as their action: a type with a side.
bool KnownOrderType(std::uint32_t type) { return OrderTypeOf(type).side != Side::kNone; }

// NaN and infinities in, or a figure too large for a double out, answer no figure.
bool AllFinite(std::initializer_list<double> values) {
  for (double value : values) {
    if (!std::isfinite(value)) return false;
  }
  return true;
}

}  // namespace

Engine::Engine(const market::Market& market, Account& account, Ledger& ledger, std::int64_t now_ms)
    : desk_{market, account, ledger, std::max(now_ms, ledger.evaluated_ms())} {}

void Engine::CatchUp() {
  trading::CatchUp(desk_);
  StopOut(desk_);  // revalues the account first
}

CheckResult Engine::Check(const TradeRequest& request) const {
  const Plan plan = PlanRequest(desk_, request);
  const Account& account = desk_.account;
  // A refused request changes nothing, except that a lack of money shows how much would be missing.
  const bool counted = plan.retcode == 0 || plan.retcode == wire::TRADE_RETCODE_NO_MONEY;
  CheckResult result;
  result.retcode = plan.retcode;
  result.balance = account.balance();
  result.equity = account.equity();
  result.profit = account.profit();
  result.margin = RoundMoney(account.margin() + (counted ? plan.margin_change : 0.0));
  result.margin_free = RoundMoney(result.equity - result.margin);
  result.margin_level = result.margin > 0.0 ? 100.0 * result.equity / result.margin : 0.0;
  return result;
}

SendResult Engine::Send(const TradeRequest& request, std::int64_t sent_ms, std::int64_t fill_ms) {
  Desk desk = desk_;
  desk.sent_ms = sent_ms;
  Plan plan = PlanRequest(desk, request);
  plan.fill_ms = fill_ms;
  const Outcome outcome = Execute(desk, request, plan);
  SendResult result;
  result.retcode = outcome.retcode;
  result.deal = outcome.executed.deal;
  result.order = outcome.executed.order;
  result.volume = outcome.executed.volume;
  result.price = outcome.executed.price;
  if (outcome.executed.quoted) {
    result.bid = outcome.executed.bid;
    result.ask = outcome.executed.ask;
  } else if (plan.quoted) {
    result.bid = plan.quote.bid;
    result.ask = plan.quote.ask;
  }
  Revalue(desk_);
  return result;
}

std::int32_t Engine::CalcMargin(std::uint32_t type, const std::u16string& symbol, double volume, double price,
                                double* margin) const {
  if (!KnownOrderType(type) || !AllFinite({volume, price})) return wire::kInvalidParams;
  const std::optional<std::size_t> index = desk_.market.Find(symbol);
  if (!index) return wire::kNotFound;
  const double value = MarginFor(desk_.market, *index, volume, price, desk_.account.config().leverage, desk_.now_ms);
  if (!AllFinite({value})) return wire::kInvalidParams;
  *margin = value;
  return wire::kSuccess;
}

std::int32_t Engine::CalcProfit(std::uint32_t type, const std::u16string& symbol, double volume, double open,
                                double close, double* profit) const {
  if (!KnownOrderType(type) || !AllFinite({volume, open, close})) return wire::kInvalidParams;
  const std::optional<std::size_t> index = desk_.market.Find(symbol);
  if (!index) return wire::kNotFound;
  const double value = ProfitFor(desk_.market, *index, OrderTypeOf(type).buy(), volume, open, close, desk_.now_ms);
  if (!AllFinite({value})) return wire::kInvalidParams;
  *profit = value;
  return wire::kSuccess;
}

}  // namespace vl5::terminal::trading
