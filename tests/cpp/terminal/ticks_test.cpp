// Tick queries: windows, copy modes, limits and the current tick.
#include <gtest/gtest.h>

#include "tests/cpp/terminal/market_fixture.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {
namespace {

using testing::CollectTicks;
using testing::IndexOf;
using testing::kNowMs;

TEST(TicksTest, CopyFlagsSelectAModeOrAreRefused) {
  TickFilter filter{};
  ASSERT_TRUE(ParseCopyFlags(wire::COPY_TICKS_ALL, &filter));
  EXPECT_EQ(filter, TickFilter::kAll);
  ASSERT_TRUE(ParseCopyFlags(wire::COPY_TICKS_INFO, &filter));
  EXPECT_EQ(filter, TickFilter::kInfo);
  ASSERT_TRUE(ParseCopyFlags(wire::COPY_TICKS_TRADE, &filter));
  EXPECT_EQ(filter, TickFilter::kTrade);
  ASSERT_TRUE(ParseCopyFlags(wire::COPY_TICKS_INFO | wire::COPY_TICKS_TRADE, &filter));
  EXPECT_EQ(filter, TickFilter::kAll);
  for (std::int32_t bad : {0, 4, 5, 1000}) EXPECT_FALSE(ParseCopyFlags(bad, &filter)) << bad;
}

TEST(TicksTest, ARangeHoldsOrderedTicksInsideItOnly) {
  Market market(DefaultSymbols(), 2);
  for (std::size_t i = 0; i < market.size(); ++i) {
    const std::int64_t from = kNowMs - 3 * 3600 * 1000 + 12345, to = kNowMs - 3600 * 1000 + 999;
    const auto ticks = CollectTicks(market.path(i), from, to);
    ASSERT_GT(ticks.size(), 100u) << i;
    EXPECT_GE(ticks.front().time_msc, from);
    EXPECT_LE(ticks.back().time_msc, to);
    for (std::size_t j = 1; j < ticks.size(); ++j) EXPECT_GT(ticks[j].time_msc, ticks[j - 1].time_msc);
    // Splitting the window anywhere loses and repeats nothing.
    const std::int64_t middle = ticks[ticks.size() / 2].time_msc;
    const auto left = CollectTicks(market.path(i), from, middle - 1);
    const auto right = CollectTicks(market.path(i), middle, to);
    EXPECT_EQ(left.size() + right.size(), ticks.size());
    EXPECT_EQ(right.front().time_msc, middle);
  }
}

TEST(TicksTest, ModesAndLimitsFilterTheSameSequence) {
  Market market(DefaultSymbols(), 2);
  const std::int64_t from = kNowMs - 3600 * 1000;
  const PricePath& fx = market.path(IndexOf(market, u"EURUSD"));
  const PricePath& stock = market.path(IndexOf(market, u"KSTL"));
  const auto all = CollectTicks(fx, from, kNowMs);
  EXPECT_EQ(CollectTicks(fx, from, kNowMs, TickFilter::kInfo).size(), all.size());  // every tick moves the quote
  EXPECT_TRUE(CollectTicks(fx, from, kNowMs, TickFilter::kTrade).empty());          // no trades in forex
  const auto trades = CollectTicks(stock, from, kNowMs, TickFilter::kTrade);
  EXPECT_EQ(trades.size(), CollectTicks(stock, from, kNowMs).size());
  for (const Tick& t : trades) EXPECT_NE(t.flags & wire::TICK_FLAG_LAST, 0u);

  const auto first = CollectTicks(fx, from, kNowMs, TickFilter::kAll, 25);
  ASSERT_EQ(first.size(), 25u);
  for (std::size_t j = 0; j < first.size(); ++j) EXPECT_EQ(first[j].time_msc, all[j].time_msc);
}

TEST(TicksTest, TheCurrentTickIsTheLastOneAtTheClock) {
  Market market(DefaultSymbols(), 2);
  const PricePath& path = market.path(0);
  for (std::int64_t now : {kNowMs, kNowMs + 59999, kNowMs + 60000}) {
    Tick current;
    ASSERT_TRUE(LastTick(path, now, &current));
    const auto ticks = CollectTicks(path, now - 120000, now);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(current.time_msc, ticks.back().time_msc);
    EXPECT_EQ(current.bid, ticks.back().bid);
    EXPECT_LE(current.time_msc, now);
  }
}

}  // namespace
}  // namespace vl5::terminal::market
