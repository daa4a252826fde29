// The price path: determinism, tick timing, quotes and change flags.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/cpp/terminal/market_fixture.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {
namespace {

using testing::CollectTicks;
using testing::IndexOf;
using testing::kAllOpenMs;
using testing::kNowMs;

constexpr std::int64_t kHourMs = 3600 * 1000;

TEST(PricePathTest, SameSeedGivesTheSameTicksAndAnotherSeedOthers) {
  Market a(DefaultSymbols(), 7), b(DefaultSymbols(), 7), c(DefaultSymbols(), 8);
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto ta = CollectTicks(a.path(i), kAllOpenMs - kHourMs, kAllOpenMs);
    const auto tb = CollectTicks(b.path(i), kAllOpenMs - kHourMs, kAllOpenMs);
    const auto tc = CollectTicks(c.path(i), kAllOpenMs - kHourMs, kAllOpenMs);
    ASSERT_EQ(ta.size(), tb.size());
    for (std::size_t j = 0; j < ta.size(); ++j) {
      EXPECT_EQ(ta[j].time_msc, tb[j].time_msc);
      EXPECT_EQ(ta[j].bid, tb[j].bid);
      EXPECT_EQ(ta[j].ask, tb[j].ask);
      EXPECT_EQ(ta[j].flags, tb[j].flags);
      EXPECT_EQ(ta[j].volume, tb[j].volume);
    }
    bool differs = ta.size() != tc.size();
    for (std::size_t j = 0; !differs && j < ta.size(); ++j) differs = ta[j].bid != tc[j].bid;
    EXPECT_TRUE(differs) << "seed 8 repeats seed 7 for symbol " << i;
  }
}

TEST(PricePathTest, WalkingFromAnyMinuteGivesTheSameTicks) {
  // Cached lattice values and change flags must not depend on where a walk starts.
  Market market(DefaultSymbols(), 3);
  const PricePath& path = market.path(IndexOf(market, u"EURJPY"));
  const std::int64_t start = kNowMs / 60000 - 500;
  TickWalker long_walk(path, start);
  for (int i = 0; i < 400; ++i) long_walk.Next();
  for (std::int64_t minute = start + 400; minute < start + 410; ++minute) {
    const MinuteTicks expected = long_walk.Next();
    TickWalker fresh(path, minute);
    const MinuteTicks& got = fresh.Next();
    ASSERT_EQ(got.count, expected.count);
    for (int j = 0; j < got.count; ++j) {
      EXPECT_EQ(got.ticks[j].bid, expected.ticks[j].bid);
      EXPECT_EQ(got.ticks[j].ask, expected.ticks[j].ask);
      EXPECT_EQ(got.ticks[j].flags, expected.ticks[j].flags);
    }
  }
}

TEST(PricePathTest, EveryOpenMinuteHasOrderedTicksStartingAtItsOpening) {
  Market market(DefaultSymbols(), 1);
  for (std::size_t i = 0; i < market.size(); ++i) {
    const SymbolSpec& spec = market.spec(i);
    TickWalker walker(market.path(i), kNowMs / 60000 - 2000);
    for (int m = 0; m < 2000; ++m) {
      const MinuteTicks& ticks = walker.Next();
      if (!spec.hours.Open(ticks.minute)) {
        ASSERT_EQ(ticks.count, 0);
        continue;
      }
      ASSERT_GE(ticks.count, 1);
      ASSERT_LE(ticks.count, kMaxTicksPerMinute);
      EXPECT_EQ(ticks.count % 2, 1);  // odd, so the spread parity alternates across minutes too
      EXPECT_EQ(ticks.ticks[0].time_msc, ticks.minute * 60000);
      for (int j = 1; j < ticks.count; ++j) {
        EXPECT_GT(ticks.ticks[j].time_msc, ticks.ticks[j - 1].time_msc);
        EXPECT_LT(ticks.ticks[j].time_msc, (ticks.minute + 1) * 60000);
      }
      for (int j = 0; j < ticks.count; ++j) {
        const Tick& t = ticks.ticks[j];
        EXPECT_GT(t.bid, 0);
        EXPECT_GE(t.ask - t.bid, spec.spread_points);
        EXPECT_LE(t.ask - t.bid, spec.spread_points + 2 * spec.spread_range + 1);
      }
    }
  }
}

TEST(PricePathTest, FlagsTellWhatChangedSinceThePreviousTick) {
  Market market(DefaultSymbols(), 1);
  for (const char16_t* name : {u"EURUSD", u"KSTL"}) {
    const std::size_t index = IndexOf(market, name);
    const auto ticks = CollectTicks(market.path(index), kNowMs - 6 * kHourMs, kNowMs);
    ASSERT_GT(ticks.size(), 1000u);
    for (std::size_t j = 1; j < ticks.size(); ++j) {
      const Tick& t = ticks[j];
      const Tick& p = ticks[j - 1];
      EXPECT_EQ((t.flags & wire::TICK_FLAG_BID) != 0, t.bid != p.bid);
      EXPECT_EQ((t.flags & wire::TICK_FLAG_ASK) != 0, t.ask != p.ask);
      EXPECT_NE(t.flags & (wire::TICK_FLAG_BID | wire::TICK_FLAG_ASK), 0u) << "a tick without a quote change";
      if (market.spec(index).trades) {
        EXPECT_TRUE(t.last == t.bid || t.last == t.ask);
        EXPECT_GT(t.volume, 0u);
        const bool buy = (t.flags & wire::TICK_FLAG_BUY) != 0;
        EXPECT_NE(buy, (t.flags & wire::TICK_FLAG_SELL) != 0);
        EXPECT_EQ(t.last, buy ? t.ask : t.bid);
      } else {
        EXPECT_EQ(t.flags & (wire::TICK_FLAG_LAST | wire::TICK_FLAG_VOLUME), 0u);
      }
    }
  }
}

TEST(PricePathTest, PricesStayNearTheirLevelAndMoveLikeAMarket) {
  Market market(DefaultSymbols(), 1);
  for (std::size_t i = 0; i < market.size(); ++i) {
    const SymbolSpec& spec = market.spec(i);
    const auto ticks = CollectTicks(market.path(i), kNowMs - 24 * kHourMs, kNowMs);
    double lo = 1e300, hi = 0.0;
    for (const Tick& t : ticks) {
      lo = std::min(lo, spec.Price(t.bid));
      hi = std::max(hi, spec.Price(t.bid));
    }
    // Within a factor of 20 of the base level, and moving within a day
    // by less than ten daily deviations.
    EXPECT_GT(lo, spec.base_price / 20) << i;
    EXPECT_LT(hi, spec.base_price * 20) << i;
    EXPECT_GT(hi, lo) << i;
    EXPECT_LT(std::log(hi / lo), 10 * spec.daily_volatility) << i;
  }
}

TEST(PricePathTest, NothingExistsBeforeTheHistoryStarts) {
  Market market(DefaultSymbols(), 1);
  const std::size_t index = IndexOf(market, u"BTCUSD");
  const std::int64_t start_ms = market.spec(index).history_start * 1000;
  const auto ticks = CollectTicks(market.path(index), start_ms - kHourMs, start_ms + 60000);
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks.front().time_msc, start_ms);
  Tick tick;
  EXPECT_FALSE(LastTick(market.path(index), start_ms - 1, &tick));
}

}  // namespace
}  // namespace vl5::terminal::market
