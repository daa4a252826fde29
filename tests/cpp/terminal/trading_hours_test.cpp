// Trading hours: weekly hours per symbol kind, gaps in ticks and bars,
// trades refused while closed, and orders the price gapped through.
#include <gtest/gtest.h>

#include "terminal/base/calendar.h"
#include "terminal/model/market/trading_hours.h"
#include "tests/cpp/terminal/trading_fixture.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::trading {
namespace {

using market::TradingHours;
using market::testing::CollectBars;
using market::testing::CollectTicks;
using market::testing::IndexOf;
using market::testing::kNowMs;
using testing::MarketOrder;
using testing::PendingOrder;

// The weekend before kNowMs: currencies close on Friday 2023-11-10 at 22:00
// UTC and open again on Sunday 2023-11-12 at 22:00.
constexpr std::int64_t kFridayCloseMs = 1699653600LL * 1000;
constexpr std::int64_t kSundayOpenMs = 1699826400LL * 1000;
constexpr std::int64_t kSaturdayNoonMs = 1699704000LL * 1000;
constexpr std::int64_t kHourMs = 3600 * 1000;

TEST(TradingHoursTest, WeeklyHoursPerSymbolKind) {
  const market::Market market(market::DefaultSymbols(), 1);
  auto open = [&](const char16_t* name, std::int64_t ms) {
    return market.spec(IndexOf(market, name)).hours.Open(ms / 60000);
  };
  const std::int64_t tuesday = market::DaysFromCivil(2023, 11, 14) * 86400 * 1000;
  const struct {
    const char16_t* name;
    std::int64_t ms;
    bool open;
  } cases[] = {
      {u"EURUSD", kFridayCloseMs - 1, true},
      {u"EURUSD", kFridayCloseMs, false},
      {u"EURUSD", kSaturdayNoonMs, false},
      {u"EURUSD", kSundayOpenMs - 1, false},
      {u"EURUSD", kSundayOpenMs, true},
      {u"XAUUSD", kSaturdayNoonMs, false},
      {u"BTCUSD", kSaturdayNoonMs, true},
      {u"KSTL", kSaturdayNoonMs, false},
      {u"KSTL", tuesday + 14 * kHourMs + 29 * 60000, false},
      {u"KSTL", tuesday + 14 * kHourMs + 30 * 60000, true},
      {u"US500", tuesday + 21 * kHourMs - 1, true},
      {u"US500", tuesday + 21 * kHourMs, false},
      // Exchanges trade on Fridays too (Friday 2023-11-10, 15:00 UTC).
      {u"KSTL", kFridayCloseMs - 7 * kHourMs, true},
      {u"US500", kFridayCloseMs - 7 * kHourMs, true},
  };
  for (const auto& c : cases) EXPECT_EQ(open(c.name, c.ms), c.open) << c.ms;

  const TradingHours& week = market.spec(IndexOf(market, u"EURUSD")).hours;
  EXPECT_EQ(week.NextOpen(kSaturdayNoonMs / 60000), kSundayOpenMs / 60000);
  EXPECT_EQ(week.PreviousOpen(kSaturdayNoonMs / 60000), kFridayCloseMs / 60000 - 1);
  EXPECT_EQ(week.NextOpen(kNowMs / 60000), kNowMs / 60000);
}

TEST(TradingHoursTest, NoTickOrBarInsideTheWeekendAndTheRestUnchanged) {
  const market::Market market(market::DefaultSymbols(), 1);
  std::vector<market::SymbolSpec> always = market::DefaultSymbols();
  for (market::SymbolSpec& spec : always) spec.hours = TradingHours();
  const market::Market raw(std::move(always), 1);
  const std::size_t eurusd = IndexOf(market, u"EURUSD");
  const market::PricePath& path = market.path(eurusd);

  EXPECT_TRUE(CollectTicks(path, kFridayCloseMs, kSundayOpenMs - 1).empty());
  // Around the weekend, the same seed gives the same prices as without hours;
  // only the first quote after the gap announces both sides as new.
  const auto ticks = CollectTicks(path, kFridayCloseMs - kHourMs, kSundayOpenMs + kHourMs);
  const auto expected = CollectTicks(raw.path(eurusd), kFridayCloseMs - kHourMs, kSundayOpenMs + kHourMs);
  std::size_t j = 0;
  for (const market::Tick& t : expected) {
    if (t.time_msc >= kFridayCloseMs && t.time_msc < kSundayOpenMs) continue;
    ASSERT_LT(j, ticks.size());
    EXPECT_EQ(ticks[j].time_msc, t.time_msc);
    EXPECT_EQ(ticks[j].bid, t.bid);
    EXPECT_EQ(ticks[j].ask, t.ask);
    if (t.time_msc != kSundayOpenMs) {
      EXPECT_EQ(ticks[j].flags, t.flags);
    }
    ++j;
  }
  EXPECT_EQ(j, ticks.size());
  for (const market::Tick& t : ticks) {
    if (t.time_msc == kSundayOpenMs) {
      EXPECT_EQ(t.flags, wire::TICK_FLAG_BID | wire::TICK_FLAG_ASK);
    }
  }

  // H1 from Friday 00:00 to Monday 00:00: Friday's 22 hours and Sunday's last two.
  const std::int64_t friday = kFridayCloseMs / 1000 - 22 * 3600;
  const market::BarSpan span =
      market::BarsRange(path, wire::TIMEFRAME_H1, friday, friday + 3 * 86400 - 1, kNowMs, 1000);
  const auto bars = CollectBars(path, market.days(eurusd), wire::TIMEFRAME_H1, span);
  ASSERT_EQ(span.Count(), 24);
  ASSERT_EQ(bars.size(), 24u);
  EXPECT_EQ(bars[21].time, kFridayCloseMs / 1000 - 3600);
  EXPECT_EQ(bars[22].time, kSundayOpenMs / 1000);
  // A day and a week aggregate only the open hours: Saturday has no D1 bar.
  const auto days =
      CollectBars(path, market.days(eurusd), wire::TIMEFRAME_D1,
                  market::BarsRange(path, wire::TIMEFRAME_D1, friday, friday + 3 * 86400 - 1, kNowMs, 10));
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[1].time, friday + 2 * 86400);
  EXPECT_EQ(days[1].open, bars[22].open);
  // Counting back skips the weekend: of 3 bars up to Sunday's first, 2 are Friday's.
  const market::BarSpan back = market::BarsFrom(path, wire::TIMEFRAME_H1, kSundayOpenMs / 1000, 3, kNowMs, 1000);
  const auto last3 = CollectBars(path, nullptr, wire::TIMEFRAME_H1, back);
  ASSERT_EQ(last3.size(), 3u);
  EXPECT_EQ(last3[1].time, kFridayCloseMs / 1000 - 3600);
  // Between hours the quote is Friday's last.
  market::Tick last;
  ASSERT_TRUE(market::LastTick(path, kSaturdayNoonMs, &last));
  EXPECT_LT(last.time_msc, kFridayCloseMs);
  EXPECT_GE(last.time_msc, kFridayCloseMs - 60000);
}

class WeekendTest : public ::testing::Test, public testing::TradingBench {
 protected:
  WeekendTest() : TradingBench(kFridayCloseMs - kHourMs) {}
};

TEST_F(WeekendTest, TradesAreRefusedWhileTheMarketIsClosed) {
  Engine saturday = At(kSaturdayNoonMs);
  EXPECT_EQ(saturday.Check(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1)).retcode,
            wire::TRADE_RETCODE_MARKET_CLOSED);
  const SendResult refused = saturday.Send(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.1));
  EXPECT_EQ(refused.retcode, wire::TRADE_RETCODE_MARKET_CLOSED);
  EXPECT_EQ(refused.deal, 0u);
  EXPECT_GT(refused.bid, 0.0);  // Friday's last quote
  EXPECT_EQ(saturday.Send(PendingOrder(u"EURUSD", wire::ORDER_TYPE_BUY_LIMIT, 0.1, 1.0)).retcode,
            wire::TRADE_RETCODE_MARKET_CLOSED);
  EXPECT_EQ(saturday.Send(MarketOrder(u"BTCUSD", wire::ORDER_TYPE_BUY, 0.1)).retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(ledger_.positions().size(), 1u);
}

TEST_F(WeekendTest, AStopGappedOverTheWeekendFillsAtTheFirstPriceAfterIt) {
  const std::int64_t placed = kFridayCloseMs - 1000;
  const Quote friday = QuoteOf(u"EURUSD", placed);
  const Quote sunday = QuoteOf(u"EURUSD", kSundayOpenMs);
  ASSERT_EQ(sunday.time_msc, kSundayOpenMs);
  const bool up = sunday.ask > friday.ask;
  const double gap = up ? sunday.ask - friday.ask : friday.bid - sunday.bid;
  ASSERT_GT(gap, 20 * Spec(u"EURUSD").Point()) << "the seed's weekend gap is too small for this test";
  // A stop halfway into the gap, on the side the market opened.
  const double level = up ? Offset(u"EURUSD", friday.ask, 10) : Offset(u"EURUSD", friday.bid, -10);
  const SendResult order =
      Send(placed, PendingOrder(u"EURUSD", up ? wire::ORDER_TYPE_BUY_STOP : wire::ORDER_TYPE_SELL_STOP, 0.1, level));
  ASSERT_EQ(order.retcode, wire::TRADE_RETCODE_PLACED);
  At(kSaturdayNoonMs);
  EXPECT_EQ(ledger_.orders().size(), 1u);  // nothing trades over the weekend
  At(kSundayOpenMs + kHourMs);
  ASSERT_EQ(ledger_.positions().size(), 1u);
  const Position& position = ledger_.positions()[0];
  EXPECT_EQ(position.time_msc, kSundayOpenMs);
  EXPECT_EQ(position.price_open, up ? sunday.ask : sunday.bid);  // not the stop's own price
  EXPECT_NE(position.price_open, level);
}

}  // namespace
}  // namespace vl5::terminal::trading
