// Stop-out: an account whose margin level falls below its stop-out level has
// its most losing position closed at the first tick that takes it there.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "terminal/model/trading/money.h"
#include "terminal/model/trading/stop_out.h"
#include "tests/cpp/terminal/trading_fixture.h"

namespace vl5::terminal::trading {
namespace {

using market::testing::CollectTicks;
using market::testing::kNowMs;
using testing::MarketOrder;

constexpr std::int64_t kWindowMs = 24 * 3600 * 1000;  // Tuesday evening to Wednesday evening
constexpr double kVolume = 0.1;

TEST(StopOutTest, ALosingPositionIsClosedAtTheStopOutLevelWithItsReason) {
  const market::Market market(market::DefaultSymbols(), 1);
  const std::size_t eurusd = *market.Find(u"EURUSD");
  const market::SymbolSpec& spec = market.spec(eurusd);
  // The side that loses most over the window, and what it loses at worst.
  const auto ticks = CollectTicks(market.path(eurusd), kNowMs + 1, kNowMs + kWindowMs);
  Quote open;
  ASSERT_TRUE(QuoteAt(market, eurusd, kNowMs, &open));
  std::int64_t low = open.bid_points, high = open.ask_points;
  for (const market::Tick& t : ticks) {
    low = std::min(low, t.bid);
    high = std::max(high, t.ask);
  }
  const bool buy = open.bid_points - low > high - open.ask_points;
  const double price = buy ? open.ask : open.bid;
  const double worst = ProfitFor(market, eurusd, buy, kVolume, price, spec.Price(buy ? low : high), kNowMs);
  ASSERT_LT(worst, -20.0) << "the seed's market hardly moves against either side";

  // A balance that half the worst loss brings to the stop-out level of 100 %.
  const double margin = MarginFor(market, eurusd, kVolume, price, 100, kNowMs);
  AccountConfig config = DefaultAccounts()[0];
  config.margin_stop_out = 100.0;
  config.balance = RoundMoney(margin - worst / 2.0);
  Account account(config);
  Ledger ledger(config.balance, kNowMs);
  Engine(market, account, ledger, kNowMs)
      .Send(MarketOrder(u"EURUSD", buy ? wire::ORDER_TYPE_BUY : wire::ORDER_TYPE_SELL, kVolume));
  ASSERT_EQ(ledger.positions().size(), 1u);
  Engine later(market, account, ledger, kNowMs + kWindowMs);
  later.CatchUp();

  EXPECT_TRUE(ledger.positions().empty());
  const Deal& out = ledger.deals().back();
  EXPECT_EQ(out.reason, wire::DEAL_REASON_SO);
  EXPECT_EQ(out.entry, wire::DEAL_ENTRY_OUT);
  // Closed at the first tick whose price takes the equity below the margin.
  // The window holds one rollover, at midnight; from then on the swap counts too.
  const std::int64_t midnight = (kNowMs / 86400000 + 1) * 86400000;
  const double floor = margin - config.balance;  // the loss that reaches the level
  EXPECT_LT(out.profit + out.swap, floor);
  for (const market::Tick& t : ticks) {
    if (t.time_msc >= out.time_msc) break;
    const double swap = t.time_msc >= midnight ? out.swap : 0.0;
    EXPECT_GE(ProfitFor(market, eurusd, buy, kVolume, price, spec.Price(buy ? t.bid : t.ask), kNowMs) + swap, floor)
        << "a tick at " << t.time_msc << " was already below the level";
  }
  EXPECT_NEAR(account.balance(), config.balance + out.profit + out.swap, 1e-9);
}

// Below the level, the most losing position whose market is open goes first,
// then the next, until the level recovers. kNowMs is after the exchange's
// close: US500 still shows its last price, but nothing of it trades.
TEST(StopOutTest, TheMostLosingOpenMarketGoesFirstOneAtATimeUntilTheLevelRecovers) {
  struct Held {
    const char16_t* symbol;
    double loss;  // one lot, each with 100 of margin
  };
  struct Case {
    const char* what;
    std::vector<Held> held;           // in ledger order
    double balance;                   // stop-out at 50 %
    std::vector<std::size_t> closed;  // indexes into held, in the order closed
  };
  // With 520 and losses of 450 the equity is 70: 23 % of 300 margin, 35 % of 200, 70 % of 100.
  const Case cases[] = {
      {"most losing first, until recovered", {{u"EURUSD", 50}, {u"EURUSD", 300}, {u"GBPUSD", 100}}, 520, {1, 2}},
      // Equity 130: 43 % of 300; without EURUSD 65 % of 200.
      {"a closed market is passed over", {{u"US500", 400}, {u"EURUSD", 100}, {u"GBPUSD", 50}}, 680, {1}},
      {"nothing open to close", {{u"US500", 400}}, 420, {}},
  };
  const market::Market market(market::DefaultSymbols(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AccountConfig config = DefaultAccounts()[0];
    config.balance = c.balance;
    config.margin_stop_out = 50.0;
    config.commission_per_lot = config.commission_percent = 0.0;
    Account account(config);
    Ledger ledger(config.balance, kNowMs);
    std::vector<std::uint64_t> tickets;
    for (const Held& held : c.held) {
      const std::size_t symbol = *market.Find(held.symbol);
      Quote quote;
      ASSERT_TRUE(QuoteAt(market, symbol, kNowMs, &quote));
      Position position;
      position.ticket = ledger.NextTicket();
      position.symbol = symbol;
      position.time_msc = position.update_msc = kNowMs - 3600 * 1000;
      position.volume = 1.0;
      position.price_open = quote.bid + held.loss / market.spec(symbol).contract_size;
      position.margin = 100.0;
      ledger.positions().push_back(position);
      tickets.push_back(position.ticket);
    }
    Desk desk{market, account, ledger, kNowMs};
    StopOut(desk);

    std::vector<std::uint64_t> closed, expected;
    for (const Deal& deal : ledger.deals()) {
      if (deal.reason == wire::DEAL_REASON_SO) closed.push_back(deal.position_id);
    }
    for (std::size_t i : c.closed) expected.push_back(tickets[i]);
    EXPECT_EQ(closed, expected);
    EXPECT_EQ(ledger.positions().size(), c.held.size() - c.closed.size());
  }
}

}  // namespace
}  // namespace vl5::terminal::trading
