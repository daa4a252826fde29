// When a loaded symbol trades: never before its first bar nor after the end
// of its last one, where its quote stays at the last loaded tick; inside, by
// its trading hours, or, with `hours = data`, wherever a bar spans.
#include <gtest/gtest.h>

#include <memory>

#include "src/wire/market_codes.h"
#include "src/wire/trade_codes.h"
#include "terminal/base/calendar.h"
#include "terminal/base/settings.h"
#include "terminal/model/account/account.h"
#include "terminal/model/market/history.h"
#include "terminal/model/trading/engine.h"
#include "tests/cpp/terminal/market_fixture.h"
#include "tests/cpp/terminal/trading_fixture.h"

namespace vl5::terminal::trading {
namespace {

using market::Bar;
using market::History;
using market::testing::CollectTicks;

constexpr std::int64_t kDay = 86400;
const std::int64_t kMonday = market::DaysFromCivil(2024, 3, 4) * kDay;  // 00:00 UTC

// KSTL daily bars on Monday to Wednesday; EURUSD hourly bars 10:00 to 12:00
// on that Monday with 11:00 missing.
market::Histories Loaded() {
  auto days = std::make_shared<History>();
  days->timeframe = wire::TIMEFRAME_D1;
  for (int d = 0; d < 3; ++d)
    days->bars.push_back(Bar{kMonday + d * kDay, 18500, 18600, 18400, 18550 + d, 400, 2, 9000});
  auto hours = std::make_shared<History>();
  hours->timeframe = wire::TIMEFRAME_H1;
  for (int h : {10, 12}) hours->bars.push_back(Bar{kMonday + h * 3600, 108500, 108600, 108400, 108550, 400, 3, 0});
  return {{u"KSTL", days}, {u"EURUSD", hours}};
}

std::vector<market::SymbolSpec> Symbols(bool hours_from_data) {
  std::vector<market::SymbolSpec> specs = market::DefaultSymbols();
  for (market::SymbolSpec& spec : specs) spec.hours_from_data = hours_from_data;
  return specs;
}

TEST(HistoryOpenTest, TheEndOfTheDataIsTheEndOfTheMarket) {
  const market::Histories histories = Loaded();
  const market::Market market(Symbols(false), 1, histories);
  const std::size_t kstl = *market.Find(u"KSTL");
  Account account(DefaultAccounts()[0]);
  const std::int64_t session_ms = (kMonday + kDay + 15 * 3600) * 1000;     // Tuesday 15:00, in session
  const std::int64_t after_ms = (kMonday + 4 * kDay + 15 * 3600) * 1000;   // Friday 15:00: in the hours, past the data
  const std::int64_t before_ms = (kMonday - 3 * kDay + 15 * 3600) * 1000;  // the Friday before
  Ledger ledger(account.balance(), before_ms);
  const TradeRequest buy = testing::MarketOrder(u"KSTL", wire::ORDER_TYPE_BUY, 1);

  EXPECT_EQ(Engine(market, account, ledger, before_ms).Send(buy).retcode, wire::TRADE_RETCODE_MARKET_CLOSED);
  EXPECT_FALSE(market.IsOpen(kstl, market::FloorDiv(before_ms, 60000)));
  Engine inside(market, account, ledger, session_ms);
  inside.CatchUp();
  EXPECT_EQ(inside.Send(buy).retcode, wire::TRADE_RETCODE_DONE);

  Engine after(market, account, ledger, after_ms);
  after.CatchUp();
  EXPECT_EQ(after.Check(buy).retcode, wire::TRADE_RETCODE_MARKET_CLOSED);
  EXPECT_EQ(after.Send(buy).retcode, wire::TRADE_RETCODE_MARKET_CLOSED);
  EXPECT_EQ(ledger.positions().size(), 1u);
  EXPECT_FALSE(market.IsOpen(kstl, market::FloorDiv(after_ms, 60000)));
  EXPECT_TRUE(market.IsOpen(kstl, market::FloorDiv(session_ms, 60000)));
  // No tick after the last bar's close; the quote stays at it.
  const Bar& last = histories.at(u"KSTL")->bars.back();
  EXPECT_TRUE(CollectTicks(market.path(kstl), (last.time + kDay) * 1000, after_ms).empty());
  Quote quote;
  ASSERT_TRUE(QuoteAt(market, kstl, after_ms, &quote));
  EXPECT_EQ(quote.bid_points, last.close);
  EXPECT_LT(quote.time_msc, (last.time + kDay) * 1000);
}

TEST(HistoryOpenTest, HoursFromDataOpenTheMarketWhereABarSpansOnly) {
  const std::int64_t ten = kMonday + 10 * 3600;
  const struct {
    bool hours_from_data;
    std::int64_t at;  // seconds
    bool open;
  } cases[] = {
      {true, ten, true},
      {true, ten + 3599, true},  // the whole hour of a bar
      {true, ten + 3600, false},
      {true, ten + 7199, false},           // the missing hour
      {true, ten + 7200 + 59 * 60, true},  // the last bar's last minute
      {true, ten + 3 * 3600, false},       // after the data
      {true, ten - 60, false},             // before it
      {false, ten + 3600, true},           // a gap in the hours is open
      {false, ten + 3 * 3600, false},      // after the data, whatever the hours
  };
  for (bool from_data : {false, true}) {
    const market::Market market(Symbols(from_data), 1, Loaded());
    const std::size_t eurusd = *market.Find(u"EURUSD");
    for (const auto& c : cases) {
      if (c.hours_from_data != from_data) continue;
      EXPECT_EQ(market.IsOpen(eurusd, market::FloorDiv(c.at, 60)), c.open) << from_data << " " << c.at - ten;
    }
    // Either way the hourly bar's path spreads over its whole (open) hour.
    const std::vector<market::Tick> ticks = CollectTicks(market.path(eurusd), ten * 1000, (ten + 3600) * 1000 - 1);
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[3].time_msc, (ten + 59 * 60) * 1000);
  }
  // A daily bar of a share spreads over its session, or over the whole day with hours from the data.
  for (bool from_data : {false, true}) {
    const market::Market market(Symbols(from_data), 1, Loaded());
    const std::vector<market::Tick> ticks =
        CollectTicks(market.path(*market.Find(u"KSTL")), kMonday * 1000, (kMonday + kDay) * 1000 - 1);
    ASSERT_EQ(ticks.size(), 4u);
    const market::SymbolSpec& spec = market.spec(*market.Find(u"KSTL"));
    const std::int64_t first = from_data ? kMonday / 60 : spec.hours.NextOpen(kMonday / 60);
    EXPECT_EQ(ticks[0].time_msc, first * 60000) << from_data;
    EXPECT_EQ(ticks[3].time_msc,
              (from_data ? kMonday / 60 + 1439 : spec.hours.PreviousOpen(kMonday / 60 + 1439)) * 60000)
        << from_data;
  }
}

}  // namespace
}  // namespace vl5::terminal::trading
