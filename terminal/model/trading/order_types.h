// What each order type means, in one table: its side, whether it trades at
// once or waits in the book, which way the price it watches must move, the
// price its position opens at, and what it turns into when triggered.
// Validation, triggers, execution and the wire records read it; a new type
// is one row here (and its wire constant).
#pragma once

#include <cstdint>

#include "src/wire/market_codes.h"
#include "src/wire/trade_codes.h"

namespace vl5::terminal::trading {

enum class Side : std::uint8_t { kNone, kBuy, kSell };

// Market orders fill at once; pending ones wait for their price; a close-by
// is only the record of two positions closed against each other.
enum class Kind : std::uint8_t { kUnknown, kMarket, kPending, kCloseBy };

// Which way the quote a pending order watches (the ask to buy, the bid to
// sell) must move to reach its price.
enum class Reach : std::uint8_t { kNone, kFallsTo, kRisesTo };

// The price its position opens at: the market's (the ask to buy, the bid to
// sell, at the moment it fills); planned at the order's price or at its
// stoplimit (the limit it becomes); the opening price of the position closed by.
enum class OpensAt : std::uint8_t { kNone, kQuote, kPrice, kStoplimit, kPositionBy };

struct OrderType {
  std::uint32_t type;  // ORDER_TYPE_*
  Side side;
  Kind kind;
  Reach reach;
  OpensAt opens_at;
  std::uint32_t becomes;    // when triggered: a market type fills, a pending one takes its place at the stoplimit
  std::int32_t order_mode;  // the SYMBOL_ORDER_* bit of a symbol that allows it

  constexpr bool buy() const { return side == Side::kBuy; }
  constexpr bool market() const { return kind == Kind::kMarket; }
  constexpr bool pending() const { return kind == Kind::kPending; }
  constexpr bool has_stoplimit() const { return opens_at == OpensAt::kStoplimit; }
  // A stop waits for the market to move against its side and then takes
  // whatever follows, so its fill slips; a limit never fills worse than its price.
  constexpr bool chases() const { return pending() && (buy() ? reach == Reach::kRisesTo : reach == Reach::kFallsTo); }
};

inline constexpr OrderType kOrderTypes[] = {
    {wire::ORDER_TYPE_BUY, Side::kBuy, Kind::kMarket, Reach::kNone, OpensAt::kQuote, wire::ORDER_TYPE_BUY,
     wire::SYMBOL_ORDER_MARKET},
    {wire::ORDER_TYPE_SELL, Side::kSell, Kind::kMarket, Reach::kNone, OpensAt::kQuote, wire::ORDER_TYPE_SELL,
     wire::SYMBOL_ORDER_MARKET},
    {wire::ORDER_TYPE_BUY_LIMIT, Side::kBuy, Kind::kPending, Reach::kFallsTo, OpensAt::kPrice, wire::ORDER_TYPE_BUY,
     wire::SYMBOL_ORDER_LIMIT},
    {wire::ORDER_TYPE_SELL_LIMIT, Side::kSell, Kind::kPending, Reach::kRisesTo, OpensAt::kPrice, wire::ORDER_TYPE_SELL,
     wire::SYMBOL_ORDER_LIMIT},
    {wire::ORDER_TYPE_BUY_STOP, Side::kBuy, Kind::kPending, Reach::kRisesTo, OpensAt::kPrice, wire::ORDER_TYPE_BUY,
     wire::SYMBOL_ORDER_STOP},
    {wire::ORDER_TYPE_SELL_STOP, Side::kSell, Kind::kPending, Reach::kFallsTo, OpensAt::kPrice, wire::ORDER_TYPE_SELL,
     wire::SYMBOL_ORDER_STOP},
    {wire::ORDER_TYPE_BUY_STOP_LIMIT, Side::kBuy, Kind::kPending, Reach::kRisesTo, OpensAt::kStoplimit,
     wire::ORDER_TYPE_BUY_LIMIT, wire::SYMBOL_ORDER_STOP_LIMIT},
    {wire::ORDER_TYPE_SELL_STOP_LIMIT, Side::kSell, Kind::kPending, Reach::kFallsTo, OpensAt::kStoplimit,
     wire::ORDER_TYPE_SELL_LIMIT, wire::SYMBOL_ORDER_STOP_LIMIT},
    {wire::ORDER_TYPE_CLOSE_BY, Side::kNone, Kind::kCloseBy, Reach::kNone, OpensAt::kPositionBy,
     wire::ORDER_TYPE_CLOSE_BY, wire::SYMBOL_ORDER_CLOSEBY},
};

// What a number that names no order type gets: no side, neither market nor
// pending, allowed by no symbol.
inline constexpr std::uint32_t kNoOrderType = ~std::uint32_t{0};
inline constexpr OrderType kUnknownOrderType{
    kNoOrderType, Side::kNone, Kind::kUnknown, Reach::kNone, OpensAt::kNone, kNoOrderType, 0};

constexpr const OrderType& OrderTypeOf(std::uint32_t type) {
  for (const OrderType& row : kOrderTypes) {
    if (row.type == type) return row;
  }
  return kUnknownOrderType;
}

// The market type of a side: what closes a position of the other side.
constexpr std::uint32_t MarketTypeOf(bool buy) {
  for (const OrderType& row : kOrderTypes) {
    if (row.market() && row.buy() == buy) return row.type;
  }
  return kUnknownOrderType.type;
}

// The price at which a pending order would open its position: its own
// price, or the stoplimit of the limit it becomes.
constexpr double PlannedPrice(const OrderType& row, double price, double stoplimit) {
  return row.has_stoplimit() ? stoplimit : price;
}

}  // namespace vl5::terminal::trading
