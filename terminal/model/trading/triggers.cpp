#include "terminal/model/trading/triggers.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "terminal/base/calendar.h"
#include "terminal/model/market/price_path.h"
#include "terminal/model/trading/costs.h"
#include "terminal/model/trading/execution.h"
#include "terminal/model/trading/fills.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/order_types.h"
#include "terminal/model/trading/quote.h"
#include "terminal/model/trading/stop_out.h"
#include "terminal/model/trading/trigger_levels.h"
#include "terminal/model/trading/validation.h"

namespace vl5::terminal::trading {

namespace {

constexpr std::int64_t kMinuteMs = 60000;
constexpr std::int64_t kNever = INT64_MAX;

struct Event {
  std::int64_t time_ms = kNever;
  bool at_tick = false;  // else the expiry of an order
  market::Tick tick;
};

// What can fire on one symbol, and the earliest expiry of its orders.
struct Watch {
  Levels levels;
  std::int64_t expiry_ms = kNever;
};

Watch WatchOf(const Desk& desk, std::size_t symbol, std::int64_t after_ms) {
  const market::SymbolSpec& spec = desk.market.spec(symbol);
  Watch watch;
  if (const std::optional<Trigger> stop_out = StopOutTrigger(desk.At(after_ms), symbol)) watch.levels.Add(*stop_out);
  for (const Order& order : desk.ledger.orders()) {
    if (order.symbol != symbol) continue;
    watch.levels.Add(OrderTrigger(spec, order));
    watch.expiry_ms = std::min(watch.expiry_ms, ExpiryMs(order.type_time, order.expiration, order.setup_msc));
  }
  for (const Position& position : desk.ledger.positions()) {
    if (position.symbol != symbol) continue;
    if (position.sl > 0.0) watch.levels.Add(StopLossTrigger(spec, position));
    if (position.tp > 0.0) watch.levels.Add(TakeProfitTrigger(spec, position));
  }
  return watch;
}

// The first event on `symbol` after `after_ms` and no later than `until_ms`.
Event NextEvent(const Desk& desk, std::size_t symbol, std::int64_t after_ms, std::int64_t until_ms) {
  const Watch watch = WatchOf(desk, symbol, after_ms);
  Event event;
  if (watch.expiry_ms <= until_ms) event.time_ms = std::max(watch.expiry_ms, after_ms);
  if (watch.levels.empty()) return event;
  // Ticks at or after the expiry no longer see the expiring order.
  const std::int64_t last_ms = std::min(until_ms, event.time_ms - 1);
  const market::PricePath& path = desk.market.path(symbol);
  const std::int64_t minute = std::max(market::FloorDiv(after_ms + 1, kMinuteMs), path.first_minute());
  const std::int64_t last_minute = market::FloorDiv(last_ms, kMinuteMs);
  if (minute > last_minute) return event;
  market::TickWalker walker(path, minute);
  while (const market::MinuteTicks* ticks = walker.NextWithTicks(last_minute)) {
    for (int j = 0; j < ticks->count; ++j) {
      const market::Tick& tick = ticks->ticks[j];
      if (tick.time_msc <= after_ms) continue;
      if (tick.time_msc > last_ms) return event;
      // A tick of a closed market (loaded data outside the hours) fills nothing.
      if (!desk.market.IsOpen(symbol, market::FloorDiv(tick.time_msc, kMinuteMs))) continue;
      if (watch.levels.AnyFires(tick)) return Event{tick.time_msc, true, tick};
    }
  }
  return event;
}

template <typename T>
std::vector<std::uint64_t> TicketsOf(const std::vector<T>& records, std::size_t symbol) {
  std::vector<std::uint64_t> tickets;
  for (const T& record : records) {
    if (record.symbol == symbol) tickets.push_back(record.ticket);
  }
  return tickets;
}

void ApplyExpiries(Desk& at, std::size_t symbol) {
  for (std::uint64_t ticket : TicketsOf(at.ledger.orders(), symbol)) {
    const Order& order = *at.ledger.FindOrder(ticket);
    if (ExpiryMs(order.type_time, order.expiration, order.setup_msc) <= at.now_ms) {
      FinishOrder(at, ticket, wire::ORDER_STATE_EXPIRED);
    }
  }
}

// Positions opened at this very tick wait for the next one.
void ApplyStops(Desk& at, std::size_t symbol, const market::Tick& tick, const Quote& quote) {
  const market::SymbolSpec& spec = at.market.spec(symbol);
  for (std::uint64_t ticket : TicketsOf(at.ledger.positions(), symbol)) {
    const Position& p = *at.ledger.FindPosition(ticket);
    if (p.time_msc >= tick.time_msc) continue;
    const double price = ClosePrice(IsBuyPosition(p), quote);
    if (p.sl > 0.0 && StopLossTrigger(spec, p).Fires(tick)) {
      // A stop loss slips against the position; a take profit gets the quote.
      const bool buy = !IsBuyPosition(p);
      const std::int64_t slipped =
          Slipped(at.market, symbol, buy, p.volume, tick, ticket, buy ? quote.ask_points : quote.bid_points);
      ClosePosition(at, ticket, p.volume, spec.Price(slipped), wire::ORDER_REASON_SL, p.magic, u"stop loss");
    } else if (p.tp > 0.0 && TakeProfitTrigger(spec, p).Fires(tick)) {
      ClosePosition(at, ticket, p.volume, price, wire::ORDER_REASON_TP, p.magic, u"take profit");
    }
  }
}

void Fill(Desk& at, std::uint64_t ticket, const market::Tick& tick, const Quote& quote) {
  const Order& order = *at.ledger.FindOrder(ticket);
  const OrderType& row = OrderTypeOf(order.type);
  double price = DealPrice(row.buy(), quote);
  if (row.chases()) {
    const market::SymbolSpec& spec = at.market.spec(order.symbol);
    price = spec.Price(
        Slipped(at.market, order.symbol, row.buy(), order.volume_current, tick, ticket, ToPoints(spec, price)));
  }
  Revalue(at);
  const double margin =
      MarginFor(at.market, order.symbol, order.volume_current, price, at.account.config().leverage, at.now_ms);
  if (!Affordable(at, margin)) {
    FinishOrder(at, ticket, wire::ORDER_STATE_REJECTED);
    return;
  }
  OpenPosition(at, *at.ledger.TakeOrder(ticket), price);
}

// Orders oldest first. One that becomes a market order fills; one that
// becomes another pending order takes its place at its stoplimit price, and
// looks at the same tick again.
void ApplyOrders(Desk& at, std::size_t symbol, const market::Tick& tick, const Quote& quote) {
  const market::SymbolSpec& spec = at.market.spec(symbol);
  for (bool again = true; again;) {
    again = false;
    for (std::uint64_t ticket : TicketsOf(at.ledger.orders(), symbol)) {
      Order* order = at.ledger.FindOrder(ticket);
      if (order == nullptr || !OrderTrigger(spec, *order).Fires(tick)) continue;
      const std::uint32_t becomes = OrderTypeOf(order->type).becomes;
      if (OrderTypeOf(becomes).market()) {
        Fill(at, ticket, tick, quote);
        continue;
      }
      order->type = becomes;
      order->price_open = order->price_stoplimit;
      order->price_stoplimit = 0.0;
      again = true;
    }
  }
}

// The positions in the symbols whose rollover is now.
void ChargeSwaps(Desk& at, const std::vector<std::int64_t>& rollovers) {
  for (Position& position : at.ledger.positions()) {
    if (rollovers[position.symbol] == at.now_ms && position.time_msc < at.now_ms)
      position.swap = RoundMoney(position.swap + RolloverSwap(at.market, position, at.now_ms));
  }
}

// A symbol's next event is looked for only up to its next rollover: at any
// rollover the account changes and every symbol looks again, so a look to
// the end of a long step would walk the same ticks once for every day it
// spans.
struct Watched {
  std::size_t symbol;
  std::int64_t done_ms;    // events up to here are carried out
  std::int64_t looked_ms;  // `next` is the first event up to here, or none
  Event next;
  // When this symbol needs attention: its event, or the end of its look.
  std::int64_t due_ms(std::int64_t now_ms) const {
    return next.time_ms != kNever ? next.time_ms : looked_ms < now_ms ? looked_ms : kNever;
  }
};

}  // namespace

void CatchUp(Desk& desk) {
  Ledger& ledger = desk.ledger;
  const std::int64_t from = ledger.evaluated_ms();
  if (desk.now_ms <= from) return;
  auto look = [&](Watched& w) {
    w.looked_ms = std::min(desk.now_ms, NextRollover(desk.market.spec(w.symbol), w.done_ms));
    w.next = NextEvent(desk, w.symbol, w.done_ms, w.looked_ms);
  };
  std::vector<Watched> watched;
  for (std::size_t symbol = 0; symbol < desk.market.size(); ++symbol) {
    watched.push_back(Watched{symbol, from, from, Event{}});
    look(watched.back());
  }
  // The stop-out levels of every symbol depend on the whole account: when it
  // changed at `ms`, the other symbols look again from that moment.
  auto refresh = [&](const Watched* except, std::int64_t ms) {
    if (ledger.positions().empty()) return;
    for (Watched& other : watched) {
      if (&other == except) continue;
      other.done_ms = std::max(other.done_ms, ms - 1);
      look(other);
    }
  };
  // Each symbol has its own rollover; only those of symbols with positions
  // matter. Everything up to `passed` is carried out.
  std::vector<std::int64_t> rollovers(desk.market.size(), INT64_MIN);
  std::int64_t passed = from;
  auto next_rollover = [&] {
    std::int64_t first = kNever;
    for (const Position& position : ledger.positions()) {
      std::int64_t& next = rollovers[position.symbol];
      if (next <= passed) next = NextRollover(desk.market.spec(position.symbol), passed);
      first = std::min(first, next);
    }
    return first;
  };
  const std::int64_t now_ms = desk.now_ms;
  for (;;) {
    const std::int64_t rollover = next_rollover();
    auto w = std::min_element(watched.begin(), watched.end(), [now_ms](const Watched& a, const Watched& b) {
      return a.due_ms(now_ms) < b.due_ms(now_ms);
    });
    const std::int64_t event_ms = w == watched.end() ? kNever : w->due_ms(now_ms);
    // A rollover before an event at the same moment: a position opened at midnight pays no swap yet.
    if (rollover <= desk.now_ms && rollover <= event_ms) {
      Desk at = desk.At(rollover);
      ChargeSwaps(at, rollovers);
      StopOut(at);
      refresh(nullptr, rollover + 1);
      passed = rollover;
      continue;
    }
    if (event_ms == kNever) break;
    if (w->next.time_ms == kNever) {  // nothing up to the end of its look: look on from there
      w->done_ms = w->looked_ms;
      look(*w);
      continue;
    }
    const std::size_t deals = ledger.deals().size(), orders = ledger.orders().size();
    passed = std::max(passed, w->next.time_ms);  // a rollover of a symbol that had no position stays undone
    Desk at = desk.At(w->next.time_ms);
    if (w->next.at_tick) {
      const Quote quote = QuoteOf(desk.market.spec(w->symbol), w->next.tick);
      ApplyStops(at, w->symbol, w->next.tick, quote);
      ApplyOrders(at, w->symbol, w->next.tick, quote);
      StopOut(at);
      w->done_ms = w->next.time_ms;
    } else {
      ApplyExpiries(at, w->symbol);
      w->done_ms = std::max(w->done_ms, w->next.time_ms - 1);  // ticks of that moment are still to come
    }
    look(*w);
    if (ledger.deals().size() != deals || ledger.orders().size() != orders) refresh(&*w, w->done_ms);
  }
  ledger.set_evaluated_ms(desk.now_ms);
}

}  // namespace vl5::terminal::trading
