// Market deals: opening a position, closing (part of) one, and closing one
// by an opposite one.
#include <algorithm>
#include <cmath>

#include "terminal/model/market/ticks.h"
#include "terminal/model/trading/action_steps.h"
#include "terminal/model/trading/fills.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/validation.h"

namespace vl5::terminal::trading {

namespace {

// Instant and request execution promise the requested price: a fill beyond
// `deviation` of it is answered with a requote, also after the latency and
// slippage. Market and exchange execution refuse a request whose price the
// market had left when it was sent, and then take whatever price it fills at.
bool Requotes(const market::SymbolSpec& spec) {
  return spec.execution_mode == wire::SYMBOL_TRADE_EXECUTION_INSTANT ||
         spec.execution_mode == wire::SYMBOL_TRADE_EXECUTION_REQUEST;
}

// Whether `price` lies beyond the request's deviation from its price (0: any).
bool Deviates(const market::SymbolSpec& spec, const TradeRequest& request, double price) {
  if (request.price == 0.0) return false;
  const std::int64_t moved = std::llabs(ToPoints(spec, price) - ToPoints(spec, request.price));
  return static_cast<std::uint64_t>(moved) > request.deviation;
}

// The deviation check when planned; `buy` is the deal's side.
std::uint32_t CheckDeviation(const Desk& desk, const Plan& plan, const TradeRequest& request, bool buy) {
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  if (Requotes(spec)) return Deviates(spec, request, plan.price) ? wire::TRADE_RETCODE_REQUOTE : 0;
  Quote sent = plan.quote;
  if (desk.sent_ms > 0 && desk.sent_ms < desk.now_ms) QuoteAt(desk.market, plan.symbol, desk.sent_ms, &sent);
  return Deviates(spec, request, DealPrice(buy, sent)) ? wire::TRADE_RETCODE_PRICE_CHANGED : 0;
}

// What rests of a RETURN order the book could not fill: a limit order for
// the rest at the last level taken, which fills when the market comes back
// to that price (never at a worse one).
void RestRemainder(Desk& desk, const TradeRequest& r, const Plan& plan, double volume, double price) {
  Order order = NewOrder(desk, r, plan);
  order.type = OrderTypeOf(r.type).buy() ? wire::ORDER_TYPE_BUY_LIMIT : wire::ORDER_TYPE_SELL_LIMIT;
  order.type_time = wire::ORDER_TIME_GTC;
  order.volume_initial = order.volume_current = volume;
  order.price_open = price;
  desk.ledger.orders().push_back(std::move(order));
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
  // A rest left in the book counts against the pending orders' limit.
  const bool may_rest = r.type_filling == wire::ORDER_FILLING_RETURN && BookFills(spec);
  const bool full = may_rest && desk.ledger.orders().size() >= kMaxPendingOrders;
  plan.retcode = FirstFailure({full ? wire::TRADE_RETCODE_LIMIT_ORDERS : 0, CheckOrderKind(spec, r.type, r.sl, r.tp),
                               CheckVolume(spec, r.volume), CheckFilling(spec, r.type_filling, BookFills(spec)),
                               CheckOpening(spec, buy), CheckDeviation(desk, plan, r, buy),
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
                    CheckFilling(spec, r.type_filling, false), CheckDeviation(desk, plan, r, !buy_position)});
  plan.margin_change = -RoundMoney(position->margin * std::min(1.0, r.volume / position->volume));
  return plan;
}

}  // namespace

Plan PlanDeal(const Desk& desk, const TradeRequest& request) {
  return request.position != 0 ? PlanClose(desk, request) : PlanOpen(desk, request);
}

Executed ExecuteDeal(Desk& desk, const TradeRequest& r, const Plan& plan) {
  const market::SymbolSpec& spec = desk.market.spec(plan.symbol);
  // After a latency the deal meets the market of a later tick.
  Desk at = desk.At(std::max(plan.fill_ms, desk.now_ms));
  market::Tick tick;
  if (!market::LastTick(desk.market.path(plan.symbol), at.now_ms, &tick)) {
    Executed none;
    none.retcode = wire::TRADE_RETCODE_MARKET_CLOSED;  // no quote: planned requests have one, so never
    return none;
  }
  const Quote quote = QuoteOf(spec, tick);
  const bool buy = OrderTypeOf(r.type).buy();
  const Fill fill = FillAt(desk.market, plan.symbol, buy, r.volume, tick, desk.ledger.PeekTicket());
  const double unfilled = RoundVolume(r.volume - fill.volume);
  const double price = spec.Price(fill.price);
  Executed executed;
  if (Requotes(spec) && Deviates(spec, r, price)) {
    executed.retcode = wire::TRADE_RETCODE_REQUOTE;
  } else if (unfilled > 0.0 && (r.type_filling == wire::ORDER_FILLING_FOK || fill.volume <= 0.0)) {
    executed.retcode = wire::TRADE_RETCODE_REJECT;  // all or nothing: nothing
  } else if (r.position != 0) {
    executed = ClosePosition(at, r.position, fill.volume, price, wire::ORDER_REASON_EXPERT, r.magic, r.comment);
  } else {
    executed = OpenPosition(at, NewOrder(at, r, plan), price, unfilled);
    if (unfilled > 0.0 && r.type_filling == wire::ORDER_FILLING_RETURN) {
      RestRemainder(at, r, plan, unfilled, spec.Price(fill.worst));
    }
  }
  if (executed.retcode == 0 && unfilled > 0.0) executed.retcode = wire::TRADE_RETCODE_DONE_PARTIAL;
  executed.quoted = true;
  executed.bid = quote.bid;
  executed.ask = quote.ask;
  return executed;
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
