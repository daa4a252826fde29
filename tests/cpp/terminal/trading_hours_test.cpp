// Trading hours: weekly hours per symbol kind, gaps in ticks and bars,
// trades refused while closed, and orders the price gapped through.
#include <gtest/gtest.h>

#include "terminal/base/calendar.h"
#include "terminal/base/zone_files.h"
#include "terminal/model/market/hours_text.h"
#include "terminal/model/market/trading_hours.h"
#include "terminal/model/terminal.h"
#include "terminal/server/settings_table.h"
#include "tests/cpp/terminal/request_helpers.h"
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

// Unix minutes of a UTC date and time.
std::int64_t Minute(int year, int month, int day, int hour, int minute = 0) {
  return market::DaysFromCivil(year, month, day) * 1440 + hour * 60 + minute;
}

// The built-in hours follow New York's summer time: 17:00 there is 21:00
// UTC in summer and 22:00 in winter; 09:30 is 13:30 or 14:30.
TEST(TradingHoursTest, NewYorkHoursMoveWithItsSummerTime) {
  const market::Market market(market::DefaultSymbols(), 1);
  const TradingHours& fx = market.spec(IndexOf(market, u"EURUSD")).hours;
  const TradingHours& stock = market.spec(IndexOf(market, u"KSTL")).hours;
  const struct {
    const TradingHours* hours;
    std::int64_t minute;  // the first open (or closed) minute
    bool opens;           // else it closes there
  } edges[] = {
      {&fx, Minute(2024, 7, 7, 21), true},    // Sunday, July
      {&fx, Minute(2024, 7, 12, 21), false},  // Friday, July
      {&fx, Minute(2024, 1, 7, 22), true},    // Sunday, January
      {&fx, Minute(2024, 1, 12, 22), false},  // Friday, January
      {&fx, Minute(2024, 3, 8, 22), false},   // Friday before the change to summer time
      {&fx, Minute(2024, 3, 10, 21), true},   // Sunday of the change, 17:00 EDT
      {&fx, Minute(2024, 11, 1, 21), false},  // Friday before the change back
      {&fx, Minute(2024, 11, 3, 22), true},   // Sunday of the change, 17:00 EST
      {&stock, Minute(2024, 7, 9, 13, 30), true},  {&stock, Minute(2024, 7, 9, 20), false},
      {&stock, Minute(2024, 1, 9, 14, 30), true},  {&stock, Minute(2024, 1, 9, 21), false},
      {&stock, Minute(2024, 3, 11, 13, 30), true},  // the Monday after the change
      {&stock, Minute(2024, 11, 4, 14, 30), true},
  };
  for (const auto& e : edges) {
    EXPECT_EQ(e.hours->Open(e.minute), e.opens) << e.minute;
    EXPECT_EQ(e.hours->Open(e.minute - 1), !e.opens) << e.minute;
  }
  // Over the weekends of the changes.
  const struct {
    std::int64_t from, next, previous;
  } searches[] = {
      {Minute(2024, 3, 9, 12), Minute(2024, 3, 10, 21), Minute(2024, 3, 8, 22) - 1},
      {Minute(2024, 11, 2, 12), Minute(2024, 11, 3, 22), Minute(2024, 11, 1, 21) - 1},
      {Minute(2024, 7, 13, 0), Minute(2024, 7, 14, 21), Minute(2024, 7, 12, 21) - 1},
  };
  for (const auto& s : searches) {
    EXPECT_EQ(fx.NextOpen(s.from), s.next) << s.from;
    EXPECT_EQ(fx.PreviousOpen(s.from), s.previous) << s.from;
  }
}

// Window edges inside the hour the clocks skip or repeat (New York, 2024:
// 02:00 EST became 03:00 EDT on March 10, 02:00 EDT became 01:00 EST on
// November 3).
TEST(TradingHoursTest, EdgesInsideTheSkippedOrRepeatedHour) {
  std::string error;
  const std::shared_ptr<const TimeZone> ny = LoadTimeZone("America/New_York", &error);
  ASSERT_NE(ny, nullptr) << error;
  const std::int64_t sunday = 0;
  // Sunday 02:30 to 12:00: in March it opens when the clocks jump, 07:00 UTC.
  const TradingHours late({{sunday + 150, sunday + 720}}, ny);
  EXPECT_FALSE(late.Open(Minute(2024, 3, 10, 7) - 1));
  EXPECT_TRUE(late.Open(Minute(2024, 3, 10, 7)));
  EXPECT_EQ(late.NextOpen(Minute(2024, 3, 9, 0)), Minute(2024, 3, 10, 7));
  // Sunday 01:30 to 12:00: in November it opens at the first 01:30 (EDT,
  // 05:30 UTC) and stays open while 01:00-02:00 comes again.
  const TradingHours early({{sunday + 90, sunday + 720}}, ny);
  EXPECT_FALSE(early.Open(Minute(2024, 11, 3, 5, 29)));
  EXPECT_TRUE(early.Open(Minute(2024, 11, 3, 5, 30)));
  EXPECT_TRUE(early.Open(Minute(2024, 11, 3, 6, 15)));  // 01:15 EST
  EXPECT_EQ(early.NextOpen(Minute(2024, 11, 2, 0)), Minute(2024, 11, 3, 5, 30));
  // Saturday 12:00 to Sunday 01:30: closed from the first 01:30 on, and
  // stays closed through the repeated hour.
  const TradingHours until({{6 * 1440 + 720, 7 * 1440}, {sunday, sunday + 90}}, ny);
  EXPECT_TRUE(until.Open(Minute(2024, 11, 3, 5, 29)));
  EXPECT_FALSE(until.Open(Minute(2024, 11, 3, 5, 30)));
  EXPECT_FALSE(until.Open(Minute(2024, 11, 3, 6, 15)));
  EXPECT_EQ(until.PreviousOpen(Minute(2024, 11, 3, 6, 15)), Minute(2024, 11, 3, 5, 29));
  EXPECT_EQ(until.NextOpen(Minute(2024, 11, 3, 6, 15)), Minute(2024, 11, 9, 17));  // Saturday 12:00 EST
}

// The keys of a [Symbol] section reach the symbol: new hours in a new zone,
// a zone alone moving the symbol's own hours, `data`; the cached days of
// hours in another zone are other days.
TEST(TradingHoursTest, TheSettingsKeysSetTheSymbolsHours) {
#ifdef _WIN32
  GTEST_SKIP() << "zones other than the built-in ones come from a zone folder, which Windows lacks";
#endif
  Settings settings;
  std::string error;
  ASSERT_TRUE(ApplyIni(&settings,
                       "[Symbol KSTL]\ntimezone=Europe/London\nhours=Mon-Fri 08:00-16:30\n"
                       "[Symbol EURUSD]\ntimezone=Asia/Tokyo\n[Symbol BTCUSD]\nhours=data\n",
                       &error))
      << error;
  const Terminal terminal(settings, terminal::testing::TestFolders());
  const market::Market& market = terminal.market();
  const market::SymbolSpec& kstl = market.spec(IndexOf(market, u"KSTL"));
  EXPECT_FALSE(kstl.hours.Open(Minute(2024, 7, 9, 7) - 1));  // 08:00 BST
  EXPECT_TRUE(kstl.hours.Open(Minute(2024, 7, 9, 7)));
  EXPECT_TRUE(kstl.hours.Open(Minute(2024, 7, 9, 15, 29)));
  EXPECT_FALSE(kstl.hours.Open(Minute(2024, 7, 9, 15, 30)));
  const market::SymbolSpec& eurusd = market.spec(IndexOf(market, u"EURUSD"));
  EXPECT_FALSE(eurusd.hours.Open(Minute(2024, 7, 7, 8) - 1));  // Sunday 17:00 in Tokyo
  EXPECT_TRUE(eurusd.hours.Open(Minute(2024, 7, 7, 8)));
  const market::SymbolSpec& btcusd = market.spec(IndexOf(market, u"BTCUSD"));
  EXPECT_TRUE(btcusd.hours_from_data);
  EXPECT_TRUE(btcusd.hours.always_open());
  const market::Market built_in(market::DefaultSymbols(), 1);
  const std::size_t i = IndexOf(market, u"EURUSD");
  EXPECT_NE(market.path(i).Fingerprint(), built_in.path(i).Fingerprint());
  EXPECT_EQ(market.path(IndexOf(market, u"GBPUSD")).Fingerprint(),
            built_in.path(IndexOf(market, u"GBPUSD")).Fingerprint());
}

TEST(HoursTextTest, WindowsAlwaysAndDataAreReadAndImpossibleHoursRefused) {
  using W = std::vector<market::OpenWindow>;
  const std::int64_t d = 1440;
  const struct {
    const char* text;
    W windows;
  } good[] = {
      {"Mon-Fri 09:30-16:00",
       {{d + 570, d + 960},
        {2 * d + 570, 2 * d + 960},
        {3 * d + 570, 3 * d + 960},
        {4 * d + 570, 4 * d + 960},
        {5 * d + 570, 5 * d + 960}}},
      {"Sun 17:00 - Fri 17:00", {{1020, 5 * d + 1020}}},
      {"mon-thu 00:00-24:00, FRI 00:00-22:00",
       {{d, 2 * d}, {2 * d, 3 * d}, {3 * d, 4 * d}, {4 * d, 5 * d}, {5 * d, 5 * d + 1320}}},
      {"Fri 22:00 - Sun 22:00", {{0, 1320}, {5 * d + 1320, 7 * d}}},  // over the week's end
      {"Sat 10:00-14:00", {{6 * d + 600, 6 * d + 840}}},
  };
  for (const auto& row : good) {
    market::HoursText hours;
    std::string error;
    ASSERT_TRUE(market::ParseHoursText(row.text, &hours, &error)) << row.text << ": " << error;
    ASSERT_EQ(hours.windows.size(), row.windows.size()) << row.text;
    for (std::size_t i = 0; i < row.windows.size(); ++i) {
      EXPECT_EQ(hours.windows[i].open, row.windows[i].open) << row.text << " #" << i;
      EXPECT_EQ(hours.windows[i].close, row.windows[i].close) << row.text << " #" << i;
    }
  }
  market::HoursText hours;
  std::string error;
  ASSERT_TRUE(market::ParseHoursText(" Always ", &hours, &error));
  EXPECT_TRUE(hours.always && hours.windows.empty() && !hours.from_data);
  ASSERT_TRUE(market::ParseHoursText("data", &hours, &error));
  EXPECT_TRUE(hours.from_data && !hours.always);

  const struct {
    const char* text;
    const char* reason;
  } bad[] = {
      {"Mon-Fri 09:30-24:01", "not a time of day"},
      {"Mon-Fri 09:60-16:00", "not a time of day"},
      {"Mon-Fri 16:00-09:30", "a window ends before it starts (16:00-09:30)"},
      {"Mon-Fri 09:30-09:30", "ends before it starts"},
      {"Mon-Fri 09:00-17:00, Wed 16:00-18:00", "overlap"},
      {"Sun 17:00 - Fri 17:00, Fri 16:00-18:00", "overlap"},
      {"Mon-Fry 09:30-16:00", "unknown day 'fry'"},
      {"Mon-Fri 9:30", "'-' is missing"},
      {"Mon-Fri 0930-1600", "not a time"},
      {"Sun 17:00 - Sun 17:00", "empty"},
      {"Mon-Fri 09:30-16:00 x", "unexpected text"},
      {"", "no hours"},
      {"  ", "no hours"},
  };
  for (const auto& row : bad) {
    EXPECT_FALSE(market::ParseHoursText(row.text, &hours, &error)) << row.text;
    EXPECT_NE(error.find(row.reason), std::string::npos) << row.text << ": " << error;
  }
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
