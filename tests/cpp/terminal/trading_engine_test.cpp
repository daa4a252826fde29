// The trading engine's bookkeeping: market fills, hedged positions, closes
// that settle into the balance, close-by, pending order upkeep, and margin
// and profit as the catalog's contract sizes and the account's leverage give.
#include <gtest/gtest.h>

#include <algorithm>

#include "terminal/model/trading/money.h"
#include "tests/cpp/terminal/trading_fixture.h"
#include "src/wire/status.h"

namespace vl5::terminal::trading {
namespace {

using testing::CloseOrder;
using testing::kNowMs;
using testing::MarketOrder;
using testing::PendingOrder;

constexpr std::int64_t kHourMs = 3600 * 1000;

class EngineTest : public testing::TradingTest {};

TEST_F(EngineTest, AMarketBuyFillsAtTheAskWithOneOrderOneDealAndOnePosition) {
  const Quote quote = QuoteOf(u"EURUSD", kNowMs);
  TradeRequest request = MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1);
  request.magic = 77;
  request.comment = u"first";
  const SendResult sent = Send(kNowMs, request);
  ASSERT_EQ(sent.retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(sent.price, quote.ask);
  EXPECT_EQ(sent.bid, quote.bid);
  EXPECT_EQ(sent.ask, quote.ask);
  EXPECT_EQ(sent.volume, 0.1);
  EXPECT_NE(sent.order, sent.deal);

  ASSERT_EQ(ledger_.positions().size(), 1u);
  const Position& position = ledger_.positions()[0];
  EXPECT_EQ(position.ticket, sent.order);  // a position is named by its opening order
  EXPECT_EQ(position.type, wire::POSITION_TYPE_BUY);
  EXPECT_EQ(position.price_open, quote.ask);
  EXPECT_EQ(position.time_msc, kNowMs);
  EXPECT_EQ(position.magic, 77u);

  const Order* order = HistoryOrder(sent.order);
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->state, wire::ORDER_STATE_FILLED);
  EXPECT_EQ(order->position_id, sent.order);
  EXPECT_EQ(order->setup_msc, kNowMs);
  EXPECT_EQ(order->done_msc, kNowMs);
  EXPECT_EQ(order->volume_initial, 0.1);
  EXPECT_EQ(order->volume_current, 0.0);
  EXPECT_EQ(order->reason, wire::ORDER_REASON_EXPERT);

  const Deal* deal = FindDeal(sent.deal);
  ASSERT_NE(deal, nullptr);
  EXPECT_EQ(deal->order, sent.order);
  EXPECT_EQ(deal->position_id, sent.order);
  EXPECT_EQ(deal->entry, wire::DEAL_ENTRY_IN);
  EXPECT_EQ(deal->type, wire::DEAL_TYPE_BUY);
  EXPECT_EQ(deal->price, quote.ask);
  EXPECT_EQ(deal->time_msc, kNowMs);
  EXPECT_EQ(deal->profit, 0.0);
  EXPECT_EQ(deal->comment, u"first");
  EXPECT_EQ(deal->reason, wire::DEAL_REASON_EXPERT);
}

TEST_F(EngineTest, TheHistoryStartsWithTheDepositAndTicketsNeverRepeat) {
  ASSERT_EQ(ledger_.deals().size(), 1u);
  const Deal& deposit = ledger_.deals()[0];
  EXPECT_EQ(deposit.type, wire::DEAL_TYPE_BALANCE);
  EXPECT_EQ(deposit.profit, 10000.0);
  EXPECT_EQ(deposit.time_msc, kNowMs);
  EXPECT_TRUE(deposit.symbol.empty());

  Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1));
  const double below = Offset(u"EURUSD", QuoteOf(u"EURUSD", kNowMs).ask, -500);
  Send(kNowMs, PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_LIMIT, 0.1, below));
  std::vector<std::uint64_t> tickets;
  for (const Order& o : ledger_.history_orders()) tickets.push_back(o.ticket);
  for (const Order& o : ledger_.orders()) tickets.push_back(o.ticket);
  for (const Deal& d : ledger_.deals()) tickets.push_back(d.ticket);
  std::sort(tickets.begin(), tickets.end());
  EXPECT_EQ(std::adjacent_find(tickets.begin(), tickets.end()), tickets.end());
  EXPECT_EQ(tickets.size(), 4u);
}

TEST_F(EngineTest, EveryDealInOpensItsOwnPositionOnAHedgingAccount) {
  const SendResult a = Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1));
  const SendResult b = Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.2));
  const SendResult c = Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_SELL, 0.1));
  ASSERT_EQ(ledger_.positions().size(), 3u);
  EXPECT_EQ(ledger_.positions()[0].ticket, a.order);
  EXPECT_EQ(ledger_.positions()[1].ticket, b.order);
  EXPECT_EQ(ledger_.positions()[1].volume, 0.2);
  EXPECT_EQ(ledger_.positions()[2].ticket, c.order);
  EXPECT_EQ(ledger_.positions()[2].type, wire::POSITION_TYPE_SELL);
  EXPECT_EQ(ledger_.positions()[2].price_open, QuoteOf(u"EURUSD", kNowMs).bid);
}

TEST_F(EngineTest, ClosingSettlesTheProfitAndPartialClosesShrinkVolumeAndMargin) {
  const SendResult opened = Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1));
  const double open_margin = ledger_.positions()[0].margin;
  const std::int64_t later = kNowMs + kHourMs;
  const Quote quote = QuoteOf(u"EURUSD", later);

  const SendResult part = Send(later, CloseOrder(opened.order, wire::ORDER_TYPE_SELL, 0.04));
  ASSERT_EQ(part.retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(part.price, quote.bid);
  ASSERT_EQ(ledger_.positions().size(), 1u);
  EXPECT_EQ(ledger_.positions()[0].volume, 0.06);
  EXPECT_EQ(ledger_.positions()[0].update_msc, later);
  EXPECT_NEAR(ledger_.positions()[0].margin, open_margin * 0.6, 0.006);

  const SendResult rest = Send(later, CloseOrder(opened.order, wire::ORDER_TYPE_SELL, 0.06));
  ASSERT_EQ(rest.retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_TRUE(ledger_.positions().empty());

  const double move = (quote.bid - opened.price) * 100000;
  const Deal* first = FindDeal(part.deal);
  const Deal* second = FindDeal(rest.deal);
  EXPECT_EQ(first->entry, wire::DEAL_ENTRY_OUT);
  EXPECT_EQ(first->type, wire::DEAL_TYPE_SELL);
  EXPECT_EQ(first->position_id, opened.order);
  EXPECT_NEAR(first->profit, move * 0.04, 0.005);
  EXPECT_NEAR(second->profit, move * 0.06, 0.005);
  EXPECT_EQ(account_.balance(), 10000.0 + first->profit + second->profit);
  EXPECT_EQ(account_.margin(), 0.0);
  EXPECT_EQ(account_.equity(), account_.balance());

  // The position's story: one deal in and two out, three filled orders.
  EXPECT_EQ(DealsOf(opened.order).size(), 3u);
  EXPECT_EQ(HistoryOrder(part.order)->position_id, opened.order);
  EXPECT_EQ(HistoryOrder(part.order)->type, wire::ORDER_TYPE_SELL);
}

TEST_F(EngineTest, FloatingProfitAndMarginAreWhatTheCalculatorsAnswer) {
  const SendResult buy = Send(kNowMs, MarketOrder(u"USDJPY", wire::ORDER_TYPE_BUY, 0.3));
  const SendResult sell = Send(kNowMs, MarketOrder(u"XAUUSD", wire::ORDER_TYPE_SELL, 0.5));
  const std::int64_t later = kNowMs + kHourMs;  // before the rollover: no swap yet
  Engine engine = At(later);
  double margin_a = 0, margin_b = 0, profit_a = 0, profit_b = 0;
  ASSERT_EQ(engine.CalcMargin(wire::ORDER_TYPE_BUY, u"USDJPY", 0.3, buy.price, &margin_a), wire::kSuccess);
  ASSERT_EQ(engine.CalcMargin(wire::ORDER_TYPE_SELL, u"XAUUSD", 0.5, sell.price, &margin_b), wire::kSuccess);
  const Quote jpy = QuoteOf(u"USDJPY", later), gold = QuoteOf(u"XAUUSD", later);
  engine.CalcProfit(wire::ORDER_TYPE_BUY, u"USDJPY", 0.3, buy.price, jpy.bid, &profit_a);
  engine.CalcProfit(wire::ORDER_TYPE_SELL, u"XAUUSD", 0.5, sell.price, gold.ask, &profit_b);
  // Margins were booked at opening: the JPY one converted at that moment's rate.
  EXPECT_EQ(ledger_.positions()[1].margin, margin_b);
  EXPECT_NEAR(ledger_.positions()[0].margin, margin_a, 0.01 * margin_a);
  EXPECT_EQ(account_.profit(), RoundMoney(profit_a + profit_b));
  EXPECT_EQ(account_.equity(), RoundMoney(10000.0 + profit_a + profit_b));
  EXPECT_EQ(account_.margin_free(), RoundMoney(account_.equity() - account_.margin()));
  EXPECT_DOUBLE_EQ(account_.margin_level(), 100.0 * account_.equity() / account_.margin());
}

TEST_F(EngineTest, MarginAndProfitFollowContractSizeLeverageAndTheDollarRate) {
  Engine engine = At(kNowMs);
  const double usdjpy_bid = QuoteOf(u"USDJPY", kNowMs).bid;
  auto margin = [&](const char16_t* symbol, double volume, double price) {
    double value = -1;
    EXPECT_EQ(engine.CalcMargin(wire::ORDER_TYPE_BUY, symbol, volume, price, &value), wire::kSuccess);
    return value;
  };
  auto profit = [&](std::uint32_t type, const char16_t* symbol, double volume, double open, double close) {
    double value = -1;
    EXPECT_EQ(engine.CalcProfit(type, symbol, volume, open, close, &value), wire::kSuccess);
    return value;
  };
  // Leverage 100; contract sizes 100000 (forex), 100 (gold), 1 (index).
  EXPECT_EQ(margin(u"EURUSD", 1.0, 1.1), 1100.0);
  EXPECT_EQ(margin(u"XAUUSD", 0.5, 2000.0), 1000.0);
  EXPECT_EQ(margin(u"US500", 2.0, 4500.0), 90.0);
  EXPECT_EQ(margin(u"USDJPY", 1.0, usdjpy_bid), 1000.0);  // JPY converted at the USDJPY bid
  EXPECT_EQ(margin(u"EURJPY", 1.0, 160.0), RoundMoney(160.0 * 1000.0 / usdjpy_bid));

  EXPECT_EQ(profit(wire::ORDER_TYPE_BUY, u"EURUSD", 1.0, 1.1, 1.101), 100.0);
  EXPECT_EQ(profit(wire::ORDER_TYPE_SELL, u"EURUSD", 1.0, 1.1, 1.101), -100.0);
  EXPECT_EQ(profit(wire::ORDER_TYPE_SELL_LIMIT, u"XAUUSD", 0.1, 2000.0, 1990.0), 100.0);
  EXPECT_EQ(profit(wire::ORDER_TYPE_BUY, u"USDJPY", 1.0, 150.0, 150.1), RoundMoney(100000 * 0.1 / usdjpy_bid));

  double value = 0;
  EXPECT_EQ(engine.CalcMargin(wire::ORDER_TYPE_CLOSE_BY, u"EURUSD", 1.0, 1.1, &value), wire::kInvalidParams);
  EXPECT_EQ(engine.CalcProfit(wire::ORDER_TYPE_BUY, u"NOWHERE", 1.0, 1.1, 1.2, &value), wire::kNotFound);
  // A different leverage changes the margin in proportion.
  Account other(DefaultAccounts()[1]);  // 1:500
  Ledger other_ledger(other.balance(), kNowMs);
  Engine(market_, other, other_ledger, kNowMs).CalcMargin(wire::ORDER_TYPE_BUY, u"EURUSD", 1.0, 1.1, &value);
  EXPECT_EQ(value, 220.0);
}

TEST_F(EngineTest, CloseByBooksThePairsProfitOnTheFirstPosition) {
  const SendResult buy = Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1));
  const std::int64_t later = kNowMs + kHourMs;
  const SendResult sell = Send(later, MarketOrder(u"EURUSD", wire::ORDER_TYPE_SELL, 0.04));
  TradeRequest close_by;
  close_by.action = wire::TRADE_ACTION_CLOSE_BY;
  close_by.position = buy.order;
  close_by.position_by = sell.order;
  const SendResult closed = Send(later, close_by);
  ASSERT_EQ(closed.retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(closed.volume, 0.04);
  EXPECT_EQ(closed.price, sell.price);

  ASSERT_EQ(ledger_.positions().size(), 1u);
  EXPECT_EQ(ledger_.positions()[0].ticket, buy.order);
  EXPECT_EQ(ledger_.positions()[0].volume, 0.06);
  const Order* order = HistoryOrder(closed.order);
  EXPECT_EQ(order->type, wire::ORDER_TYPE_CLOSE_BY);
  EXPECT_EQ(order->position_id, buy.order);
  EXPECT_EQ(order->position_by_id, sell.order);

  const std::vector<const Deal*> first = DealsOf(buy.order);
  const std::vector<const Deal*> second = DealsOf(sell.order);
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(first[1]->entry, wire::DEAL_ENTRY_OUT_BY);
  EXPECT_EQ(second[1]->entry, wire::DEAL_ENTRY_OUT_BY);
  EXPECT_EQ(first[1]->ticket, closed.deal);
  EXPECT_NEAR(first[1]->profit, (sell.price - buy.price) * 0.04 * 100000, 0.005);
  EXPECT_EQ(second[1]->profit, 0.0);
  EXPECT_EQ(account_.balance(), 10000.0 + first[1]->profit);
}

TEST_F(EngineTest, PendingOrdersAreModifiedAndRemovedIntoTheHistory) {
  const Quote quote = QuoteOf(u"EURUSD", kNowMs);
  TradeRequest place = PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_LIMIT, 0.2, Offset(u"EURUSD", quote.ask, -300));
  place.type_filling = wire::ORDER_FILLING_RETURN;
  const SendResult placed = Send(kNowMs, place);
  ASSERT_EQ(placed.retcode, wire::TRADE_RETCODE_PLACED);
  EXPECT_EQ(placed.deal, 0u);
  ASSERT_EQ(ledger_.orders().size(), 1u);
  EXPECT_EQ(ledger_.orders()[0].state, wire::ORDER_STATE_PLACED);
  EXPECT_EQ(account_.margin(), 0.0);  // pending orders tie up no margin

  TradeRequest modify;
  modify.action = wire::TRADE_ACTION_MODIFY;
  modify.order = placed.order;
  modify.price = Offset(u"EURUSD", quote.ask, -400);
  modify.sl = Offset(u"EURUSD", quote.ask, -600);
  ASSERT_EQ(Send(kNowMs, modify).retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(ledger_.orders()[0].price_open, modify.price);
  EXPECT_EQ(ledger_.orders()[0].sl, modify.sl);

  TradeRequest remove;
  remove.action = wire::TRADE_ACTION_REMOVE;
  remove.order = placed.order;
  const std::int64_t later = kNowMs + 5000;
  ASSERT_EQ(Send(later, remove).retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_TRUE(ledger_.orders().empty());
  const Order* done = HistoryOrder(placed.order);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(done->state, wire::ORDER_STATE_CANCELED);
  EXPECT_EQ(done->done_msc, later);
  EXPECT_EQ(done->volume_current, 0.2);  // nothing of it was filled
  EXPECT_EQ(Send(later, remove).retcode, wire::TRADE_RETCODE_INVALID_ORDER);
}

TEST_F(EngineTest, StopsOfAnOpenPositionAreSetAndMoved) {
  const SendResult opened = Send(kNowMs, MarketOrder(u"GBPUSD", wire::ORDER_TYPE_SELL, 0.1));
  const Quote quote = QuoteOf(u"GBPUSD", kNowMs);
  TradeRequest stops;
  stops.action = wire::TRADE_ACTION_SLTP;
  stops.position = opened.order;
  stops.sl = Offset(u"GBPUSD", quote.ask, 200);
  stops.tp = Offset(u"GBPUSD", quote.ask, -200);
  ASSERT_EQ(Send(kNowMs + 1000, stops).retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(ledger_.positions()[0].sl, stops.sl);
  EXPECT_EQ(ledger_.positions()[0].tp, stops.tp);
  EXPECT_EQ(ledger_.positions()[0].update_msc, kNowMs + 1000);
  std::swap(stops.sl, stops.tp);  // a sell's stop loss lies above the market
  EXPECT_EQ(Send(kNowMs + 1000, stops).retcode, wire::TRADE_RETCODE_INVALID_STOPS);
  stops.sl = stops.tp = 0.0;  // removing both
  ASSERT_EQ(Send(kNowMs + 1000, stops).retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(ledger_.positions()[0].sl, 0.0);
}

TEST_F(EngineTest, TheClockNeverRunsTheLedgerBackwards) {
  At(kNowMs + kHourMs);
  const SendResult late = Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1));
  EXPECT_EQ(FindDeal(late.deal)->time_msc, kNowMs + kHourMs);
  EXPECT_EQ(late.price, QuoteOf(u"EURUSD", kNowMs + kHourMs).ask);
}

}  // namespace
}  // namespace vl5::terminal::trading
