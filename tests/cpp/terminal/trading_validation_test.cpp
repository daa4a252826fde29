// Refused trade requests: the return code that order_check reports is the one
// order_send answers, and a refused request changes nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/cpp/terminal/trading_fixture.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::trading {
namespace {

using testing::CloseOrder;
using testing::kNowMs;
using testing::MarketOrder;
using testing::PendingOrder;

class ValidationTest : public testing::TradingTest {
 protected:
  ValidationTest() {
    buy_ = Send(kNowMs, MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1)).order;
    limit_ = Send(kNowMs, PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_LIMIT, 0.1, Below(500))).order;
  }
  double Below(int points) { return Offset(u"EURUSD", QuoteOf(u"EURUSD", kNowMs).ask, -points); }
  double Above(int points) { return Offset(u"EURUSD", QuoteOf(u"EURUSD", kNowMs).bid, points); }

  std::uint64_t buy_ = 0;
  std::uint64_t limit_ = 0;
};

struct Refusal {
  const char* what;
  std::uint32_t retcode;
  TradeRequest request;
};

// A market buy of 0.1 EURUSD, valid until `change` spoils it.
TradeRequest Buy(const std::function<void(TradeRequest&)>& change) {
  TradeRequest r = MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1);
  change(r);
  return r;
}

TradeRequest OnTicket(std::uint32_t action, std::uint64_t order, std::uint64_t position, double price = 0.0) {
  TradeRequest r;
  r.action = action;
  r.order = order;
  r.position = r.position_by = position;
  r.price = price;
  return r;
}

TEST_F(ValidationTest, EachRuleHasItsReturnCodeInCheckAndSendAlike) {
  const Quote q = QuoteOf(u"EURUSD", kNowMs);
  auto pending = [](std::uint32_t type, double price) { return PendingOrder(u"EURUSD", type, 0.1, price); };
  TradeRequest stop_limit = pending(wire::ORDER_TYPE_BUY_STOP_LIMIT, Offset(u"EURUSD", q.ask, 50));
  TradeRequest misplaced_sl = pending(wire::ORDER_TYPE_BUY_LIMIT, Below(100));
  misplaced_sl.sl = Below(50);
  TradeRequest expired = pending(wire::ORDER_TYPE_BUY_LIMIT, Below(100));
  expired.type_time = wire::ORDER_TIME_SPECIFIED;
  expired.expiration = kNowMs / 1000 - 1;
  TradeRequest no_policy = pending(wire::ORDER_TYPE_BUY_LIMIT, Below(100));
  no_policy.type_time = 4;
  TradeRequest elsewhere = CloseOrder(buy_, wire::ORDER_TYPE_SELL, 0.1);
  elsewhere.symbol = u"GBPUSD";
  using wire::ORDER_TYPE_BUY;
  using wire::ORDER_TYPE_SELL;
  const Refusal refusals[] = {
      {"unknown action", wire::TRADE_RETCODE_INVALID, Buy([](TradeRequest& r) { r.action = 2; })},
      {"unknown symbol", wire::TRADE_RETCODE_INVALID, Buy([](TradeRequest& r) { r.symbol = u"NOWHERE"; })},
      {"pending type as a deal", wire::TRADE_RETCODE_INVALID,
       Buy([](TradeRequest& r) { r.type = wire::ORDER_TYPE_BUY_LIMIT; })},
      {"below the minimum", wire::TRADE_RETCODE_INVALID_VOLUME, Buy([](TradeRequest& r) { r.volume = 0.001; })},
      {"not a step", wire::TRADE_RETCODE_INVALID_VOLUME, Buy([](TradeRequest& r) { r.volume = 0.015; })},
      {"above the maximum", wire::TRADE_RETCODE_INVALID_VOLUME, Buy([](TradeRequest& r) { r.volume = 101.0; })},
      {"zero volume", wire::TRADE_RETCODE_INVALID_VOLUME, Buy([](TradeRequest& r) { r.volume = 0.0; })},
      {"return filling for a deal", wire::TRADE_RETCODE_INVALID_FILL,
       Buy([](TradeRequest& r) { r.type_filling = wire::ORDER_FILLING_RETURN; })},
      {"unknown filling", wire::TRADE_RETCODE_INVALID_FILL, Buy([](TradeRequest& r) { r.type_filling = 9; })},
      {"stop loss above the bid", wire::TRADE_RETCODE_INVALID_STOPS, Buy([&](TradeRequest& r) { r.sl = Above(5); })},
      {"take profit below the bid", wire::TRADE_RETCODE_INVALID_STOPS,
       Buy([&](TradeRequest& r) { r.tp = Offset(u"EURUSD", q.bid, -5); })},
      {"negative stop", wire::TRADE_RETCODE_INVALID_STOPS, Buy([](TradeRequest& r) { r.sl = -1.0; })},
      {"price moved", wire::TRADE_RETCODE_PRICE_CHANGED, Buy([&](TradeRequest& r) {
         r.price = Offset(u"EURUSD", q.ask, -8);
         r.deviation = 5;
       })},
      {"not enough margin", wire::TRADE_RETCODE_NO_MONEY, Buy([](TradeRequest& r) { r.volume = 50.0; })},
      {"close: unknown position", wire::TRADE_RETCODE_POSITION_CLOSED, CloseOrder(42, ORDER_TYPE_SELL, 0.1)},
      {"close: same side", wire::TRADE_RETCODE_INVALID, CloseOrder(buy_, ORDER_TYPE_BUY, 0.1)},
      {"close: too much", wire::TRADE_RETCODE_INVALID_VOLUME, CloseOrder(buy_, ORDER_TYPE_SELL, 0.2)},
      {"close: other symbol", wire::TRADE_RETCODE_INVALID, elsewhere},
      {"buy limit above the ask", wire::TRADE_RETCODE_INVALID_PRICE, pending(wire::ORDER_TYPE_BUY_LIMIT, Above(50))},
      {"sell stop above the bid", wire::TRADE_RETCODE_INVALID_PRICE, pending(wire::ORDER_TYPE_SELL_STOP, Above(50))},
      {"no price", wire::TRADE_RETCODE_INVALID_PRICE, pending(wire::ORDER_TYPE_SELL_LIMIT, 0.0)},
      {"stop limit without a limit", wire::TRADE_RETCODE_INVALID_PRICE, stop_limit},
      {"pending stop loss above", wire::TRADE_RETCODE_INVALID_STOPS, misplaced_sl},
      {"expiry in the past", wire::TRADE_RETCODE_INVALID_EXPIRATION, expired},
      {"unknown expiry policy", wire::TRADE_RETCODE_INVALID_EXPIRATION, no_policy},
      {"modify: unknown order", wire::TRADE_RETCODE_INVALID_ORDER,
       OnTicket(wire::TRADE_ACTION_MODIFY, buy_, 0, Below(100))},
      {"modify: to the wrong side", wire::TRADE_RETCODE_INVALID_PRICE,
       OnTicket(wire::TRADE_ACTION_MODIFY, limit_, 0, Above(100))},
      {"remove: unknown order", wire::TRADE_RETCODE_INVALID_ORDER, OnTicket(wire::TRADE_ACTION_REMOVE, 7, 0)},
      {"stops: unknown position", wire::TRADE_RETCODE_POSITION_CLOSED, OnTicket(wire::TRADE_ACTION_SLTP, 0, limit_)},
      {"close by itself", wire::TRADE_RETCODE_INVALID, OnTicket(wire::TRADE_ACTION_CLOSE_BY, 0, buy_)},
  };
  const std::size_t deals = ledger_.deals().size(), orders = ledger_.history_orders().size();
  const double balance = account_.balance(), margin = account_.margin();
  for (const Refusal& refusal : refusals) {
    EXPECT_EQ(At(kNowMs).Check(refusal.request).retcode, refusal.retcode) << refusal.what;
    const SendResult sent = Send(kNowMs, refusal.request);
    EXPECT_EQ(sent.retcode, refusal.retcode) << refusal.what;
    EXPECT_EQ(sent.order, 0u) << refusal.what;
    EXPECT_EQ(sent.deal, 0u) << refusal.what;
  }
  EXPECT_EQ(ledger_.deals().size(), deals);
  EXPECT_EQ(ledger_.history_orders().size(), orders);
  EXPECT_EQ(ledger_.positions().size(), 1u);
  EXPECT_EQ(ledger_.orders().size(), 1u);
  EXPECT_EQ(account_.balance(), balance);
  EXPECT_EQ(account_.margin(), margin);
}

TEST_F(ValidationTest, ACheckReportsTheAccountAsItWouldBeAfterTheRequest) {
  Engine engine = At(kNowMs);
  const Quote q = QuoteOf(u"EURUSD", kNowMs);
  double needed = 0;
  engine.CalcMargin(wire::ORDER_TYPE_BUY, u"EURUSD", 1.0, q.ask, &needed);
  const CheckResult ok = engine.Check(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 1.0));
  EXPECT_EQ(ok.retcode, 0u);
  EXPECT_EQ(ok.balance, account_.balance());
  EXPECT_EQ(ok.equity, account_.equity());
  EXPECT_EQ(ok.profit, account_.profit());
  EXPECT_DOUBLE_EQ(ok.margin, account_.margin() + needed);
  EXPECT_DOUBLE_EQ(ok.margin_free, account_.equity() - ok.margin);
  EXPECT_DOUBLE_EQ(ok.margin_level, 100.0 * ok.equity / ok.margin);
  EXPECT_EQ(ledger_.positions().size(), 1u);  // nothing was executed

  // Too much: the figures show the shortfall.
  const CheckResult short_of = engine.Check(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 50.0));
  EXPECT_EQ(short_of.retcode, wire::TRADE_RETCODE_NO_MONEY);
  EXPECT_LT(short_of.margin_free, 0.0);
  // Closing frees the position's margin.
  const CheckResult closing = engine.Check(CloseOrder(buy_, wire::ORDER_TYPE_SELL, 0.1));
  EXPECT_EQ(closing.retcode, 0u);
  EXPECT_EQ(closing.margin, 0.0);
  EXPECT_EQ(closing.margin_level, 0.0);
}

TEST_F(ValidationTest, SymbolRulesFromTheCatalogApply) {
  // KSTL trades whole shares; US500 in tenths.
  auto check = [&](const char16_t* symbol, double volume) {
    return At(market::testing::kNextSessionMs).Check(MarketOrder(symbol, wire::ORDER_TYPE_BUY, volume)).retcode;
  };
  EXPECT_EQ(check(u"KSTL", 0.5), wire::TRADE_RETCODE_INVALID_VOLUME);
  EXPECT_EQ(check(u"KSTL", 3.0), 0u);
  EXPECT_EQ(check(u"US500", 0.25), wire::TRADE_RETCODE_INVALID_VOLUME);
  EXPECT_EQ(check(u"US500", 0.3), 0u);
  // Before a symbol's history there is no quote to trade at.
  const std::int64_t before_bitcoin = (market_.path(Symbol(u"BTCUSD")).first_minute() - 10) * 60000;
  Account other(DefaultAccounts()[0]);
  Ledger early(other.balance(), before_bitcoin);
  Engine engine(market_, other, early, before_bitcoin);
  EXPECT_EQ(engine.Check(MarketOrder(u"BTCUSD", wire::ORDER_TYPE_BUY, 0.01)).retcode,
            wire::TRADE_RETCODE_MARKET_CLOSED);
  // A symbol closed for trading refuses to open, whichever side.
  std::vector<market::SymbolSpec> symbols = market::DefaultSymbols();
  symbols[0].trade_mode = wire::SYMBOL_TRADE_MODE_CLOSEONLY;
  symbols[0].filling_mode = wire::SYMBOL_FILLING_IOC;
  const market::Market closed(std::move(symbols), 1);
  Engine restricted(closed, other, early, kNowMs);
  EXPECT_EQ(restricted.Check(MarketOrder(u"EURUSD", wire::ORDER_TYPE_SELL, 0.1)).retcode,
            wire::TRADE_RETCODE_INVALID_FILL);
  TradeRequest ioc = MarketOrder(u"EURUSD", wire::ORDER_TYPE_SELL, 0.1);
  ioc.type_filling = wire::ORDER_FILLING_IOC;
  EXPECT_EQ(restricted.Check(ioc).retcode, wire::TRADE_RETCODE_TRADE_DISABLED);
}

}  // namespace
}  // namespace vl5::terminal::trading
