// Bars: aggregation across timeframes, the query shapes, and a million bars
// (bench/bars_bench.cpp times those).
#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "terminal/base/calendar.h"
#include "terminal/model/market/day_cache.h"
#include "tests/cpp/terminal/market_fixture.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {
namespace {

using testing::CollectBars;
using testing::IndexOf;
using testing::kNowMs;
using testing::SameBar;

constexpr std::int64_t kLimit = 5000000;

// Groups shorter bars by the longer bar that holds them, merged in order.
std::vector<Bar> Regroup(const std::vector<Bar>& shorter, std::int32_t timeframe) {
  std::vector<Bar> longer;
  for (const Bar& bar : shorter) {
    const std::int64_t open = BarOpen(timeframe, BarIndex(timeframe, bar.time));
    if (longer.empty() || longer.back().time != open) {
      longer.emplace_back();
      longer.back().time = open;
    }
    Merge(&longer.back(), bar);
  }
  return longer;
}

void ExpectWellFormed(const std::vector<Bar>& bars, std::int32_t timeframe) {
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const Bar& b = bars[i];
    EXPECT_GE(b.high, std::max(b.open, b.close));
    EXPECT_LE(b.low, std::min(b.open, b.close));
    EXPECT_GT(b.tick_volume, 0u);
    EXPECT_GT(b.spread, 0);
    if (i > 0) {  // in order; gaps where the market was closed
      EXPECT_GT(BarIndex(timeframe, b.time), BarIndex(timeframe, bars[i - 1].time));
    }
  }
}

TEST(BarsTest, EveryTimeframeIsTheAggregateOfItsMinutes) {
  Market market(DefaultSymbols(), 5);
  const std::size_t index = IndexOf(market, u"XAUUSD");
  const PricePath& path = market.path(index);
  // Three days of minutes up to the clock, the last bars partial.
  const BarSpan minutes = BarsFromPos(path, wire::TIMEFRAME_M1, 0, 3 * 1440 + 500, kNowMs, kLimit);
  const std::vector<Bar> m1 = CollectBars(path, nullptr, wire::TIMEFRAME_M1, minutes);
  ASSERT_EQ(static_cast<std::int64_t>(m1.size()), minutes.Count());
  for (std::int32_t tf : {2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60, 120, 180, 240, 360, 480, 720, 1440}) {
    std::vector<Bar> expected = Regroup(m1, tf);
    expected.erase(expected.begin());  // the first one only holds the tail of its bar
    const BarSpan span = BarsRange(path, tf, expected.front().time, kNowMs / 1000, kNowMs, kLimit);
    const std::vector<Bar> got = CollectBars(path, market.days(index), tf, span);
    ASSERT_EQ(got.size(), expected.size()) << tf;
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(SameBar(got[i], expected[i])) << tf << " bar " << i;
    ExpectWellFormed(got, tf);
  }
}

TEST(BarsTest, MinuteBarsOfCompletedDaysComeFromTheCacheUnchanged) {
  // Enough days to be generated ahead on several threads, and a symbol with trades.
  Market market(DefaultSymbols(), 9);
  const std::size_t index = IndexOf(market, u"KSTL");
  const PricePath& path = market.path(index);
  const BarSpan span = BarsFromPos(path, wire::TIMEFRAME_M1, 0, 12 * 1440 + 77, kNowMs, kLimit);
  const std::vector<Bar> from_ticks = CollectBars(path, nullptr, wire::TIMEFRAME_M1, span);
  ASSERT_EQ(static_cast<std::int64_t>(from_ticks.size()), span.Count());
  for (int pass = 0; pass < 2; ++pass) {  // generated, then kept
    const std::vector<Bar> got = CollectBars(path, market.days(index), wire::TIMEFRAME_M1, span);
    ASSERT_EQ(got.size(), from_ticks.size());
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_TRUE(SameBar(got[i], from_ticks[i])) << pass << " bar " << i;
  }
}

TEST(BarsTest, KeptMinuteBarsStayWithinOneBudgetForAllSymbols) {
  Market market(DefaultSymbols(), 9, {}, 5);
  const std::int64_t week_ago = kNowMs / 1000 - 7 * 86400;
  auto week = [&](const char16_t* name) {  // over a week of completed M1 bars
    const std::size_t index = IndexOf(market, name);
    const PricePath& path = market.path(index);
    return CollectBars(path, market.days(index), wire::TIMEFRAME_M1,
                       BarsRange(path, wire::TIMEFRAME_M1, week_ago - 86400, week_ago + 6 * 86400, kNowMs, kLimit));
  };
  const std::vector<Bar> first = week(u"EURUSD");
  ASSERT_GE(first.size(), 5u * 1440);  // five trading days, more calendar days than are kept
  EXPECT_EQ(market.kept_minutes().size(), 5u);
  for (const char16_t* name : {u"GBPUSD", u"KSTL", u"BTCUSD"}) {
    week(name);
    EXPECT_EQ(market.kept_minutes().size(), 5u) << IndexOf(market, name);
  }
  // EURUSD's days were pushed out by the others' and come back the same.
  const std::vector<Bar> again = week(u"EURUSD");
  ASSERT_EQ(again.size(), first.size());
  for (std::size_t i = 0; i < again.size(); ++i) ASSERT_TRUE(SameBar(again[i], first[i])) << "bar " << i;
  EXPECT_EQ(market.kept_minutes().size(), 5u);
}

TEST(BarsTest, DailyCacheAgreesWithMinutesForDaysWeeksAndMonths) {
  Market market(DefaultSymbols(), 5);
  const std::size_t index = IndexOf(market, u"EURUSD");
  const PricePath& path = market.path(index);
  for (std::int32_t tf : {wire::TIMEFRAME_D1, wire::TIMEFRAME_W1, wire::TIMEFRAME_MN1}) {
    const BarSpan span = BarsFromPos(path, tf, 0, tf == wire::TIMEFRAME_MN1 ? 2 : 10, kNowMs, kLimit);
    const std::vector<Bar> from_minutes = CollectBars(path, nullptr, tf, span);
    const std::vector<Bar> from_days = CollectBars(path, market.days(index), tf, span);
    const std::vector<Bar> cached = CollectBars(path, market.days(index), tf, span);
    ASSERT_EQ(from_minutes.size(), static_cast<std::size_t>(span.Count())) << tf;
    ASSERT_EQ(from_days.size(), from_minutes.size()) << tf;
    for (std::size_t i = 0; i < from_days.size(); ++i) {
      EXPECT_TRUE(SameBar(from_days[i], from_minutes[i])) << tf << " bar " << i;
      EXPECT_TRUE(SameBar(cached[i], from_minutes[i])) << tf << " bar " << i;
    }
    ExpectWellFormed(from_days, tf);
  }
}

// Days are generated on several threads for one request: a failure on any
// of them (memory running out) reaches the request, never ends the process.
TEST(BarsTest, AFailureOnAHelperThreadReachesTheCaller) {
  EXPECT_THROW(ParallelFor(1000, 4, [](std::int64_t) { throw std::bad_alloc(); }), std::bad_alloc);
}

TEST(BarsTest, TheCurrentBarHoldsTicksUpToTheClockOnly) {
  Market market(DefaultSymbols(), 1);
  const PricePath& path = market.path(0);
  const std::int64_t now = kNowMs + 37123;  // 37 s into a minute
  const std::vector<Bar> bars =
      CollectBars(path, nullptr, wire::TIMEFRAME_M1, BarsFromPos(path, wire::TIMEFRAME_M1, 0, 1, now, kLimit), now);
  ASSERT_EQ(bars.size(), 1u);
  const auto ticks = testing::CollectTicks(path, bars[0].time * 1000, now);
  Tick last;
  ASSERT_TRUE(LastTick(path, now, &last));
  EXPECT_EQ(bars[0].tick_volume, ticks.size());
  EXPECT_EQ(bars[0].close, last.bid);
  EXPECT_EQ(bars[0].time, now / 60000 * 60);
}

TEST(BarsTest, QueryShapesSelectTheRightBars) {
  Market market(DefaultSymbols(), 1);
  const PricePath& path = market.path(0);
  const std::int64_t now_s = kNowMs / 1000;
  const std::int64_t current = BarIndex(wire::TIMEFRAME_H1, now_s);

  BarSpan pos = BarsFromPos(path, wire::TIMEFRAME_H1, 0, 24, kNowMs, kLimit);
  EXPECT_EQ(pos.last, current);
  EXPECT_EQ(pos.Count(), 24);
  pos = BarsFromPos(path, wire::TIMEFRAME_H1, 5, 3, kNowMs, kLimit);
  EXPECT_EQ(pos.last, current - 5);
  EXPECT_EQ(pos.Count(), 3);

  // "from" ends with the bar open at date_from, even mid-bar.
  const BarSpan from = BarsFrom(path, wire::TIMEFRAME_H1, now_s - 7200 + 5, 4, kNowMs, kLimit);
  EXPECT_EQ(from.last, current - 2);
  EXPECT_EQ(from.Count(), 4);

  // "range" holds the bars opening inside [from, to].
  const std::int64_t open = BarOpen(wire::TIMEFRAME_H1, current - 10);
  BarSpan range = BarsRange(path, wire::TIMEFRAME_H1, open + 1, open + 3 * 3600, kNowMs, kLimit);
  EXPECT_EQ(range.first, current - 9);
  EXPECT_EQ(range.last, current - 7);
  range = BarsRange(path, wire::TIMEFRAME_H1, open, open, kNowMs, kLimit);
  EXPECT_EQ(range.Count(), 1);
  EXPECT_EQ(BarsRange(path, wire::TIMEFRAME_H1, open + 10, open, kNowMs, kLimit).Count(), 0);

  // The limit keeps the newest bars; history bounds the oldest.
  EXPECT_EQ(BarsFromPos(path, wire::TIMEFRAME_M1, 0, 1000, kNowMs, 10).first, BarIndex(1, now_s) - 9);
  const BarSpan all = AvailableBars(path, wire::TIMEFRAME_D1, kNowMs);
  EXPECT_EQ(BarsFromPos(path, wire::TIMEFRAME_D1, 0, 1000000, kNowMs, kLimit).Count(), all.Count());
  EXPECT_EQ(BarsFromPos(path, wire::TIMEFRAME_D1, all.Count(), 5, kNowMs, kLimit).Count(), 0);
  EXPECT_EQ(BarsFrom(path, wire::TIMEFRAME_D1, 0, 5, kNowMs, kLimit).Count(), 0);  // before the history
  EXPECT_EQ(BarsFromPos(path, wire::TIMEFRAME_D1, 0, 0, kNowMs, kLimit).Count(), 0);
}

TEST(BarsTest, FromADateAfterTheClockGivesTheNewestCountBars) {
  Market market(DefaultSymbols(), 1);
  const PricePath& path = market.path(0);
  const std::int64_t now_s = kNowMs / 1000;
  for (std::int32_t tf : {wire::TIMEFRAME_M1, wire::TIMEFRAME_H1, wire::TIMEFRAME_D1}) {
    const std::int64_t newest = BarIndex(tf, now_s);
    for (std::int64_t later : {0, 1, 120, 3600, 86400, 40 * 86400}) {
      const BarSpan span = BarsFrom(path, tf, now_s + later, 10, kNowMs, kLimit);
      EXPECT_EQ(span.last, newest) << tf << " +" << later;
      EXPECT_EQ(span.Count(), 10) << tf << " +" << later;
    }
  }
}

TEST(BarsTest, AMillionMinuteBarsAreConsistent) {
  Market market(DefaultSymbols(), 1);
  const PricePath& path = market.path(0);
  const BarSpan span = BarsFromPos(path, wire::TIMEFRAME_M1, 0, 1000000, kNowMs, kLimit);
  ASSERT_EQ(span.Count(), 1000000);
  std::int64_t count = 0, previous_time = 0;
  bool ordered = true, shaped = true;
  std::uint64_t ticks = 0;
  ForEachBar(path, nullptr, wire::TIMEFRAME_M1, span, kNowMs, [&](const Bar& b) {
    ordered = ordered && (count == 0 || b.time > previous_time);
    shaped = shaped && b.high >= std::max(b.open, b.close) && b.low <= std::min(b.open, b.close) && b.spread > 0;
    ticks += b.tick_volume;
    previous_time = b.time;
    ++count;
  });
  EXPECT_EQ(count, 1000000);
  EXPECT_TRUE(ordered);
  EXPECT_TRUE(shaped);
  EXPECT_EQ(previous_time, kNowMs / 60000 * 60);
  EXPECT_GT(ticks, 1000000u);
}

}  // namespace
}  // namespace vl5::terminal::market
