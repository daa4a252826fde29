// Between requests the market moves on: pending orders fill at the first tick
// that reaches their price, stops close positions, orders expire, and all of
// it happens in time order however often the ledger is caught up.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cpp/terminal/trading_fixture.h"

namespace vl5::terminal::trading {
namespace {

using testing::kNowMs;
using testing::MarketOrder;
using testing::PendingOrder;

constexpr std::int64_t kMinuteMs = 60000;
constexpr std::int64_t kHourMs = 60 * kMinuteMs;
constexpr std::int64_t kHorizonMs = 24 * kHourMs;

class TriggersTest : public testing::TradingTest {};

struct PendingCase {
  std::uint32_t type;
  int offset;   // points from the ask (buys) or the bid (sells)
  bool on_ask;  // the side of the quote that must reach the price
  bool rising;  // reached from below
};

TEST_F(TriggersTest, PendingOrdersFillAtTheFirstTickThatReachesTheirPrice) {
  const PendingCase cases[] = {
      {wire::ORDER_TYPE_BUY_LIMIT, -40, true, false},
      {wire::ORDER_TYPE_SELL_LIMIT, 40, false, true},
      {wire::ORDER_TYPE_BUY_STOP, 40, true, true},
      {wire::ORDER_TYPE_SELL_STOP, -40, false, false},
  };
  for (const PendingCase& c : cases) {
    SCOPED_TRACE(c.type);
    const Quote quote = QuoteOf(u"EURUSD", kNowMs);
    const double price = Offset(u"EURUSD", c.on_ask ? quote.ask : quote.bid, c.offset);
    const SendResult placed = Send(kNowMs, PendingOrder(u"EURUSD", c.type, 0.1, price));
    ASSERT_EQ(placed.retcode, wire::TRADE_RETCODE_PLACED);
    const std::int64_t level = Points(u"EURUSD", price);
    const auto tick = FirstTick(u"EURUSD", kNowMs, kNowMs + kHorizonMs, [&](const market::Tick& t) {
      const std::int64_t side = c.on_ask ? t.ask : t.bid;
      return c.rising ? side >= level : side <= level;
    });
    ASSERT_TRUE(tick.has_value()) << "the path should reach the price within a day";

    At(tick->time_msc - 1);  // just before: still waiting
    ASSERT_EQ(ledger_.orders().size(), 1u);
    At(kNowMs + kHorizonMs);
    ASSERT_TRUE(ledger_.orders().empty());
    const Order* order = HistoryOrder(placed.order);
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->state, wire::ORDER_STATE_FILLED);
    EXPECT_EQ(order->done_msc, tick->time_msc);
    EXPECT_EQ(order->setup_msc, kNowMs);
    const std::vector<const Deal*> deals = DealsOf(placed.order);
    ASSERT_EQ(deals.size(), 1u);
    EXPECT_EQ(deals[0]->time_msc, tick->time_msc);
    EXPECT_EQ(deals[0]->order, placed.order);
    EXPECT_EQ(deals[0]->price, Spec(u"EURUSD").Price(c.on_ask ? tick->ask : tick->bid));
    ASSERT_EQ(ledger_.positions().size(), 1u);
    EXPECT_EQ(ledger_.positions()[0].ticket, placed.order);
    EXPECT_EQ(ledger_.positions()[0].time_msc, tick->time_msc);
    ledger_.RemovePosition(placed.order);  // the next case starts flat
    ledger_.set_evaluated_ms(kNowMs);
  }
}

TEST_F(TriggersTest, AStopLimitBecomesALimitOrderAtItsStoplimitPrice) {
  const Quote quote = QuoteOf(u"EURUSD", kNowMs);
  TradeRequest request =
      PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_STOP_LIMIT, 0.1, Offset(u"EURUSD", quote.ask, 30));
  request.stoplimit = Offset(u"EURUSD", quote.ask, 10);
  const SendResult placed = Send(kNowMs, request);
  ASSERT_EQ(placed.retcode, wire::TRADE_RETCODE_PLACED);
  const std::int64_t stop = Points(u"EURUSD", request.price), limit = Points(u"EURUSD", request.stoplimit);
  const auto reached =
      FirstTick(u"EURUSD", kNowMs, kNowMs + kHorizonMs, [&](const market::Tick& t) { return t.ask >= stop; });
  ASSERT_TRUE(reached.has_value());
  const auto filled = FirstTick(u"EURUSD", reached->time_msc - 1, kNowMs + kHorizonMs,
                                [&](const market::Tick& t) { return t.ask <= limit; });
  ASSERT_TRUE(filled.has_value());
  ASSERT_GT(filled->time_msc, reached->time_msc) << "pick offsets whose limit is not reached at once";

  At(reached->time_msc);
  ASSERT_EQ(ledger_.orders().size(), 1u);
  EXPECT_EQ(ledger_.orders()[0].ticket, placed.order);
  EXPECT_EQ(ledger_.orders()[0].type, wire::ORDER_TYPE_BUY_LIMIT);
  EXPECT_EQ(ledger_.orders()[0].price_open, request.stoplimit);
  At(kNowMs + kHorizonMs);
  ASSERT_EQ(ledger_.positions().size(), 1u);
  EXPECT_EQ(ledger_.positions()[0].time_msc, filled->time_msc);
  EXPECT_EQ(ledger_.positions()[0].price_open, Spec(u"EURUSD").Price(filled->ask));
}

TEST_F(TriggersTest, StopLossAndTakeProfitCloseAtTheTickThatHitsThem) {
  for (const bool buy : {true, false}) {
    SCOPED_TRACE(buy ? "buy" : "sell");
    const std::int64_t opened_ms = kNowMs + (buy ? 0 : kHorizonMs);
    const Quote quote = QuoteOf(u"USDJPY", opened_ms);
    const double close = buy ? quote.bid : quote.ask;
    TradeRequest request = MarketOrder(u"USDJPY", buy ? wire::ORDER_TYPE_BUY : wire::ORDER_TYPE_SELL, 0.1);
    request.sl = Offset(u"USDJPY", close, buy ? -60 : 60);
    request.tp = Offset(u"USDJPY", close, buy ? 60 : -60);
    const SendResult opened = Send(opened_ms, request);
    ASSERT_EQ(opened.retcode, wire::TRADE_RETCODE_DONE);
    const std::int64_t sl = Points(u"USDJPY", request.sl), tp = Points(u"USDJPY", request.tp);
    const auto hit = FirstTick(u"USDJPY", opened_ms, opened_ms + kHorizonMs, [&](const market::Tick& t) {
      return buy ? (t.bid <= sl || t.bid >= tp) : (t.ask >= sl || t.ask <= tp);
    });
    ASSERT_TRUE(hit.has_value());
    const bool stop_loss = buy ? hit->bid <= sl : hit->ask >= sl;

    const double balance = account_.balance();
    At(opened_ms + kHorizonMs);
    EXPECT_TRUE(ledger_.positions().empty());
    const std::vector<const Deal*> deals = DealsOf(opened.order);
    ASSERT_EQ(deals.size(), 2u);
    const Deal& out = *deals[1];
    EXPECT_EQ(out.entry, wire::DEAL_ENTRY_OUT);
    EXPECT_EQ(out.reason, stop_loss ? wire::DEAL_REASON_SL : wire::DEAL_REASON_TP);
    EXPECT_EQ(out.time_msc, hit->time_msc);
    EXPECT_EQ(out.price, Spec(u"USDJPY").Price(buy ? hit->bid : hit->ask));
    EXPECT_EQ(stop_loss, out.profit < 0.0);
    EXPECT_EQ(HistoryOrder(out.order)->reason, stop_loss ? wire::ORDER_REASON_SL : wire::ORDER_REASON_TP);
    EXPECT_EQ(account_.balance(), balance + out.profit);
  }
}

TEST_F(TriggersTest, OrdersLapseAtTheirExpiry) {
  const Quote quote = QuoteOf(u"EURUSD", kNowMs);
  const double far_below = Offset(u"EURUSD", quote.ask, -5000);
  TradeRequest specified = PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_LIMIT, 0.1, far_below);
  specified.type_time = wire::ORDER_TIME_SPECIFIED;
  specified.expiration = kNowMs / 1000 + 600;
  TradeRequest day = specified;
  day.type_time = wire::ORDER_TIME_DAY;
  const SendResult a = Send(kNowMs, specified);
  const SendResult b = Send(kNowMs, day);
  ASSERT_EQ(a.retcode, wire::TRADE_RETCODE_PLACED);
  ASSERT_EQ(b.retcode, wire::TRADE_RETCODE_PLACED);

  At(kNowMs + 600 * 1000 - 1);
  EXPECT_EQ(ledger_.orders().size(), 2u);
  At(kNowMs + 600 * 1000);
  ASSERT_EQ(ledger_.orders().size(), 1u);
  EXPECT_EQ(HistoryOrder(a.order)->state, wire::ORDER_STATE_EXPIRED);
  EXPECT_EQ(HistoryOrder(a.order)->done_msc, kNowMs + 600 * 1000);
  At(kNowMs + 2 * kHorizonMs);
  const std::int64_t midnight = (kNowMs / 86400000 + 1) * 86400000;
  EXPECT_EQ(HistoryOrder(b.order)->state, wire::ORDER_STATE_EXPIRED);
  EXPECT_EQ(HistoryOrder(b.order)->done_msc, midnight);
}

TEST_F(TriggersTest, AFillTheMarginCannotCarryIsRejected) {
  const Quote quote = QuoteOf(u"EURUSD", kNowMs);
  // 5 lots need about 5100 of the 10000: placing both is fine, filling both is not.
  const SendResult pending =
      Send(kNowMs, PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_STOP, 5.0, Offset(u"EURUSD", quote.ask, 20)));
  ASSERT_EQ(pending.retcode, wire::TRADE_RETCODE_PLACED);
  ASSERT_EQ(Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 5.0)).retcode, wire::TRADE_RETCODE_DONE);
  At(kNowMs + kHorizonMs);
  const Order* order = HistoryOrder(pending.order);
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->state, wire::ORDER_STATE_REJECTED);
  EXPECT_EQ(ledger_.positions().size(), 1u);
  EXPECT_TRUE(DealsOf(pending.order).empty());
}

// Orders on several symbols: the deals come out in time order, and catching
// up in many small steps books exactly what one big step books.
TEST_F(TriggersTest, EventsRunInTimeOrderWhateverTheStepsOfEvaluation) {
  auto place = [&](testing::TradingBench& t) {
    for (const char16_t* name : {u"EURUSD", u"GBPUSD", u"USDJPY", u"XAUUSD"}) {
      const Quote q = t.QuoteOf(name, kNowMs);
      for (int offset : {15, 45}) {
        TradeRequest buy = PendingOrder(name, wire::ORDER_TYPE_BUY_STOP, 0.1, t.Offset(name, q.ask, offset));
        buy.tp = t.Offset(name, q.ask, offset + 40);
        buy.sl = t.Offset(name, q.ask, offset - 40);
        ASSERT_EQ(t.Send(kNowMs, buy).retcode, wire::TRADE_RETCODE_PLACED);
        const TradeRequest sell = PendingOrder(name, wire::ORDER_TYPE_SELL_STOP, 0.1, t.Offset(name, q.bid, -offset));
        ASSERT_EQ(t.Send(kNowMs, sell).retcode, wire::TRADE_RETCODE_PLACED);
      }
    }
  };
  place(*this);
  for (std::int64_t t = kNowMs; t <= kNowMs + 6 * kHourMs; t += 7 * kMinuteMs + 13) At(t);
  At(kNowMs + 6 * kHourMs);

  testing::TradingBench once;
  place(once);
  once.At(kNowMs + 6 * kHourMs);

  ASSERT_GT(ledger_.deals().size(), 10u);
  ASSERT_EQ(ledger_.deals().size(), once.ledger_.deals().size());
  for (std::size_t i = 0; i < ledger_.deals().size(); ++i) {
    const Deal& a = ledger_.deals()[i];
    const Deal& b = once.ledger_.deals()[i];
    EXPECT_EQ(a.ticket, b.ticket);
    EXPECT_EQ(a.time_msc, b.time_msc);
    EXPECT_EQ(a.price, b.price);
    EXPECT_EQ(a.profit, b.profit);
    if (i > 0) {
      EXPECT_LE(ledger_.deals()[i - 1].time_msc, a.time_msc);
    }
  }
  EXPECT_EQ(account_.balance(), once.account_.balance());
}

}  // namespace
}  // namespace vl5::terminal::trading
