#include "terminal/model/trading/execution.h"

#include <algorithm>
#include <cmath>

#include "terminal/model/trading/costs.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/order_types.h"
#include "terminal/model/trading/quote.h"

namespace vl5::terminal::trading {

namespace {

// An order's reason passes to its deals unchanged.
static_assert(wire::ORDER_REASON_CLIENT == wire::DEAL_REASON_CLIENT &&
              wire::ORDER_REASON_EXPERT == wire::DEAL_REASON_EXPERT && wire::ORDER_REASON_SL == wire::DEAL_REASON_SL &&
              wire::ORDER_REASON_TP == wire::DEAL_REASON_TP && wire::ORDER_REASON_SO == wire::DEAL_REASON_SO);

std::uint32_t DealType(bool buy) { return buy ? wire::DEAL_TYPE_BUY : wire::DEAL_TYPE_SELL; }

Order FilledOrder(Desk& desk, std::size_t symbol, std::uint32_t type, double volume, double price) {
  Order order;
  order.ticket = desk.ledger.NextTicket();
  order.symbol = symbol;
  order.type = type;
  order.state = wire::ORDER_STATE_FILLED;
  order.setup_msc = order.done_msc = desk.now_ms;
  order.volume_initial = volume;
  order.price_open = order.price_done = price;
  return order;
}

// The deal that takes `volume` out of `position` at `price`, its profit settled.
Deal ClosingDeal(Desk& desk, const Position& position, const Order& order, std::uint32_t entry) {
  const bool buy = IsBuyPosition(position);
  Deal deal;
  deal.ticket = desk.ledger.NextTicket();
  deal.order = order.ticket;
  deal.time_msc = desk.now_ms;
  deal.type = DealType(!buy);
  deal.entry = entry;
  deal.reason = order.reason;
  deal.magic = order.magic;
  deal.position_id = position.ticket;
  deal.volume = order.volume_initial;
  deal.price = order.price_open;
  deal.profit = ProfitFor(desk.market, position.symbol, buy, deal.volume, position.price_open, deal.price, desk.now_ms);
  deal.commission =
      DealCommission(desk.market, desk.account.config(), position.symbol, deal.volume, deal.price, desk.now_ms);
  deal.swap = RoundMoney(position.swap * std::min(1.0, deal.volume / position.volume));
  deal.symbol = desk.market.spec(position.symbol).name;
  deal.comment = order.comment;
  desk.account.Settle(deal.profit + deal.swap + deal.commission);
  return deal;
}

// What is left of a position after `volume` of it closed; its margin shrinks in proportion.
void Shrink(Desk& desk, std::uint64_t ticket, double volume) {
  Position* position = desk.ledger.FindPosition(ticket);
  const double left = RoundVolume(position->volume - volume);
  if (left <= 0.0) {
    desk.ledger.RemovePosition(ticket);
    return;
  }
  position->margin = RoundMoney(position->margin * left / position->volume);
  position->swap = RoundMoney(position->swap * left / position->volume);
  position->volume = left;
  position->update_msc = desk.now_ms;
}

}  // namespace

void Revalue(Desk& desk) {
  const Valuation valuation = Value(desk.market, desk.ledger.positions(), desk.now_ms);
  desk.account.Revalue(valuation.profit, valuation.margin);
}

bool Affordable(const Desk& desk, double margin) { return desk.account.margin_free() - margin >= 0.0; }

Executed OpenPosition(Desk& desk, Order order, double price, double unfilled) {
  const bool buy = OrderTypeOf(order.type).buy();
  order.state = unfilled > 0.0 ? wire::ORDER_STATE_PARTIAL : wire::ORDER_STATE_FILLED;
  order.done_msc = desk.now_ms;
  order.price_done = price;
  order.position_id = order.ticket;
  order.volume_current = unfilled;
  const double filled = RoundVolume(order.volume_initial - unfilled);

  Deal deal;
  deal.ticket = desk.ledger.NextTicket();
  deal.order = order.ticket;
  deal.time_msc = desk.now_ms;
  deal.type = DealType(buy);
  deal.entry = wire::DEAL_ENTRY_IN;
  deal.reason = order.reason;
  deal.magic = order.magic;
  deal.position_id = order.ticket;
  deal.volume = filled;
  deal.price = price;
  deal.commission = DealCommission(desk.market, desk.account.config(), order.symbol, deal.volume, price, desk.now_ms);
  deal.symbol = desk.market.spec(order.symbol).name;
  deal.comment = order.comment;
  desk.account.Settle(deal.commission);

  Position position;
  position.ticket = order.ticket;
  position.symbol = order.symbol;
  position.type = buy ? wire::POSITION_TYPE_BUY : wire::POSITION_TYPE_SELL;
  position.time_msc = position.update_msc = desk.now_ms;
  position.magic = order.magic;
  position.volume = filled;
  position.price_open = price;
  position.sl = order.sl;
  position.tp = order.tp;
  position.margin =
      MarginFor(desk.market, order.symbol, position.volume, price, desk.account.config().leverage, desk.now_ms);
  position.comment = order.comment;

  const Executed executed{order.ticket, deal.ticket, deal.volume, price};
  desk.ledger.AddHistoryOrder(std::move(order));
  desk.ledger.AddDeal(std::move(deal));
  desk.ledger.positions().push_back(std::move(position));
  Revalue(desk);
  return executed;
}

Executed ClosePosition(Desk& desk, std::uint64_t ticket, double volume, double price, std::uint32_t reason,
                       std::uint64_t magic, const std::u16string& comment) {
  const Position& position = *desk.ledger.FindPosition(ticket);
  Order order = FilledOrder(desk, position.symbol, MarketTypeOf(!IsBuyPosition(position)), volume, price);
  order.reason = reason;
  order.magic = magic;
  order.position_id = ticket;
  order.comment = comment;
  Deal deal = ClosingDeal(desk, position, order, wire::DEAL_ENTRY_OUT);
  const Executed executed{order.ticket, deal.ticket, volume, price};
  desk.ledger.AddHistoryOrder(std::move(order));
  desk.ledger.AddDeal(std::move(deal));
  Shrink(desk, ticket, volume);
  Revalue(desk);
  return executed;
}

Executed CloseBy(Desk& desk, std::uint64_t ticket, std::uint64_t by_ticket, std::uint64_t magic,
                 const std::u16string& comment) {
  const Position& position = *desk.ledger.FindPosition(ticket);
  const Position& by = *desk.ledger.FindPosition(by_ticket);
  const double volume = std::min(position.volume, by.volume);
  Order order = FilledOrder(desk, position.symbol, wire::ORDER_TYPE_CLOSE_BY, volume, by.price_open);
  order.magic = magic;
  order.position_id = ticket;
  order.position_by_id = by_ticket;
  order.comment = comment;
  Deal first = ClosingDeal(desk, position, order, wire::DEAL_ENTRY_OUT_BY);
  Deal second = ClosingDeal(desk, by, order, wire::DEAL_ENTRY_OUT_BY);
  const Executed executed{order.ticket, first.ticket, volume, order.price_open};
  desk.ledger.AddHistoryOrder(std::move(order));
  desk.ledger.AddDeal(std::move(first));
  desk.ledger.AddDeal(std::move(second));
  Shrink(desk, ticket, volume);
  Shrink(desk, by_ticket, volume);
  Revalue(desk);
  return executed;
}

void FinishOrder(Desk& desk, std::uint64_t ticket, std::uint32_t state) {
  std::optional<Order> order = desk.ledger.TakeOrder(ticket);
  if (!order) return;
  Quote quote;
  const bool quoted = QuoteAt(desk.market, order->symbol, desk.now_ms, &quote);
  order->state = state;
  order->done_msc = desk.now_ms;
  order->price_done = quoted ? DealPrice(OrderTypeOf(order->type).buy(), quote) : 0.0;
  desk.ledger.AddHistoryOrder(std::move(*order));
}

}  // namespace vl5::terminal::trading
