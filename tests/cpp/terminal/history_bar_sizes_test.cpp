// Histories of hourly and daily bars: served exactly at their size, merged
// into longer bars, shorter bars and ticks from each bar's path over its open
// minutes, and files whose bars do not start their periods refused.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "src/wire/market_codes.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/history_csv.h"
#include "terminal/model/market/history_files.h"
#include "tests/cpp/terminal/market_fixture.h"

namespace vl5::terminal::market {
namespace {

using testing::CollectBars;
using testing::CollectTicks;
using testing::IndexOf;
using testing::SameBar;

constexpr std::int64_t kDay = 86400;

// `count` bars of `timeframe` minutes from `from` (seconds), weekends left
// out for daily bars; at least four ticks each, so that their paths' shares
// sum to the bar's volumes.
std::shared_ptr<History> Bars(std::int32_t timeframe, std::int64_t from, int count) {
  auto history = std::make_shared<History>();
  history->timeframe = timeframe;
  for (std::int64_t time = from; static_cast<int>(history->bars.size()) < count; time += timeframe * 60) {
    const int weekday = static_cast<int>((FloorDiv(time, kDay) + 4) % 7);  // 0 Sunday
    if (timeframe == 1440 && (weekday == 0 || weekday == 6)) continue;
    const std::int64_t i = static_cast<std::int64_t>(history->bars.size());
    const std::int64_t open = 18500 + (i * 37) % 300, close = 18500 + (i * 53) % 300;
    history->bars.push_back(Bar{time, open, std::max(open, close) + 5 + i % 7, std::min(open, close) - 3 - i % 5, close,
                                static_cast<std::uint64_t>(40 + i), static_cast<std::int32_t>(1 + i % 3),
                                static_cast<std::uint64_t>(1000 + 7 * i)});
  }
  return history;
}

// The loaded bars merged by hand into bars of `timeframe`.
std::vector<Bar> MergedByHand(const History& history, std::int32_t timeframe) {
  std::map<std::int64_t, Bar> merged;
  for (const Bar& bar : history.bars) {
    const std::int64_t index = BarIndex(timeframe, bar.time);
    Bar& into = merged[index];
    into.time = BarOpen(timeframe, index);
    if (into.tick_volume == 0) {
      into.open = bar.open;
      into.high = bar.high;
      into.low = bar.low;
      into.spread = bar.spread;
    }
    into.high = std::max(into.high, bar.high);
    into.low = std::min(into.low, bar.low);
    into.close = bar.close;
    into.spread = std::min(into.spread, bar.spread);
    into.tick_volume += bar.tick_volume;
    into.real_volume += bar.real_volume;
  }
  std::vector<Bar> bars;
  for (const auto& [index, bar] : merged) bars.push_back(bar);
  return bars;
}

// Every bar up to `now_ms`, through the kept bars as the terminal serves
// them, or made afresh.
std::vector<Bar> AllBars(const Market& market, std::size_t symbol, std::int32_t timeframe, std::int64_t now_ms,
                         bool kept = true) {
  const PricePath& path = market.path(symbol);
  std::vector<Bar> bars;
  const BarSpan span = BarsRange(path, timeframe, 0, now_ms / 1000, now_ms, 1 << 20);
  const auto keep = [&](const Bar& bar) { bars.push_back(bar); };
  const std::int64_t emitted =
      kept ? market.bars(symbol)->ForEach(path, market.days(symbol), timeframe, span, now_ms, keep)
           : ForEachBar(path, nullptr, timeframe, span, now_ms, keep);
  EXPECT_EQ(emitted, span.Count()) << timeframe;  // the reply's length is counted before its bars are made
  return bars;
}

TEST(HistoryBarSizesTest, ServesTheFilesSizeAndLongerOnesExactlyAndShorterOnesFromThePaths) {
  const struct {
    std::u16string symbol;
    std::int32_t timeframe;
    std::int64_t from;
    int count;
    std::vector<std::int32_t> longer;  // served as the loaded bars merged
    std::vector<std::int32_t> shorter;
  } cases[] = {
      // A share trading 14:30 to 21:00 UTC: each day's path lies in its session.
      {u"KSTL",
       wire::TIMEFRAME_D1,
       DaysFromCivil(2024, 1, 22) * kDay,
       45,
       {wire::TIMEFRAME_D1, wire::TIMEFRAME_W1, wire::TIMEFRAME_MN1},
       {wire::TIMEFRAME_M1, wire::TIMEFRAME_M5, wire::TIMEFRAME_H1}},
      {u"EURUSD",
       wire::TIMEFRAME_H1,
       DaysFromCivil(2024, 3, 4) * kDay,
       60,
       {wire::TIMEFRAME_H1, wire::TIMEFRAME_H4, wire::TIMEFRAME_D1, wire::TIMEFRAME_W1},
       {wire::TIMEFRAME_M1, wire::TIMEFRAME_M15}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.symbol.begin(), c.symbol.end()));
    const std::shared_ptr<History> history = Bars(c.timeframe, c.from, c.count);
    const Market market(DefaultSymbols(), 1, Histories{{c.symbol, history}});
    const std::size_t symbol = IndexOf(market, c.symbol);
    const SymbolSpec& spec = market.spec(symbol);
    const std::int64_t end_ms = (history->bars.back().time + c.timeframe * 60) * 1000;
    for (std::int32_t timeframe : c.longer) {
      const std::vector<Bar> served = AllBars(market, symbol, timeframe, end_ms);
      const std::vector<Bar> expected = MergedByHand(*history, timeframe);
      ASSERT_EQ(served.size(), expected.size()) << timeframe;
      for (std::size_t i = 0; i < served.size(); ++i)
        EXPECT_TRUE(SameBar(served[i], expected[i])) << timeframe << " " << i;
    }
    // Shorter bars merge back into the loaded ones.
    for (std::int32_t timeframe : c.shorter) {
      std::vector<Bar> remerged;
      for (const Bar& bar : AllBars(market, symbol, timeframe, end_ms)) {
        const std::int64_t loaded = FloorDiv(bar.time, c.timeframe * 60) * c.timeframe * 60;
        if (remerged.empty() || remerged.back().time != loaded) remerged.push_back(Bar{loaded});
        Merge(&remerged.back(), bar);
      }
      ASSERT_EQ(remerged.size(), history->bars.size()) << timeframe;
      for (std::size_t i = 0; i < remerged.size(); ++i) {
        EXPECT_TRUE(SameBar(remerged[i], history->bars[i])) << timeframe << " " << i;
      }
    }
    // The ticks: open, the extreme on the far side of the close, the other,
    // the close, all in the symbol's trading hours.
    const Bar& first = history->bars.front();
    const std::vector<Tick> ticks =
        CollectTicks(market.path(symbol), first.time * 1000, (first.time + c.timeframe * 60) * 1000 - 1);
    ASSERT_EQ(ticks.size(), 4u);
    const bool rising = first.close >= first.open;
    EXPECT_EQ(std::vector<std::int64_t>({ticks[0].bid, ticks[1].bid, ticks[2].bid, ticks[3].bid}),
              std::vector<std::int64_t>(
                  {first.open, rising ? first.low : first.high, rising ? first.high : first.low, first.close}));
    const std::vector<Tick> all = CollectTicks(market.path(symbol), 0, end_ms);
    EXPECT_EQ(all.size(), 4 * history->bars.size());
    for (const Tick& tick : all) EXPECT_TRUE(spec.hours.Open(FloorDiv(tick.time_msc, 60000))) << tick.time_msc;
  }
}

TEST(HistoryBarSizesTest, TheBarFormingAtTheClockIsTheSameThroughTheKeptBars) {
  const std::shared_ptr<History> history = Bars(wire::TIMEFRAME_H1, DaysFromCivil(2024, 3, 4) * kDay, 30);
  const Market market(DefaultSymbols(), 1, Histories{{u"EURUSD", history}});
  const std::size_t symbol = IndexOf(market, u"EURUSD");
  // Inside the 27th hour, then at its end: the kept bars are filled as the clock moves.
  for (std::int64_t now_ms : {(history->bars[26].time + 1500) * 1000, (history->bars[26].time + 3599) * 1000}) {
    for (std::int32_t timeframe : {wire::TIMEFRAME_M5, wire::TIMEFRAME_H1, wire::TIMEFRAME_H4, wire::TIMEFRAME_D1}) {
      const std::vector<Bar> kept = AllBars(market, symbol, timeframe, now_ms);
      const std::vector<Bar> fresh = AllBars(market, symbol, timeframe, now_ms, false);
      ASSERT_EQ(kept.size(), fresh.size()) << timeframe;
      for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_TRUE(SameBar(kept[i], fresh[i])) << timeframe << " " << i;
    }
  }
}

TEST(HistoryBarSizesTest, ABarThatDoesNotStartItsPeriodIsRefusedNamingTheLine) {
  const std::string hour = "2024-03-04 10:00,1.085,1.0851,1.0849,1.085,5,1,0\n";
  const std::string day = "2024-03-04 00:00,1.085,1.0851,1.0849,1.085,5,1,0\n";
  const struct {
    std::int32_t timeframe;
    std::string text;
    std::string error;
  } cases[] = {
      {60, hour + "2024-03-04 10:30,1.085,1.0851,1.0849,1.085,5,1,0\n",
       "line 2: time 2024-03-04 10:30 is not a whole hour"},
      {60, hour + "1709550060,1.085,1.0851,1.0849,1.085,5,1,0\n", "line 2: time 1709550060 is not a whole hour"},
      {60, hour + hour, "line 2: time 2024-03-04 10:00 is not after the line before"},
      {1440, day + "2024-03-05 22:00,1.085,1.0851,1.0849,1.085,5,1,0\n",
       "line 2: time 2024-03-05 22:00 is not 00:00 UTC of a day"},
      {1440, day + "\n" + day, "line 3: time 2024-03-04 00:00 is not after the line before"},
      {1, "2024-03-04 10:00:30,1.085,1.0851,1.0849,1.085,5,1,0\n",
       "line 1: time 2024-03-04 10:00:30 is not a whole minute"},
      {1440, day + "2024-03-05 00:00,1.085,1.0851,1.0849,1.085,5,1,0\n", "accepted"},
  };
  SymbolSpec spec;
  for (const auto& c : cases) {
    HistoryCsv<Bar> csv(spec, c.timeframe);
    EXPECT_EQ(csv.Feed(c.text) && csv.Finish() ? std::string("accepted") : csv.error(), c.error) << c.text;
  }
}

#ifndef _WIN32  // modes of POSIX files
TEST(HistoryBarSizesTest, AFolderHoldsOneBarFileAndTicksOnlyBesideMinutes) {
  char pattern[] = "/tmp/vl5sizesXXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  ASSERT_EQ(mkdir((root + "/KSTL").c_str(), 0700), 0);
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(root + "/KSTL/" + name) << text;
    chmod((root + "/KSTL/" + name).c_str(), 0600);
  };
  const auto load = [&](Histories* out, std::string* error) {
    return LoadHistories(DefaultSymbols(), {u"KSTL"}, std::u16string(root.begin(), root.end()), out, error);
  };
  Histories histories;
  std::string error;
  write("D1.csv", "2024-03-04,185.00,186.00,184.00,185.50,400,2,10000\n");
  EXPECT_FALSE(load(&histories, &error));  // the date alone is no time
  EXPECT_EQ(error, root + "/KSTL/D1.csv line 1: bad value '2024-03-04' in column time");
  write("D1.csv", "2024-03-04 00:00,185.00,186.00,184.00,185.50,400,2,10000\n2024-03-05 14:30,185,186,184,185,4,2,0\n");
  EXPECT_FALSE(load(&histories, &error));
  EXPECT_EQ(error, root + "/KSTL/D1.csv line 2: time 2024-03-05 14:30 is not 00:00 UTC of a day");
  write("D1.csv", "2024-03-04 00:00,185.00,186.00,184.00,185.50,400,2,10000\n");
  ASSERT_TRUE(load(&histories, &error)) << error;
  EXPECT_EQ(histories[u"KSTL"]->timeframe, wire::TIMEFRAME_D1);
  write("ticks.csv", "1709562600000,185.00,185.02,185.00,1,24\n");
  EXPECT_FALSE(load(&histories, &error));
  EXPECT_EQ(error, root + "/KSTL/ticks.csv goes only with M1.csv, not D1.csv");
  std::remove((root + "/KSTL/ticks.csv").c_str());
  write("H1.csv", "2024-03-04 14:00,185.00,186.00,184.00,185.50,400,2,10000\n");
  EXPECT_FALSE(load(&histories, &error));
  EXPECT_EQ(error, root + "/KSTL holds both H1.csv and D1.csv: keep the bars of one size");
  EXPECT_TRUE(histories.empty());
  std::system(("rm -rf " + root).c_str());
}
#endif

}  // namespace
}  // namespace vl5::terminal::market
