#include "terminal/model/trading/trigger_levels.h"

#include <algorithm>

#include "terminal/model/trading/order_types.h"
#include "terminal/model/trading/quote.h"

namespace vl5::terminal::trading {

Trigger OrderTrigger(const market::SymbolSpec& spec, const Order& order) {
  const OrderType& row = OrderTypeOf(order.type);
  return Trigger{row.buy(), row.reach == Reach::kRisesTo, ToPoints(spec, order.price_open)};
}

Trigger StopLossTrigger(const market::SymbolSpec& spec, const Position& position) {
  const bool buy = IsBuyPosition(position);
  return Trigger{!buy, !buy, ToPoints(spec, position.sl)};
}

Trigger TakeProfitTrigger(const market::SymbolSpec& spec, const Position& position) {
  const bool buy = IsBuyPosition(position);
  return Trigger{!buy, buy, ToPoints(spec, position.tp)};
}

void Levels::Add(const Trigger& t) {
  empty_ = false;
  if (t.on_ask && t.rising) ask_rises_to_ = std::min(ask_rises_to_, t.level);
  if (t.on_ask && !t.rising) ask_falls_to_ = std::max(ask_falls_to_, t.level);
  if (!t.on_ask && t.rising) bid_rises_to_ = std::min(bid_rises_to_, t.level);
  if (!t.on_ask && !t.rising) bid_falls_to_ = std::max(bid_falls_to_, t.level);
}

}  // namespace vl5::terminal::trading
