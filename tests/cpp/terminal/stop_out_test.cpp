// Stop-out: an account whose margin level falls below its stop-out level has
// its most losing position closed at the first tick that takes it there.
#include <gtest/gtest.h>

#include <algorithm>

#include "terminal/model/trading/money.h"
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
  Engine(market, account, ledger, kNowMs).Send(MarketOrder(u"EURUSD", buy ? wire::ORDER_TYPE_BUY : wire::ORDER_TYPE_SELL, kVolume));
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

}  // namespace
}  // namespace vl5::terminal::trading
