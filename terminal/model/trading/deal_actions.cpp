// Market deals: opening a position, closing (part of) one, and closing one
// by an opposite one.
#include <algorithm>
#include <cmath>

#include "terminal/model/trading/action_steps.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/validation.h"

namespace vl5::terminal::trading {

namespace {

// A requested price (0: any) that the market has moved away from by more
// than `deviation` points.
std::uint32_t CheckDeviation(const market::SymbolSpec& spec, const TradeRequest& request, double fill) {
  if (request.price == 0.0) return 0;
  const std::int64_t moved = std::llabs(ToPoints(spec, fill) - ToPoints(spec, request.price));
  return static_cast<std::uint64_t>(moved) > request.deviation ? wire::TRADE_RETCODE_PRICE_CHANGED : 0;
}

Plan PlanOpen(const Desk& desk, const TradeRequest& r) {
  Plan plan;
  if (!QuoteSymbol(desk, r.symbol, &plan)) return plan;
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  const OrderType& row = OrderTypeOf(r.type);
  if (!row.market()) {
    plan.retcode = wire::TRADE_RETCODE_INVALID;
    return plan;
  }
  const bool buy = row.buy();
  plan.price = DealPrice(buy, plan.quote);
  plan.retcode = FirstFailure({CheckOrderKind(spec, r.type, r.sl, r.tp), CheckVolume(spec, r.volume),
                               CheckFilling(spec, r.type_filling, false), CheckOpening(spec, buy),
                               CheckDeviation(spec, r, plan.price),
                               CheckStops(spec, buy, ClosePrice(buy, plan.quote), r.sl, r.tp)});
  if (plan.retcode != 0) return plan;
  plan.margin_change =
      MarginFor(desk.market, plan.symbol, r.volume, plan.price, desk.account.config().leverage, desk.now_ms);
  plan.retcode = CheckMoney(desk, plan.margin_change);
  return plan;
}

Plan PlanClose(const Desk& desk, const TradeRequest& r) {
  Plan plan;
  const Position* position = QuotePosition(desk, r.position, r.symbol, &plan);
  if (position == nullptr) return plan;
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  const bool buy_position = IsBuyPosition(*position);
  const OrderType& row = OrderTypeOf(r.type);
  if (!row.market() || row.buy() == buy_position) {
    plan.retcode = wire::TRADE_RETCODE_INVALID;  // a position closes by the opposite side only
    return plan;
  }
  plan.price = ClosePrice(buy_position, plan.quote);
  const bool too_much = r.volume > position->volume + 1e-8;
  plan.retcode =
      FirstFailure({CheckClosing(spec), too_much ? wire::TRADE_RETCODE_INVALID_VOLUME : 0, CheckVolume(spec, r.volume),
                    CheckFilling(spec, r.type_filling, false), CheckDeviation(spec, r, plan.price)});
  plan.margin_change = -RoundMoney(position->margin * std::min(1.0, r.volume / position->volume));
  return plan;
}

}  // namespace

Plan PlanDeal(const Desk& desk, const TradeRequest& request) {
  return request.position != 0 ? PlanClose(desk, request) : PlanOpen(desk, request);
}

Executed ExecuteDeal(Desk& desk, const TradeRequest& r, const Plan& plan) {
  if (r.position != 0) {
    return ClosePosition(desk, r.position, r.volume, plan.price, wire::ORDER_REASON_EXPERT, r.magic, r.comment);
  }
  return OpenPosition(desk, NewOrder(desk, r, plan), plan.price);
}

Plan PlanCloseBy(const Desk& desk, const TradeRequest& r) {
  Plan plan;
  const Position* position = desk.ledger.FindPosition(r.position);
  const Position* by = desk.ledger.FindPosition(r.position_by);
  if (position == nullptr || by == nullptr) {
    plan.retcode = wire::TRADE_RETCODE_POSITION_CLOSED;
    return plan;
  }
  if (!QuoteOwnSymbol(desk, position->symbol, r.symbol, &plan)) return plan;
  if (by->symbol != position->symbol || by->type == position->type) {
    plan.retcode = wire::TRADE_RETCODE_INVALID;  // also a position closed by itself
    return plan;
  }
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  plan.retcode = FirstFailure({CheckOrderKind(spec, wire::ORDER_TYPE_CLOSE_BY, 0.0, 0.0), CheckClosing(spec)});
  const double volume = std::min(position->volume, by->volume);
  plan.price = by->price_open;
  plan.margin_change = -RoundMoney(position->margin * volume / position->volume + by->margin * volume / by->volume);
  return plan;
}

Executed ExecuteCloseBy(Desk& desk, const TradeRequest& r, const Plan&) {
  return CloseBy(desk, r.position, r.position_by, r.magic, r.comment);
}

}  // namespace vl5::terminal::trading
