// Pending orders (placing, modifying, removing) and the stops of open
// positions.
#include "terminal/model/trading/action_steps.h"
#include "terminal/model/trading/ledger.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/validation.h"

namespace vl5::terminal::trading {

namespace {

// Only dated policies keep the requested expiration.
std::int64_t KeptExpiration(const TradeRequest& r) {
  const bool dated = r.type_time == wire::ORDER_TIME_SPECIFIED || r.type_time == wire::ORDER_TIME_SPECIFIED_DAY;
  return dated ? r.expiration : 0;
}

// Checks shared by placing and modifying an order of `type`.
std::uint32_t CheckOrderPrices(const Desk& desk, const Plan& plan, std::uint32_t type, const TradeRequest& r) {
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  const OrderType& row = OrderTypeOf(type);
  return FirstFailure({CheckOrderKind(spec, type, r.sl, r.tp),
                       CheckPendingPrice(spec, type, plan.quote, r.price, r.stoplimit),
                       CheckStops(spec, row.buy(), PlannedPrice(row, r.price, r.stoplimit), r.sl, r.tp),
                       CheckExpiration(spec, r.type_time, r.expiration, desk.now_ms)});
}

// The pending order `ticket`, with its symbol quoted into `plan`; null (with
// the plan's retcode set, INVALID_ORDER when there is none) on failure.
const Order* QuoteOrder(const Desk& desk, std::uint64_t ticket, const std::u16string& requested, Plan* plan) {
  const Order* order = desk.ledger.FindOrder(ticket);
  if (order == nullptr) {
    plan->retcode = wire::TRADE_RETCODE_INVALID_ORDER;
    return nullptr;
  }
  return QuoteOwnSymbol(desk, order->symbol, requested, plan) ? order : nullptr;
}

}  // namespace

Plan PlanPending(const Desk& desk, const TradeRequest& r) {
  Plan plan;
  if (!QuoteSymbol(desk, r.symbol, &plan)) return plan;
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  const OrderType& row = OrderTypeOf(r.type);
  if (!row.pending()) {
    plan.retcode = wire::TRADE_RETCODE_INVALID;
    return plan;
  }
  const bool full = desk.ledger.orders().size() >= kMaxPendingOrders;
  plan.retcode = FirstFailure({full ? wire::TRADE_RETCODE_LIMIT_ORDERS : 0, CheckVolume(spec, r.volume),
                               CheckFilling(spec, r.type_filling, true), CheckOpening(spec, row.buy()),
                               CheckOrderPrices(desk, plan, r.type, r)});
  if (plan.retcode != 0) return plan;
  plan.price = Normalize(spec, r.price);
  // Pending orders tie up no margin; the account must carry the order when filled, at its price.
  plan.margin_change = MarginFor(desk.market, plan.symbol, r.volume, PlannedPrice(row, r.price, r.stoplimit),
                                 desk.account.config().leverage, desk.now_ms);
  plan.retcode = CheckMoney(desk, plan.margin_change);
  return plan;
}

Executed ExecutePending(Desk& desk, const TradeRequest& r, const Plan& plan) {
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  Order order = NewOrder(desk, r, plan);
  order.type_time = r.type_time;
  order.expiration = KeptExpiration(r);
  order.volume_current = r.volume;
  order.price_stoplimit = OrderTypeOf(r.type).has_stoplimit() ? Normalize(spec, r.stoplimit) : 0.0;
  desk.ledger.orders().push_back(order);
  return Executed{order.ticket, 0, order.volume_initial, order.price_open};
}

Plan PlanModify(const Desk& desk, const TradeRequest& r) {
  Plan plan;
  const Order* order = QuoteOrder(desk, r.order, r.symbol, &plan);
  if (order == nullptr) return plan;
  plan.retcode = CheckOrderPrices(desk, plan, order->type, r);
  plan.price = Normalize(desk.market.spec(plan.symbol), r.price);
  return plan;
}

Executed ExecuteModify(Desk& desk, const TradeRequest& r, const Plan& plan) {
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  Order& order = *desk.ledger.FindOrder(r.order);
  order.price_open = plan.price;
  if (OrderTypeOf(order.type).has_stoplimit()) order.price_stoplimit = Normalize(spec, r.stoplimit);
  order.sl = Normalize(spec, r.sl);
  order.tp = Normalize(spec, r.tp);
  order.type_time = r.type_time;
  order.expiration = KeptExpiration(r);
  return Executed{order.ticket, 0, order.volume_current, order.price_open};
}

Plan PlanRemove(const Desk& desk, const TradeRequest& r) {
  Plan plan;
  if (const Order* order = QuoteOrder(desk, r.order, r.symbol, &plan)) plan.price = order->price_open;
  return plan;
}

Executed ExecuteRemove(Desk& desk, const TradeRequest& r, const Plan& plan) {
  const double volume = desk.ledger.FindOrder(r.order)->volume_current;
  FinishOrder(desk, r.order, wire::ORDER_STATE_CANCELED);
  return Executed{r.order, 0, volume, plan.price};
}

Plan PlanStops(const Desk& desk, const TradeRequest& r) {
  Plan plan;
  const Position* position = QuotePosition(desk, r.position, r.symbol, &plan);
  if (position == nullptr) return plan;
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  const bool buy = IsBuyPosition(*position);
  // Stops are judged against the price the position would close at now.
  plan.retcode = FirstFailure({CheckOrderKind(spec, MarketTypeOf(buy), r.sl, r.tp),
                               CheckStops(spec, buy, ClosePrice(buy, plan.quote), r.sl, r.tp)});
  return plan;
}

Executed ExecuteStops(Desk& desk, const TradeRequest& r, const Plan& plan) {
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  Position& position = *desk.ledger.FindPosition(r.position);
  position.sl = Normalize(spec, r.sl);
  position.tp = Normalize(spec, r.tp);
  position.update_msc = desk.now_ms;
  return Executed{};
}

}  // namespace vl5::terminal::trading
