// Fills as a market gives them: market orders that walk the depth of market
// under their filling policy, seeded slippage against the trader, the
// account's latency under each kind of clock, and requotes of instant
// execution.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "terminal/model/market/book.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/market/ticks.h"
#include "tests/cpp/terminal/request_helpers.h"
#include "tests/cpp/terminal/trading_fixture.h"
#include "terminal/model/trading/order_types.h"
#include "terminal/server/settings_table.h"
#include "src/wire/commands.h"
#include "src/wire/market_codes.h"
#include "src/wire/trade_records.h"

namespace vl5::terminal::trading {
namespace {

using market::testing::kAllOpenMs;
using testing::CloseOrder;
using testing::kNowMs;
using testing::MarketOrder;
using testing::PendingOrder;
using testing::TradingBench;

constexpr std::int64_t kHorizonMs = 6 * 3600 * 1000;

// The built-in symbols with `name` changed.
std::vector<market::SymbolSpec> Changed(const std::u16string& name,
                                        const std::function<void(market::SymbolSpec&)>& change) {
  std::vector<market::SymbolSpec> symbols = market::DefaultSymbols();
  for (market::SymbolSpec& spec : symbols) {
    if (spec.name == name) change(spec);
  }
  return symbols;
}

AccountConfig Rich() {
  AccountConfig account = DefaultAccounts()[0];
  account.balance = 1e7;
  return account;
}

TEST(BookFillsTest, AnOrderWalksTheBookAndItsFillingSaysWhatBecomesOfTheRest) {
  const auto symbols = Changed(u"KSTL", [](market::SymbolSpec& s) { s.book_fills = true; });
  struct Row {
    const char* name;
    bool buy;
    std::uint32_t filling;
    int levels;    // whole levels of the side asked for
    double extra;  // and this much more
    std::uint32_t retcode;
  };
  const Row rows[] = {
      {"FOK inside the first level", true, wire::ORDER_FILLING_FOK, 1, 0.0, wire::TRADE_RETCODE_DONE},
      {"FOK across three levels", true, wire::ORDER_FILLING_FOK, 3, 0.0, wire::TRADE_RETCODE_DONE},
      {"buy IOC beyond the book", true, wire::ORDER_FILLING_IOC, 10, 7.0, wire::TRADE_RETCODE_DONE_PARTIAL},
      {"sell IOC beyond the book", false, wire::ORDER_FILLING_IOC, 10, 7.0, wire::TRADE_RETCODE_DONE_PARTIAL},
      {"FOK beyond the book", true, wire::ORDER_FILLING_FOK, 10, 7.0, wire::TRADE_RETCODE_REJECT},
      {"RETURN beyond the book", true, wire::ORDER_FILLING_RETURN, 10, 7.0, wire::TRADE_RETCODE_DONE_PARTIAL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TradingBench bench(symbols, 1, Rich(), kAllOpenMs);
    const market::SymbolSpec& spec = bench.Spec(u"KSTL");
    market::Tick tick;
    ASSERT_TRUE(market::LastTick(bench.market_.path(bench.Symbol(u"KSTL")), kAllOpenMs, &tick));
    std::vector<market::BookEntry> side;
    for (const market::BookEntry& e : market::BookAround(spec, tick, 1)) {
      if (e.type == (row.buy ? wire::BOOK_TYPE_SELL : wire::BOOK_TYPE_BUY)) side.push_back(e);
    }
    std::sort(side.begin(), side.end(),
              [&](const auto& a, const auto& b) { return row.buy ? a.price < b.price : a.price > b.price; });
    ASSERT_EQ(side.size(), 10u);
    ASSERT_EQ(side.front().price, row.buy ? tick.ask : tick.bid);
    double filled = 0.0, cost = 0.0;
    for (int i = 0; i < row.levels; ++i) {
      filled += side[i].volume;
      cost += side[i].volume * static_cast<double>(side[i].price);
    }
    // The volume-weighted price, to the point against the trader.
    const double average = cost / filled;
    const double price = spec.Price(static_cast<std::int64_t>(row.buy ? std::ceil(average) : std::floor(average)));
    const double balance = bench.account_.balance();

    TradeRequest request =
        MarketOrder(u"KSTL", row.buy ? wire::ORDER_TYPE_BUY : wire::ORDER_TYPE_SELL, filled + row.extra);
    request.type_filling = row.filling;
    const SendResult sent = bench.Send(kAllOpenMs, request);
    ASSERT_EQ(sent.retcode, row.retcode);
    if (row.retcode == wire::TRADE_RETCODE_REJECT) {
      EXPECT_EQ(sent.deal, 0u);
      EXPECT_TRUE(bench.ledger_.positions().empty());
      EXPECT_TRUE(bench.ledger_.orders().empty());
      EXPECT_TRUE(bench.ledger_.history_orders().empty());
      EXPECT_EQ(bench.ledger_.deals().size(), 1u);  // the deposit
      EXPECT_EQ(bench.account_.balance(), balance);
      continue;
    }
    EXPECT_EQ(sent.volume, filled);
    EXPECT_EQ(sent.price, price);
    ASSERT_EQ(bench.ledger_.positions().size(), 1u);
    EXPECT_EQ(bench.ledger_.positions()[0].volume, filled);
    EXPECT_EQ(bench.ledger_.positions()[0].price_open, price);
    EXPECT_EQ(bench.FindDeal(sent.deal)->volume, filled);
    const Order* order = bench.HistoryOrder(sent.order);
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->volume_initial, filled + row.extra);
    EXPECT_EQ(order->volume_current, row.extra);
    EXPECT_EQ(order->state, row.extra > 0.0 ? wire::ORDER_STATE_PARTIAL : wire::ORDER_STATE_FILLED);
    if (row.filling != wire::ORDER_FILLING_RETURN) {
      EXPECT_TRUE(bench.ledger_.orders().empty());
      continue;
    }
    // The rest waits as a limit at the last level taken.
    ASSERT_EQ(bench.ledger_.orders().size(), 1u);
    const Order& rest = bench.ledger_.orders()[0];
    EXPECT_EQ(rest.type, wire::ORDER_TYPE_BUY_LIMIT);
    EXPECT_EQ(rest.volume_current, row.extra);
    EXPECT_EQ(rest.price_open, spec.Price(side.back().price));
  }
}

TEST(BookFillsTest, ARestThatMayStayInTheBookCountsAgainstThePendingLimit) {
  TradingBench bench(Changed(u"KSTL", [](market::SymbolSpec& s) { s.book_fills = true; }), 1, Rich(), kAllOpenMs);
  for (std::size_t i = 0; i < kMaxPendingOrders; ++i) bench.ledger_.orders().push_back(Order{});
  TradeRequest request = MarketOrder(u"KSTL", wire::ORDER_TYPE_BUY, 1.0);
  request.type_filling = wire::ORDER_FILLING_RETURN;
  EXPECT_EQ(bench.Send(kAllOpenMs, request).retcode, wire::TRADE_RETCODE_LIMIT_ORDERS);
  request.type_filling = wire::ORDER_FILLING_IOC;  // nothing can stay
  EXPECT_EQ(bench.Send(kAllOpenMs, request).retcode, wire::TRADE_RETCODE_DONE);
}

TEST(FillingModeTest, APolicyTheSymbolDoesNotOfferIsAnInvalidFill) {
  std::vector<market::SymbolSpec> symbols = market::DefaultSymbols();
  for (market::SymbolSpec& spec : symbols) {
    if (spec.name == u"EURUSD") spec.filling_mode = wire::SYMBOL_FILLING_FOK;
    if (spec.name == u"KSTL") spec.book_fills = true;
  }
  struct Row {
    const char* symbol;
    std::uint32_t filling;
    std::uint32_t retcode;
  };
  const Row rows[] = {
      {"EURUSD", wire::ORDER_FILLING_FOK, wire::TRADE_RETCODE_DONE},
      {"EURUSD", wire::ORDER_FILLING_IOC, wire::TRADE_RETCODE_INVALID_FILL},
      {"EURUSD", wire::ORDER_FILLING_RETURN, wire::TRADE_RETCODE_INVALID_FILL},  // no book to rest in
      {"EURUSD", 7, wire::TRADE_RETCODE_INVALID_FILL},
      {"KSTL", wire::ORDER_FILLING_RETURN, wire::TRADE_RETCODE_DONE},
  };
  for (const Row& row : rows) {
    const std::u16string symbol(row.symbol, row.symbol + std::strlen(row.symbol));
    SCOPED_TRACE(std::string(row.symbol) + " " + std::to_string(row.filling));
    TradingBench bench(symbols, 1, Rich(), kAllOpenMs);
    TradeRequest request = MarketOrder(symbol, wire::ORDER_TYPE_BUY, bench.Spec(symbol).volume_min);
    request.type_filling = row.filling;
    EXPECT_EQ(bench.At(kAllOpenMs).Check(request).retcode, row.retcode == wire::TRADE_RETCODE_DONE ? 0 : row.retcode);
    EXPECT_EQ(bench.Send(kAllOpenMs, request).retcode, row.retcode);
  }
}

// How far each of a few market orders filled from the touch, in points
// against the trader.
std::vector<std::int64_t> Slips(std::uint64_t seed) {
  const auto symbols = Changed(u"EURUSD", [](market::SymbolSpec& s) {
    s.slippage = Slippage{Slippage::Model::kRandom, 3, 40};
  });
  TradingBench bench(symbols, seed, Rich());
  std::vector<std::int64_t> slips;
  for (int i = 0; i < 8; ++i) {
    const std::int64_t ms = kNowMs + i * 60000;
    const bool buy = i % 2 == 0;
    const Quote quote = bench.QuoteOf(u"EURUSD", ms);
    const SendResult sent =
        bench.Send(ms, MarketOrder(u"EURUSD", buy ? wire::ORDER_TYPE_BUY : wire::ORDER_TYPE_SELL, 0.1));
    EXPECT_EQ(sent.retcode, wire::TRADE_RETCODE_DONE);
    const std::int64_t points = bench.Points(u"EURUSD", sent.price);
    slips.push_back(buy ? points - quote.ask_points : quote.bid_points - points);
  }
  return slips;
}

TEST(SlippageTest, TheSameSeedSlipsAlikeAnotherSeedOtherwiseAlwaysAgainstTheTrader) {
  const std::vector<std::int64_t> first = Slips(1);
  EXPECT_EQ(Slips(1), first);
  EXPECT_NE(Slips(2), first);
  for (std::int64_t slip : first) {
    EXPECT_GE(slip, 3);
    EXPECT_LE(slip, 40);
  }
}

TEST(SlippageTest, StopsSlipWhenTheyTriggerLimitsAndTakeProfitsNever) {
  constexpr int kSlip = 30;
  const auto symbols = Changed(u"EURUSD", [](market::SymbolSpec& s) {
    s.slippage = Slippage{Slippage::Model::kFixed, kSlip, kSlip};
  });
  struct Row {
    std::uint32_t type;
    int offset;  // points from the watched side of the quote
    int slip;    // points the fill moves, against the trader
  };
  const Row rows[] = {
      {wire::ORDER_TYPE_BUY_STOP, 20, kSlip},
      {wire::ORDER_TYPE_SELL_STOP, -20, kSlip},
      {wire::ORDER_TYPE_BUY_LIMIT, -20, 0},
      {wire::ORDER_TYPE_SELL_LIMIT, 20, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    TradingBench bench(symbols, 1, Rich());
    const bool buy = OrderTypeOf(row.type).buy();
    const Quote quote = bench.QuoteOf(u"EURUSD", kNowMs);
    const double price = bench.Offset(u"EURUSD", buy ? quote.ask : quote.bid, row.offset);
    const SendResult placed = bench.Send(kNowMs, PendingOrder(u"EURUSD", row.type, 0.1, price));
    ASSERT_EQ(placed.retcode, wire::TRADE_RETCODE_PLACED);
    const std::int64_t level = bench.Points(u"EURUSD", price);
    const auto hit = bench.FirstTick(u"EURUSD", kNowMs, kNowMs + kHorizonMs, [&](const market::Tick& t) {
      const std::int64_t watched = buy ? t.ask : t.bid;
      return row.offset > 0 ? watched >= level : watched <= level;
    });
    ASSERT_TRUE(hit.has_value());
    bench.At(kNowMs + kHorizonMs);
    const std::vector<const Deal*> deals = bench.DealsOf(placed.order);
    ASSERT_EQ(deals.size(), 1u);
    const std::int64_t touch = buy ? hit->ask : hit->bid;
    EXPECT_EQ(deals[0]->time_msc, hit->time_msc);
    EXPECT_EQ(bench.Points(u"EURUSD", deals[0]->price), buy ? touch + row.slip : touch - row.slip);
    if (OrderTypeOf(row.type).chases()) continue;
    EXPECT_TRUE(buy ? deals[0]->price <= price : deals[0]->price >= price);  // never worse than its price
  }

  // A buy position's stop loss sells at the bid less the slippage; its take profit at the bid.
  for (const bool stop_loss : {true, false}) {
    SCOPED_TRACE(stop_loss ? "stop loss" : "take profit");
    TradingBench bench(symbols, 1, Rich());
    const Quote quote = bench.QuoteOf(u"EURUSD", kNowMs);
    TradeRequest request = MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1);
    (stop_loss ? request.sl : request.tp) = bench.Offset(u"EURUSD", quote.bid, stop_loss ? -20 : 20);
    const SendResult opened = bench.Send(kNowMs, request);
    ASSERT_EQ(opened.retcode, wire::TRADE_RETCODE_DONE);
    const std::int64_t level = bench.Points(u"EURUSD", stop_loss ? request.sl : request.tp);
    const auto hit = bench.FirstTick(u"EURUSD", kNowMs, kNowMs + kHorizonMs, [&](const market::Tick& t) {
      return stop_loss ? t.bid <= level : t.bid >= level;
    });
    ASSERT_TRUE(hit.has_value());
    bench.At(kNowMs + kHorizonMs);
    const std::vector<const Deal*> deals = bench.DealsOf(opened.order);
    ASSERT_EQ(deals.size(), 2u);
    EXPECT_EQ(bench.Points(u"EURUSD", deals[1]->price), hit->bid - (stop_loss ? kSlip : 0));
  }
}

TEST(RequoteTest, InstantExecutionRequotesAPriceBeyondTheDeviationWithTheMarketOfTheMoment) {
  struct Row {
    const char* name;
    std::uint32_t execution;
    int slip;   // fixed slippage
    int stale;  // points the requested price lies below the ask
    int deviation;
    std::uint32_t retcode;
  };
  const Row rows[] = {
      {"instant, beyond", wire::SYMBOL_TRADE_EXECUTION_INSTANT, 0, 20, 5, wire::TRADE_RETCODE_REQUOTE},
      {"instant, within", wire::SYMBOL_TRADE_EXECUTION_INSTANT, 0, 20, 20, wire::TRADE_RETCODE_DONE},
      {"request, beyond", wire::SYMBOL_TRADE_EXECUTION_REQUEST, 0, 20, 5, wire::TRADE_RETCODE_REQUOTE},
      {"instant, slipped beyond", wire::SYMBOL_TRADE_EXECUTION_INSTANT, 10, 0, 5, wire::TRADE_RETCODE_REQUOTE},
      {"instant, slipped within", wire::SYMBOL_TRADE_EXECUTION_INSTANT, 10, 0, 10, wire::TRADE_RETCODE_DONE},
      {"market, slipped: takes the price", wire::SYMBOL_TRADE_EXECUTION_MARKET, 10, 0, 5, wire::TRADE_RETCODE_DONE},
      {"market, stale when sent", wire::SYMBOL_TRADE_EXECUTION_MARKET, 0, 20, 5, wire::TRADE_RETCODE_PRICE_CHANGED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto symbols = Changed(u"EURUSD", [&](market::SymbolSpec& s) {
      s.execution_mode = row.execution;
      if (row.slip > 0) s.slippage = Slippage{Slippage::Model::kFixed, row.slip, row.slip};
    });
    TradingBench bench(symbols, 1, Rich());
    const Quote quote = bench.QuoteOf(u"EURUSD", kNowMs);
    TradeRequest request = MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1);
    request.price = bench.Offset(u"EURUSD", quote.ask, -row.stale);
    request.deviation = static_cast<std::uint64_t>(row.deviation);
    const SendResult sent = bench.Send(kNowMs, request);
    EXPECT_EQ(sent.retcode, row.retcode);
    EXPECT_EQ(sent.bid, quote.bid);
    EXPECT_EQ(sent.ask, quote.ask);
    const bool done = row.retcode == wire::TRADE_RETCODE_DONE;
    EXPECT_EQ(bench.ledger_.positions().size(), done ? 1u : 0u);
    if (done) {
      EXPECT_EQ(sent.price, bench.Offset(u"EURUSD", quote.ask, row.slip));
    }
  }
}

// order_send through the terminal, for an account with a latency.
TEST(LatencyTest, AMarketOrderFillsAtTheFirstTickAfterTheLatencyUnlessTheClockStandsStill) {
  constexpr std::uint32_t kLatencyMs = 10000;
  struct Row {
    const char* name;
    bool stepped;
    std::uint32_t speed;
  };
  const Row rows[] = {{"stepped", true, 0}, {"running", false, 20}, {"standing", false, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Settings settings = vl5::terminal::testing::TestSettings();
    settings.stepped = row.stepped;
    settings.clock_speed = row.speed;
    for (AccountConfig& account : settings.accounts) account.latency_ms = kLatencyMs;
    Terminal terminal(std::move(settings), vl5::terminal::testing::TestFolders());
    server::ClientState client;
    const std::size_t eurusd = *terminal.market().Find(u"EURUSD");
    market::Tick at_send, after;
    // The minutes ahead made first, so that the running clock moves little before the order goes.
    market::ScanTicks(terminal.market().path(eurusd), terminal.NowMs() - 60000, terminal.NowMs() + 120000,
                      market::TickFilter::kAll, 1000, [](const market::Tick&) {});
    const std::int64_t sent_ms = terminal.NowMs();
    ASSERT_TRUE(market::LastTick(terminal.market().path(eurusd), sent_ms, &at_send));
    ASSERT_EQ(market::ScanTicks(terminal.market().path(eurusd), sent_ms + kLatencyMs, sent_ms + 2 * kLatencyMs,
                                market::TickFilter::kAll, 1, [&](const market::Tick& t) { after = t; }),
              1);
    ASSERT_NE(after.ask, at_send.ask);
    const market::Tick& expected = row.stepped || row.speed > 0 ? after : at_send;

    std::array<std::uint8_t, wire::kTradeRequestSize> record{};
    auto put = [&](const char* name, auto value) {
      wire::Store(record.data(), wire::FindField(wire::kTradeRequestFields, name)->offset, value);
    };
    put("action", wire::TRADE_ACTION_DEAL);
    put("type", wire::ORDER_TYPE_BUY);
    put("volume", 0.1);
    const std::u16string symbol = u"EURUSD";
    std::memcpy(record.data() + wire::FindField(wire::kTradeRequestFields, "symbol")->offset, symbol.data(),
                2 * symbol.size());
    const vl5::terminal::testing::Reply reply = vl5::terminal::testing::Call(
        terminal, client, wire::kCmdOrderSend, vl5::terminal::testing::Request().Add(record).bytes(), sent_ms);
    ASSERT_EQ(reply.At<std::uint32_t>(wire::FindField(wire::kOrderSendResultFields, "retcode")->offset),
              wire::TRADE_RETCODE_DONE);
    const double price = reply.At<double>(wire::FindField(wire::kOrderSendResultFields, "price")->offset);
    EXPECT_EQ(price, terminal.market().spec(eurusd).Price(expected.ask));
    std::int64_t deal_ms = 0;
    ASSERT_TRUE(
        terminal.Trade(sent_ms, [&](Engine& engine) { deal_ms = engine.desk().ledger.deals().back().time_msc; }));
    EXPECT_EQ(deal_ms, expected.time_msc == at_send.time_msc ? sent_ms : expected.time_msc);
    if (row.stepped) {
      EXPECT_EQ(terminal.NowMs(), sent_ms);  // the clock did not move
    } else {
      EXPECT_GE(terminal.NowMs(), deal_ms);  // the answer came once the clock had passed the fill
    }
  }
}

TEST(FillSettingsTest, TheFillKeysReadOrStopTheFileNamingTheKey) {
  struct Row {
    const char* line;
    bool ok;
    Slippage::Model model;
    std::int32_t low, high;
  };
  const Row rows[] = {
      {"slippage=none", true, Slippage::Model::kNone, 0, 0},
      {"slippage=Fixed 7", true, Slippage::Model::kFixed, 7, 7},
      {"slippage=random 2-9", true, Slippage::Model::kRandom, 2, 9},
      {"slippage=book 40", true, Slippage::Model::kBook, 40, 40},
      {"slippage=random 9-2", false, {}, 0, 0},
      {"slippage=fixed", false, {}, 0, 0},
      {"slippage=fixed -1", false, {}, 0, 0},
      {"slippage=fixed 100001", false, {}, 0, 0},
      {"slippage=none 3", false, {}, 0, 0},
      {"slippage=sometimes", false, {}, 0, 0},
      {"book_fills=maybe", false, {}, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Settings s;
    std::string error;
    ASSERT_EQ(ApplyIni(&s, std::string("[Symbol EURUSD]\n") + row.line + "\n", &error), row.ok) << error;
    if (!row.ok) {
      EXPECT_NE(error.find("line 2: bad value"), std::string::npos) << error;
      continue;
    }
    std::vector<market::SymbolSpec> specs;
    market::SymbolProblem problem;
    ASSERT_TRUE(market::BuildSymbols(s.symbols, &specs, &problem)) << problem.message;
    const auto eurusd = std::find_if(specs.begin(), specs.end(), [](const auto& x) { return x.name == u"EURUSD"; });
    ASSERT_NE(eurusd, specs.end());
    EXPECT_EQ(eurusd->slippage.model, row.model);
    EXPECT_EQ(eurusd->slippage.low, row.low);
    EXPECT_EQ(eurusd->slippage.high, row.high);
  }
  Settings s;
  std::string error;
  ASSERT_TRUE(ApplyIni(&s, "[Account 7]\nlatency_ms=10000\n[Symbol KSTL]\nbook_fills=0\n", &error)) << error;
  EXPECT_EQ(s.accounts[0].latency_ms, 10000u);
  std::vector<market::SymbolSpec> specs;
  market::SymbolProblem problem;
  ASSERT_TRUE(market::BuildSymbols(s.symbols, &specs, &problem)) << problem.message;
  const auto kstl = std::find_if(specs.begin(), specs.end(), [](const auto& x) { return x.name == u"KSTL"; });
  ASSERT_NE(kstl, specs.end());
  EXPECT_EQ(kstl->book_fills, std::optional<bool>(false));
  EXPECT_FALSE(ApplyIni(&s, "[Account 7]\nlatency_ms=10001\n", &error));
  EXPECT_EQ(error, "terminal.ini line 2: bad value '10001' for latency_ms in [account 7]");
}

}  // namespace
}  // namespace vl5::terminal::trading
