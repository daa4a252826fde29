// Bars served through the kept bars (bar_cache.h) are exactly the bars made
// afresh, for every timeframe and query shape, as the clock moves forward.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "src/wire/market_codes.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/bar_cache.h"
#include "terminal/model/market/history_csv.h"
#include "tests/cpp/terminal/market_fixture.h"

namespace vl5::terminal::market {
namespace {

using testing::IndexOf;
using testing::SameBar;

constexpr std::int64_t kLimit = 5000000;
constexpr std::int64_t kDayMs = 86400LL * 1000;
constexpr std::int32_t kTimeframes[] = {1,  2,   3,   4,   5,   6,   10,  12,   15,    20,   30,
                                        60, 120, 180, 240, 360, 480, 720, 1440, 10080, 43200};

// EURUSD minute bars from a CSV text: five-day weeks, a hole every few
// minutes and a longer one each day, from Monday 2024-02-05 for 60 days.
std::shared_ptr<const History> LoadedHistory(const SymbolSpec& spec) {
  const std::int64_t first = DaysFromCivil(2024, 2, 5) * kMinutesPerDay;
  std::string text = "time,open,high,low,close,tick_volume,spread,real_volume\n";
  for (std::int64_t minute = first; minute < first + 60 * kMinutesPerDay; ++minute) {
    if (!spec.hours.Open(minute) || minute % 23 == 5 || minute % kMinutesPerDay / 60 == 3) continue;
    const std::int64_t open = 108000 + (minute * 37) % 401 - 200, close = 108000 + (minute * 53) % 401 - 200;
    const std::int64_t high = std::max(open, close) + minute % 7, low = std::min(open, close) - minute % 5;
    char line[160];
    std::snprintf(line, sizeof(line), "%lld,%.5f,%.5f,%.5f,%.5f,%lld,%lld,%lld\n", static_cast<long long>(minute * 60),
                  open / 1e5, high / 1e5, low / 1e5, close / 1e5, static_cast<long long>(1 + minute % 9),
                  static_cast<long long>(minute % 4), static_cast<long long>(minute % 3));
    text += line;
  }
  HistoryCsv<Bar> csv(spec);
  EXPECT_TRUE(csv.Feed(text) && csv.Finish()) << csv.error();
  auto history = std::make_shared<History>();
  history->bars = std::move(csv.records());
  return history;
}

// The bars of `span`, through the kept bars or made afresh.
std::vector<Bar> Served(const Market& market, std::size_t index, std::int32_t timeframe, BarSpan span,
                        std::int64_t now_ms, bool kept) {
  std::vector<Bar> bars;
  const auto keep = [&](const Bar& bar) { bars.push_back(bar); };
  const std::int64_t emitted =
      kept ? market.bars(index)->ForEach(market.path(index), market.days(index), timeframe, span, now_ms, keep)
           : ForEachBar(market.path(index), market.days(index), timeframe, span, now_ms, keep);
  EXPECT_EQ(emitted, static_cast<std::int64_t>(bars.size()));
  return bars;
}

TEST(BarCacheTest, ServesTheBarsMadeAfreshForEveryTimeframeShapeAndMoment) {
  const SymbolSpec eurusd = DefaultSymbols()[0];
  ASSERT_EQ(eurusd.name, u"EURUSD");
  const Histories loaded{{u"GBPUSD", LoadedHistory(eurusd)}};
  // Friday evenings, 40 minutes before the weekend closes the market.
  const std::int64_t generated_start = (DaysFromCivil(2023, 11, 17) * 86400 + 21 * 3600 + 20 * 60 + 17) * 1000 + 250;
  const std::int64_t loaded_start = (DaysFromCivil(2024, 3, 8) * 86400 + 21 * 3600 + 20 * 60 + 17) * 1000 + 250;
  // A market that keeps plenty, and one that keeps three chunks of bars, so
  // that requests push out each other's.
  for (const std::size_t chunks : {kKeptBarChunks, std::size_t{3}}) {
    const Market market(DefaultSymbols(), 7, loaded, kKeptMinuteDays, chunks);
    for (const auto& [name, start] : {std::pair{u"EURUSD", generated_start}, std::pair{u"GBPUSD", loaded_start}}) {
      const std::size_t index = IndexOf(market, name);
      const PricePath& path = market.path(index);
      for (const std::int32_t tf : kTimeframes) {
        const std::int64_t n = tf <= wire::TIMEFRAME_D1 ? 48 : tf == wire::TIMEFRAME_W1 ? 12 : 4;
        const std::int64_t bar_ms = (BarOpen(tf, 1000) - BarOpen(tf, 999)) * 1000;
        // From inside a bar: the same moment again, within its minute, to
        // the next minutes, across its end, to its last millisecond and its
        // end, over several bars, over a closed market.
        std::int64_t now_ms = start;
        const auto to_end = [&](std::int64_t less) {
          return BarOpen(tf, BarIndex(tf, FloorDiv(now_ms, 1000)) + 1) * 1000 - less - now_ms;
        };
        for (const int step : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}) {
          const std::int64_t deltas[] = {0,         7000,           61000,      bar_ms / 3, bar_ms,    to_end(1),
                                         to_end(0), bar_ms * 5 / 2, 2 * kDayMs, bar_ms / 2, 3 * kDayMs};
          now_ms += deltas[step];
          const std::int64_t now_s = FloorDiv(now_ms, 1000);
          const std::int64_t k = BarIndex(tf, now_s);
          const BarSpan shapes[] = {
              BarsFromPos(path, tf, 0, n, now_ms, kLimit),
              BarsFromPos(path, tf, 2, n, now_ms, kLimit),
              BarsFromPos(path, tf, 0, n, now_ms, n / 3),
              BarsFrom(path, tf, now_s, n, now_ms, kLimit),
              BarsFrom(path, tf, BarOpen(tf, k - n / 2) + 1, n, now_ms, kLimit),
              BarsRange(path, tf, BarOpen(tf, k - n + 1), now_s, now_ms, kLimit),
              BarsRange(path, tf, BarOpen(tf, k - 3 * n), BarOpen(tf, k - n), now_ms, kLimit),
          };
          for (std::size_t shape = 0; shape < std::size(shapes); ++shape) {
            const std::vector<Bar> fresh = Served(market, index, tf, shapes[shape], now_ms, false);
            const std::vector<Bar> kept = Served(market, index, tf, shapes[shape], now_ms, true);
            const std::string where = "chunks " + std::to_string(chunks) + " symbol " + std::to_string(index) +
                                      " timeframe " + std::to_string(tf) + " step " + std::to_string(step) + " shape " +
                                      std::to_string(shape);
            ASSERT_EQ(fresh.size(), static_cast<std::size_t>(shapes[shape].Count())) << where;
            ASSERT_EQ(kept.size(), fresh.size()) << where;
            for (std::size_t i = 0; i < kept.size(); ++i)
              ASSERT_TRUE(SameBar(kept[i], fresh[i])) << where << " bar " << i;
          }
        }
      }
    }
    EXPECT_LE(market.kept_bars().size(), chunks);
    EXPECT_GT(market.kept_bars().size(), 0u);
  }
}

}  // namespace
}  // namespace vl5::terminal::market
