// When a pending order or a position's stop fires: which side of the quote
// (ask or bid) it watches, and the level in whole points that side must reach.
#pragma once

#include <climits>
#include <cstdint>

#include "terminal/model/market/price_path.h"
#include "terminal/model/market/symbol_spec.h"
#include "terminal/model/trading/trade_types.h"

namespace vl5::terminal::trading {

struct Trigger {
  bool on_ask = false;  // else on the bid
  bool rising = false;  // fires at or above the level, else at or below
  std::int64_t level = 0;
  bool Fires(const market::Tick& tick) const {
    const std::int64_t price = on_ask ? tick.ask : tick.bid;
    return rising ? price >= level : price <= level;
  }
};

// Buy limits wait for the ask to fall to their price, buy stops for it to
// rise; sell orders watch the bid the same way.
Trigger OrderTrigger(const market::SymbolSpec& spec, const Order& order);
// A buy position's stops watch the bid it would close at, a sell's the ask.
Trigger StopLossTrigger(const market::SymbolSpec& spec, const Position& position);
Trigger TakeProfitTrigger(const market::SymbolSpec& spec, const Position& position);

// The triggers of one symbol folded into four levels, so that each tick of
// a long walk costs four comparisons however many orders wait.
class Levels {
 public:
  void Add(const Trigger& trigger);
  bool empty() const { return empty_; }
  bool AnyFires(const market::Tick& tick) const {
    return tick.ask <= ask_falls_to_ || tick.ask >= ask_rises_to_ || tick.bid <= bid_falls_to_ ||
           tick.bid >= bid_rises_to_;
  }

 private:
  std::int64_t ask_falls_to_ = INT64_MIN;
  std::int64_t ask_rises_to_ = INT64_MAX;
  std::int64_t bid_falls_to_ = INT64_MIN;
  std::int64_t bid_rises_to_ = INT64_MAX;
  bool empty_ = true;
};

}  // namespace vl5::terminal::trading
