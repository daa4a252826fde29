// Refused trade requests: the return code that order_check reports is the one
// order_send answers, and a refused request changes nothing.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "tests/cpp/terminal/trading_fixture.h"
#include "src/wire/market_codes.h"
#include "src/wire/status.h"

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

// A request and the return code it gets (0: it passes).
struct Case {
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
  const Case refusals[] = {
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
  for (const Case& refusal : refusals) {
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

// A NaN or an infinity in any number of any request is refused with the code
// of its field, and the calculators answer no figure for them.
TEST_F(ValidationTest, NumbersThatAreNotFiniteAreRefused) {
  const Quote q = QuoteOf(u"EURUSD", kNowMs);
  TradeRequest stop_limit = PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_STOP_LIMIT, 0.1, Offset(u"EURUSD", q.ask, 50));
  stop_limit.stoplimit = Offset(u"EURUSD", q.ask, 30);
  const std::pair<const char*, TradeRequest> requests[] = {
      {"market buy", MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1)},
      {"close", CloseOrder(buy_, wire::ORDER_TYPE_SELL, 0.1)},
      {"stop limit", stop_limit},
      {"modify", OnTicket(wire::TRADE_ACTION_MODIFY, limit_, 0, Below(100))},
      {"stops", OnTicket(wire::TRADE_ACTION_SLTP, 0, buy_)},
      {"remove", OnTicket(wire::TRADE_ACTION_REMOVE, limit_, 0)},
  };
  struct Field {
    const char* name;
    double TradeRequest::*member;
    std::uint32_t retcode;
  };
  const Field fields[] = {
      {"volume", &TradeRequest::volume, wire::TRADE_RETCODE_INVALID_VOLUME},
      {"price", &TradeRequest::price, wire::TRADE_RETCODE_INVALID_PRICE},
      {"stoplimit", &TradeRequest::stoplimit, wire::TRADE_RETCODE_INVALID_PRICE},
      {"sl", &TradeRequest::sl, wire::TRADE_RETCODE_INVALID_STOPS},
      {"tp", &TradeRequest::tp, wire::TRADE_RETCODE_INVALID_STOPS},
  };
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double values[] = {std::numeric_limits<double>::quiet_NaN(), kInf, -kInf};
  const std::size_t deals = ledger_.deals().size(), orders = ledger_.history_orders().size();
  const Order pending = ledger_.orders()[0];
  const Position position = ledger_.positions()[0];
  for (const auto& [what, valid] : requests) {
    ASSERT_EQ(At(kNowMs).Check(valid).retcode, 0u) << what << " passes as it is";
    for (const Field& field : fields) {
      for (double value : values) {
        TradeRequest request = valid;
        request.*field.member = value;
        SCOPED_TRACE(::testing::Message() << what << ", " << field.name << " " << value);
        EXPECT_EQ(At(kNowMs).Check(request).retcode, field.retcode);
        EXPECT_EQ(Send(kNowMs, request).retcode, field.retcode);
      }
    }
  }
  EXPECT_EQ(ledger_.deals().size(), deals);
  EXPECT_EQ(ledger_.history_orders().size(), orders);
  ASSERT_EQ(ledger_.orders().size(), 1u);
  EXPECT_EQ(ledger_.orders()[0].price_open, pending.price_open);
  EXPECT_EQ(ledger_.orders()[0].sl, 0.0);
  ASSERT_EQ(ledger_.positions().size(), 1u);
  EXPECT_EQ(ledger_.positions()[0].sl, position.sl);
  EXPECT_EQ(ledger_.positions()[0].tp, position.tp);

  // Calculators: each argument in turn, and a finite volume whose figure overflows.
  Engine engine = At(kNowMs);
  for (double value : values) {
    const double margins[][2] = {{value, 1.1}, {1.0, value}, {1e306, 1.1}};
    for (const auto& m : margins) {
      double out = 0.0;
      EXPECT_EQ(engine.CalcMargin(wire::ORDER_TYPE_BUY, u"EURUSD", m[0], m[1], &out), wire::kInvalidParams)
          << m[0] << " " << m[1];
    }
    const double profits[][3] = {{value, 1.1, 1.2}, {1.0, value, 1.2}, {1.0, 1.1, value}, {1e306, 1.1, 1.2}};
    for (const auto& p : profits) {
      double out = 0.0;
      EXPECT_EQ(engine.CalcProfit(wire::ORDER_TYPE_SELL, u"EURUSD", p[0], p[1], p[2], &out), wire::kInvalidParams)
          << p[0] << " " << p[1] << " " << p[2];
    }
  }
}

// Stops (and pending prices) may lie exactly stops_level points from their
// reference, not one point nearer; with no stops level, one point away.
TEST(StopsLevelTest, AStopExactlyAtTheStopsLevelPassesAndOnePointInsideIsRefused) {
  std::vector<market::SymbolSpec> symbols = market::DefaultSymbols();
  for (market::SymbolSpec& spec : symbols) {
    if (spec.name == u"EURUSD") spec.stops_level = 30;
  }
  const market::Market market(std::move(symbols), 1);
  Account account(DefaultAccounts()[0]);
  Ledger ledger(account.balance(), kNowMs);
  const std::uint64_t buy =
      Engine(market, account, ledger, kNowMs).Send(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1)).order;
  ASSERT_EQ(ledger.positions().size(), 1u);
  Engine engine(market, account, ledger, kNowMs);
  Quote eur, gbp;
  ASSERT_TRUE(QuoteAt(market, *market.Find(u"EURUSD"), kNowMs, &eur));
  ASSERT_TRUE(QuoteAt(market, *market.Find(u"GBPUSD"), kNowMs, &gbp));
  auto at = [&](const char16_t* symbol, double price, int points) {
    const market::SymbolSpec& spec = market.spec(*market.Find(symbol));
    return Normalize(spec, price + points * spec.Point());
  };
  auto with = [](TradeRequest r, double sl, double tp) {
    r.sl = sl;
    r.tp = tp;
    return r;
  };
  auto pending = [&](std::uint32_t type, double reference, int points) {
    return PendingOrder(u"EURUSD", type, 0.1, at(u"EURUSD", reference, points));
  };
  TradeRequest stops;
  stops.action = wire::TRADE_ACTION_SLTP;
  stops.position = buy;
  const TradeRequest limit = pending(wire::ORDER_TYPE_BUY_LIMIT, eur.ask, -100);
  const TradeRequest buy_eur = MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1);
  const TradeRequest sell_eur = MarketOrder(u"EURUSD", wire::ORDER_TYPE_SELL, 0.1);
  const TradeRequest buy_gbp = MarketOrder(u"GBPUSD", wire::ORDER_TYPE_BUY, 0.1);
  constexpr std::uint32_t kStops = wire::TRADE_RETCODE_INVALID_STOPS;
  constexpr std::uint32_t kPrice = wire::TRADE_RETCODE_INVALID_PRICE;
  // A buy's stops are judged from the bid it closes at, a sell's from the ask.
  const Case cases[] = {
      {"buy: sl at the level", 0, with(buy_eur, at(u"EURUSD", eur.bid, -30), 0.0)},
      {"buy: sl inside", kStops, with(buy_eur, at(u"EURUSD", eur.bid, -29), 0.0)},
      {"buy: tp at the level", 0, with(buy_eur, 0.0, at(u"EURUSD", eur.bid, 30))},
      {"buy: tp inside", kStops, with(buy_eur, 0.0, at(u"EURUSD", eur.bid, 29))},
      {"sell: sl at the level", 0, with(sell_eur, at(u"EURUSD", eur.ask, 30), 0.0)},
      {"sell: sl inside", kStops, with(sell_eur, at(u"EURUSD", eur.ask, 29), 0.0)},
      {"sell: tp at the level", 0, with(sell_eur, 0.0, at(u"EURUSD", eur.ask, -30))},
      {"sell: tp inside", kStops, with(sell_eur, 0.0, at(u"EURUSD", eur.ask, -29))},
      {"limit: sl at the level", 0, with(limit, at(u"EURUSD", limit.price, -30), 0.0)},
      {"limit: sl inside", kStops, with(limit, at(u"EURUSD", limit.price, -29), 0.0)},
      {"position: sl at the level", 0, with(stops, at(u"EURUSD", eur.bid, -30), 0.0)},
      {"position: sl inside", kStops, with(stops, at(u"EURUSD", eur.bid, -29), 0.0)},
      {"buy limit at the level", 0, pending(wire::ORDER_TYPE_BUY_LIMIT, eur.ask, -30)},
      {"buy limit inside", kPrice, pending(wire::ORDER_TYPE_BUY_LIMIT, eur.ask, -29)},
      {"sell stop at the level", 0, pending(wire::ORDER_TYPE_SELL_STOP, eur.bid, -30)},
      {"sell stop inside", kPrice, pending(wire::ORDER_TYPE_SELL_STOP, eur.bid, -29)},
      {"no level: sl one point away", 0, with(buy_gbp, at(u"GBPUSD", gbp.bid, -1), 0.0)},
      {"no level: sl at the price", kStops, with(buy_gbp, gbp.bid, 0.0)},
  };
  for (const Case& c : cases) EXPECT_EQ(engine.Check(c.request).retcode, c.retcode) << c.what;
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
