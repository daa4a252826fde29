// The order-type table: one row for every order type of the wire, and rows
// that agree with each other (sides mirror, pending orders end as market
// orders of their own side).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "terminal/model/trading/order_types.h"
#include "src/wire/trade_codes.h"

namespace vl5::terminal::trading {
namespace {

constexpr std::uint32_t kWireTypes[] = {
    wire::ORDER_TYPE_BUY,
    wire::ORDER_TYPE_SELL,
    wire::ORDER_TYPE_BUY_LIMIT,
    wire::ORDER_TYPE_SELL_LIMIT,
    wire::ORDER_TYPE_BUY_STOP,
    wire::ORDER_TYPE_SELL_STOP,
    wire::ORDER_TYPE_BUY_STOP_LIMIT,
    wire::ORDER_TYPE_SELL_STOP_LIMIT,
    wire::ORDER_TYPE_CLOSE_BY,
};

Side Opposite(Side side) { return side == Side::kBuy ? Side::kSell : side == Side::kSell ? Side::kBuy : Side::kNone; }

Reach Opposite(Reach reach) {
  return reach == Reach::kFallsTo ? Reach::kRisesTo : reach == Reach::kRisesTo ? Reach::kFallsTo : Reach::kNone;
}

TEST(OrderTypesTest, EveryWireOrderTypeHasExactlyOneRow) {
  EXPECT_EQ(std::size(kOrderTypes), std::size(kWireTypes));
  for (std::uint32_t type : kWireTypes) {
    int rows = 0;
    for (const OrderType& row : kOrderTypes) rows += row.type == type;
    EXPECT_EQ(rows, 1) << "order type " << type;
    EXPECT_EQ(OrderTypeOf(type).type, type);
    EXPECT_NE(OrderTypeOf(type).kind, Kind::kUnknown);
    EXPECT_NE(OrderTypeOf(type).order_mode, 0) << "no symbol could allow order type " << type;
  }
  EXPECT_EQ(OrderTypeOf(99).kind, Kind::kUnknown);
  EXPECT_EQ(OrderTypeOf(99).side, Side::kNone);
}

TEST(OrderTypesTest, RowsAgreeWithEachOther) {
  for (const OrderType& row : kOrderTypes) {
    SCOPED_TRACE(row.type);
    const OrderType& next = OrderTypeOf(row.becomes);
    ASSERT_NE(next.kind, Kind::kUnknown);
    // Buying and selling have one market type each, and every type a mirror of the other side.
    if (row.market()) {
      EXPECT_EQ(MarketTypeOf(row.buy()), row.type);
    }
    int mirrors = 0;
    for (const OrderType& other : kOrderTypes) {
      mirrors += other.side == Opposite(row.side) && other.kind == row.kind && other.reach == Opposite(row.reach) &&
                 other.opens_at == row.opens_at && other.order_mode == row.order_mode &&
                 OrderTypeOf(other.becomes).side == Opposite(next.side);
    }
    EXPECT_EQ(mirrors, 1);
    switch (row.kind) {
      case Kind::kMarket:
        EXPECT_EQ(row.becomes, row.type);
        EXPECT_EQ(row.reach, Reach::kNone);
        EXPECT_EQ(row.opens_at, OpensAt::kQuote);
        EXPECT_NE(row.side, Side::kNone);
        break;
      case Kind::kPending: {
        // Waits for a price, then becomes a market order of its side, at once or
        // through pending orders of its side (which open at the stoplimit).
        EXPECT_NE(row.reach, Reach::kNone);
        EXPECT_NE(row.side, Side::kNone);
        EXPECT_EQ(next.side, row.side);
        EXPECT_EQ(row.has_stoplimit(), next.pending());
        EXPECT_EQ(row.opens_at, next.pending() ? OpensAt::kStoplimit : OpensAt::kPrice);
        const OrderType* step = &row;
        for (std::size_t i = 0; i < std::size(kOrderTypes) && step->pending(); ++i) step = &OrderTypeOf(step->becomes);
        EXPECT_TRUE(step->market());
        EXPECT_EQ(step->side, row.side);
        break;
      }
      case Kind::kCloseBy:
      case Kind::kUnknown:
        EXPECT_EQ(row.becomes, row.type);
        EXPECT_EQ(row.side, Side::kNone);
        EXPECT_EQ(row.reach, Reach::kNone);
        break;
    }
  }
}

}  // namespace
}  // namespace vl5::terminal::trading
