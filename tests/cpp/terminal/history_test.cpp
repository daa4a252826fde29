// Histories loaded from CSV files: what the reader refuses and where, that
// the bars come back as loaded and aggregate, and the ticks the market serves.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <fstream>
#include <string>

#include "terminal/base/calendar.h"
#include "terminal/model/market/history_csv.h"
#include "terminal/model/market/history_files.h"
#include "terminal/model/market/symbol_record.h"
#include "terminal/model/trading/trigger_levels.h"
#include "tests/cpp/terminal/market_fixture.h"
#include "src/wire/market_codes.h"
#include "src/wire/records.h"

namespace vl5::terminal::market {
namespace {

using testing::CollectBars;
using testing::CollectTicks;
using testing::IndexOf;
using testing::SameBar;

constexpr std::int64_t kMonday = 1709546400;  // 2024-03-04 10:00 UTC

SymbolSpec Spec(const std::u16string& name) {
  for (SymbolSpec& spec : DefaultSymbols()) {
    if (spec.name == name) return spec;
  }
  return {};
}

template <typename Record>
std::string ErrorOf(const std::string& text, const std::u16string& symbol = u"EURUSD") {
  const SymbolSpec spec = Spec(symbol);
  HistoryCsv<Record> csv(spec);
  return csv.Feed(text) && csv.Finish() ? std::string("accepted") : csv.error();
}

TEST(HistoryCsvTest, RefusesAMalformedLineNamingItAndWhy) {
  const std::string good = "1709546400,1.08500,1.08510,1.08490,1.08505,5,1,0\n";
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {good + "1709546460,1.08x,1.0851,1.0849,1.085,5,1,0\n", "line 2: bad value '1.08x' in column open"},
      {good + "1709546460,-1.085,1.0851,1.0849,1.085,5,1,0\n", "line 2: bad value '-1.085' in column open"},
      {good + "1709546460,1.085,1.0851,1.0849,1.085,5,1,0\n1709546400,1.085,1.0851,1.0849,1.085,5,1,0\n",
       "line 3: time 1709546400 is not after the line before"},
      {good + good, "line 2: time 1709546400 is not after the line before"},
      {"time,open,high,low,close,tick_volume,spread,real_volume\n1709546400,1.085,1.0851,1.0849,1.085,5,1\n",
       "line 2: missing column real_volume"},
      {good + "1709546460,1.085,1.0851,1.0849,1.085,5,1,0,9\n", "line 2: more than 8 columns"},
      {"1709546401,1.085,1.0851,1.0849,1.085,5,1,0\n", "line 1: time 1709546401 is not a whole minute"},
      {"1709546400,1.085,1.0851,1.0852,1.085,5,1,0\n", "line 1: open and close must lie between low and high"},
      {"1709546400,1.085001,1.0851,1.0849,1.085,5,1,0\n", "line 1: bad value '1.085001' in column open"},
      {"2024-02-30 10:00,1.085,1.0851,1.0849,1.085,5,1,0\n", "line 1: bad value '2024-02-30 10:00' in column time"},
      {"1709546400,1.085,1.0851,1.0849,1.085,0,1,0\n", "line 1: a bar needs a tick_volume of at least 1"},
      {"1709546400,1.085,1.0851,1.0849,1.085,5,1,1e3\n", "line 1: bad value '1e3' in column real_volume"},
      {"\n" + good + "time,open\n", "line 3: missing column high"},  // a header comes first or not at all
      {good + std::string(2000, '1'), "line 2: longer than 1024 bytes"},
      // Volumes that longer bars could not sum, and a spread the record cannot show.
      {"1709546400,1.085,1.0851,1.0849,1.085,100000000001,1,0\n",
       "line 1: bad value '100000000001' in column tick_volume"},
      {"1709546400,1.085,1.0851,1.0849,1.085,5,1,100000000001\n",
       "line 1: bad value '100000000001' in column real_volume"},
      {"1709546400,1.085,1.0851,1.0849,1.085,5,1000001,0\n", "line 1: bad value '1000001' in column spread"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf<Bar>(c.text), c.error) << c.text.substr(0, 120);

  const std::string tick = "1709546400000,1.08500,1.08510,0,0,6\n";
  EXPECT_EQ(ErrorOf<Tick>(tick + "1709546399999,1.085,1.0851,0,0,6\n"),
            "line 2: time 1709546399999 is before the line before");
  EXPECT_EQ(ErrorOf<Tick>(tick + "1709546400000,1.0852,1.0851,0,0,6\n"), "line 2: needs 0 < bid <= ask");
  EXPECT_EQ(ErrorOf<Tick>(tick + "1709546400000,1.0852,1.0853,0,0\n"), "line 2: missing column flags");
  EXPECT_EQ(ErrorOf<Tick>(tick + tick), "accepted");  // ticks may share a millisecond
  EXPECT_EQ(ErrorOf<Tick>(tick + "1709546400000,1.085,1.0851,0,100000000001,6\n"),
            "line 2: bad value '100000000001' in column volume");
  EXPECT_EQ(ErrorOf<Tick>(tick + "1709546400000,0.00001,10000000000,0,0,6\n"),
            "line 2: ask lies more than 1000000 points above bid");
  EXPECT_EQ(ErrorOf<Tick>(tick + "1709546400000,1,11,0,100000000000,6\n"), "accepted");  // both at the bound
}

TEST(HistoryCsvTest, ReadsTheSameRecordsFromPiecesOfAnySize) {
  // Header, CRLF, a blank line, both time spellings, spaces, no final line break.
  const std::string text =
      "time,open,high,low,close,tick_volume,spread,real_volume\r\n"
      "2024-03-04 10:00,1.085,1.08510,1.0849,1.08505,5,1,0\r\n"
      "\r\n"
      "2024.03.04T10:01:00, 1.08505 ,1.0852,1.085,1.0851,300,12,7\n"
      "1709546520,1.0851,1.0851,1.0851,1.0851,1,0,0.000";
  HistoryCsv<Bar> whole(Spec(u"EURUSD"));
  ASSERT_TRUE(whole.Feed(text) && whole.Finish()) << whole.error();
  HistoryCsv<Bar> bytes(Spec(u"EURUSD"));
  for (char c : text) ASSERT_TRUE(bytes.Feed(std::string_view(&c, 1))) << bytes.error();
  ASSERT_TRUE(bytes.Finish());
  ASSERT_EQ(whole.records().size(), 3u);
  ASSERT_EQ(bytes.records().size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(SameBar(whole.records()[i], bytes.records()[i])) << i;
  const Bar& b = whole.records()[1];
  EXPECT_EQ(b.time, kMonday + 60);
  EXPECT_EQ(b.open, 108505);
  EXPECT_EQ(b.high, 108520);
  EXPECT_EQ(b.low, 108500);
  EXPECT_EQ(b.close, 108510);
  EXPECT_EQ(b.tick_volume, 300u);
  EXPECT_EQ(b.spread, 12);
  EXPECT_EQ(b.real_volume, 7u);
}

Bar MakeBar(std::int64_t time, std::int64_t open, std::int64_t high, std::int64_t low, std::int64_t close,
            std::uint64_t ticks = 10, std::int32_t spread = 3, std::uint64_t volume = 0) {
  return Bar{time, open, high, low, close, ticks, spread, volume};
}

TEST(HistoryTest, PathTicksVisitTheBarsPricesInAFixedOrder) {
  const SymbolSpec forex = Spec(u"EURUSD");
  const SymbolSpec stock = Spec(u"KSTL");
  ASSERT_TRUE(stock.trades);
  const Bar rising = MakeBar(kMonday, 100, 130, 90, 120, 10, 3, 7);
  const Bar falling = MakeBar(kMonday, 120, 130, 90, 100);
  const Bar flat = MakeBar(kMonday, 100, 100, 100, 100);
  Tick ticks[kPathTicks];
  ASSERT_EQ(PathTicks(forex, rising, nullptr, ticks), 4);
  EXPECT_EQ(ticks[1].bid, 90);  // a rising bar dips first
  EXPECT_EQ(ticks[2].bid, 130);
  EXPECT_EQ(ticks[3].time_msc, kMonday * 1000 + 59000);
  ASSERT_EQ(PathTicks(forex, falling, &rising, ticks), 4);
  EXPECT_EQ(ticks[1].bid, 130);
  EXPECT_EQ(ticks[0].flags, 0u);  // opens at the close before, with its spread
  EXPECT_EQ(ticks[1].flags, wire::TICK_FLAG_BID | wire::TICK_FLAG_ASK);
  ASSERT_EQ(PathTicks(forex, flat, &rising, ticks), 1);
  EXPECT_EQ(ticks[0].flags, wire::TICK_FLAG_BID | wire::TICK_FLAG_ASK);
  for (const SymbolSpec* spec : {&forex, &stock}) {
    for (const Bar& bar : {rising, falling, flat}) {
      const int n = PathTicks(*spec, bar, nullptr, ticks);
      Bar sum;
      sum.time = bar.time;
      std::uint64_t volume = 0;
      for (int j = 0; j < n; ++j) {
        Accumulate(&sum, ticks[j]);
        volume += ticks[j].volume;
        EXPECT_EQ(ticks[j].ask - ticks[j].bid, bar.spread);
      }
      EXPECT_EQ(std::make_tuple(sum.open, sum.high, sum.low, sum.close, sum.spread),
                std::make_tuple(bar.open, bar.high, bar.low, bar.close, bar.spread));
      EXPECT_EQ(volume, spec->trades ? bar.real_volume : 0u);
    }
  }
}

TEST(HistoryTest, TheLargestVolumesSumWithoutWrapping) {
  // Two minute bars at the largest volume make one M5 bar holding both.
  const std::string bound = std::to_string(kMaxVolume);
  HistoryCsv<Bar> csv(Spec(u"EURUSD"));
  ASSERT_TRUE(csv.Feed("1709546400,1.085,1.0851,1.0849,1.085," + bound + ",1," + bound + "\n" +
                       "1709546460,1.085,1.0851,1.0849,1.085," + bound + ",1," + bound + "\n") &&
              csv.Finish())
      << csv.error();
  auto bars = std::make_shared<History>();
  bars->bars = csv.records();
  const Market market(DefaultSymbols(), 1, Histories{{u"EURUSD", bars}});
  const PricePath& path = market.path(IndexOf(market, u"EURUSD"));
  const std::int64_t now_ms = (kMonday + 3600) * 1000;
  const std::vector<Bar> m5 =
      CollectBars(path, nullptr, wire::TIMEFRAME_M5, BarsFromPos(path, wire::TIMEFRAME_M5, 0, 1, now_ms, 10), now_ms);
  ASSERT_EQ(m5.size(), 1u);
  EXPECT_EQ(m5[0].tick_volume, 2 * kMaxVolume);
  EXPECT_EQ(m5[0].real_volume, 2 * kMaxVolume);

  // A day's volume of more ticks than the bound allows for stops at the largest value.
  auto ticks = std::make_shared<History>();
  ticks->bars = {MakeBar(kMonday, 100, 100, 100, 100)};
  const std::uint64_t half = std::uint64_t{1} << 63;
  for (int j = 0; j < 2; ++j) {
    ticks->ticks.push_back(
        Tick{kMonday * 1000 + j, 100, 101, 100, half, wire::TICK_FLAG_LAST | wire::TICK_FLAG_VOLUME});
  }
  const Market stock(DefaultSymbols(), 1, Histories{{u"KSTL", ticks}});
  const std::vector<std::uint8_t> record = BuildSymbolRecord(stock, IndexOf(stock, u"KSTL"), {true, now_ms});
  EXPECT_EQ(wire::Load<double>(record.data(), wire::FindField(wire::kSymbolInfoFields, "session_volume")->offset),
            static_cast<double>(UINT64_MAX));
}

// EURUSD loaded with three hours of minute bars (a gap in the second hour)
// and, optionally, the ticks of its first minute.
struct Loaded {
  explicit Loaded(bool with_ticks) {
    auto h = std::make_shared<History>();
    for (int i = 0; i < 180; ++i) {
      if (i >= 70 && i < 100) continue;
      const std::int64_t open = 108000 + (i * 37) % 50;
      const std::int64_t close = 108000 + (i * 53) % 50;
      h->bars.push_back(MakeBar(kMonday + 60 * i, open, std::max(open, close) + i % 7, std::min(open, close) - i % 5,
                                close, 1 + i, i % 4, 0));
    }
    if (with_ticks) {
      for (int j = 0; j < 40; ++j) {  // more than a generated minute ever holds
        const bool trade = j == 7;
        const std::int64_t bid = 108000 - j;
        h->ticks.push_back(Tick{kMonday * 1000 + 1000 * j, bid, bid + 2, trade ? bid : 0, trade ? 1u : 0u,
                                trade ? wire::TICK_FLAG_LAST | wire::TICK_FLAG_VOLUME : 6u});
      }
    }
    history = h;
    market = std::make_unique<Market>(DefaultSymbols(), 1, Histories{{u"EURUSD", h}});
  }
  const PricePath& path() const { return market->path(IndexOf(*market, u"EURUSD")); }
  std::shared_ptr<const History> history;
  std::unique_ptr<Market> market;
};

TEST(HistoryTest, ServesTheLoadedBarsAndAggregatesThem) {
  const Loaded loaded(false);
  const PricePath& path = loaded.path();
  const std::int64_t end_ms = (kMonday + 4 * 3600) * 1000;
  const BarSpan all = BarsRange(path, wire::TIMEFRAME_M1, 0, kMonday * 2, end_ms, 1 << 20);
  const std::vector<Bar> m1 = CollectBars(path, nullptr, wire::TIMEFRAME_M1, all, end_ms);
  ASSERT_EQ(m1.size(), loaded.history->bars.size());
  for (std::size_t i = 0; i < m1.size(); ++i) EXPECT_TRUE(SameBar(m1[i], loaded.history->bars[i])) << i;

  const BarSpan hours = BarsFromPos(path, wire::TIMEFRAME_H1, 0, 10, end_ms, 100);
  const std::vector<Bar> h1 = CollectBars(path, nullptr, wire::TIMEFRAME_H1, hours, end_ms);
  ASSERT_EQ(h1.size(), 3u);
  for (int hour = 0; hour < 3; ++hour) {
    Bar expected;
    expected.time = kMonday + 3600 * hour;
    for (const Bar& bar : m1) {
      if (bar.time / 3600 == expected.time / 3600) Merge(&expected, bar);
    }
    EXPECT_TRUE(SameBar(h1[static_cast<std::size_t>(hour)], expected)) << hour;
  }

  // The minute forming at 10:05:30 has passed its open and first extreme only.
  const Bar& fifth = loaded.history->bars[5];
  const std::int64_t mid_ms = (kMonday + 5 * 60 + 30) * 1000;
  const std::vector<Bar> partial =
      CollectBars(path, nullptr, wire::TIMEFRAME_M1, BarsFromPos(path, wire::TIMEFRAME_M1, 0, 1, mid_ms, 100), mid_ms);
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_EQ(partial[0].open, fifth.open);
  EXPECT_EQ(partial[0].close, fifth.close >= fifth.open ? fifth.low : fifth.high);
  EXPECT_LT(partial[0].tick_volume, fifth.tick_volume);
  EXPECT_TRUE(SameBar(CollectBars(path, nullptr, wire::TIMEFRAME_M1,
                                  BarsFromPos(path, wire::TIMEFRAME_M1, 0, 1, mid_ms + 29500, 100), mid_ms + 29500)[0],
                      fifth));

  // The gap holds no bar and no tick; before and after the history nothing exists.
  EXPECT_TRUE(CollectTicks(path, (kMonday + 70 * 60) * 1000, (kMonday + 100 * 60) * 1000 - 1).empty());
  EXPECT_EQ(BarsRange(path, wire::TIMEFRAME_M1, kMonday + 70 * 60, kMonday + 99 * 60, end_ms, 100).count, 0);
  Tick last;
  EXPECT_FALSE(LastTick(path, kMonday * 1000 - 1, &last));
  ASSERT_TRUE(LastTick(path, end_ms, &last));
  EXPECT_EQ(last.bid, loaded.history->bars.back().close);
}

TEST(HistoryTest, ServesLoadedTicksAsGivenEvenManyInAMinute) {
  const Loaded loaded(true);
  const PricePath& path = loaded.path();
  const std::vector<Tick> ticks = CollectTicks(path, kMonday * 1000, kMonday * 1000 + 59999);
  ASSERT_EQ(ticks.size(), 40u);
  for (std::size_t j = 0; j < ticks.size(); ++j) {
    EXPECT_EQ(ticks[j].time_msc, loaded.history->ticks[j].time_msc);
    EXPECT_EQ(ticks[j].bid, loaded.history->ticks[j].bid);
  }
  // Loaded trades of a currency pair are served too (generated ones have none).
  EXPECT_EQ(CollectTicks(path, kMonday * 1000, kMonday * 1000 + 59999, TickFilter::kTrade).size(), 1u);
  // The minute walk the trading engine uses sees all of them too.
  TickWalker walker(path, kMonday / 60);
  const MinuteTicks& minute = walker.Next();
  ASSERT_EQ(minute.count, 40);
  const MinuteTicks copy = minute;
  EXPECT_EQ(copy.ticks[39].bid, 108000 - 39);
  Tick last;
  ASSERT_TRUE(LastTick(path, kMonday * 1000 + 12500, &last));
  EXPECT_EQ(last.time_msc, kMonday * 1000 + 12000);
}

TEST(HistoryTest, DecadesBetweenTwoMinutesCostOneStep) {
  // 21 million empty minutes lie between the two bars; tick walks and bar
  // loops step over them at once (the sanitized fuzzer took 28 s before).
  auto h = std::make_shared<History>();
  h->bars = {MakeBar(kMonday, 100, 110, 90, 105), MakeBar(kMonday + 40LL * 365 * 86400, 105, 120, 100, 110)};
  const Market market(DefaultSymbols(), 1, Histories{{u"EURUSD", h}});
  const PricePath& path = market.path(IndexOf(market, u"EURUSD"));
  const std::int64_t now_ms = (h->bars[1].time + 3600) * 1000;
  EXPECT_EQ(CollectTicks(path, 0, now_ms).size(), 8u);
  for (std::int32_t timeframe : {wire::TIMEFRAME_M1, wire::TIMEFRAME_H1}) {
    const BarSpan span = BarsRange(path, timeframe, 0, now_ms / 1000, now_ms, 100);
    EXPECT_EQ(span.count, 2);
    EXPECT_EQ(CollectBars(path, nullptr, timeframe, span, now_ms).size(), 2u);
  }
}

#ifndef _WIN32  // owners, modes and links of POSIX files
class HistoryFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vl5histXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    ASSERT_EQ(mkdir((root_ + "/EURUSD").c_str(), 0700), 0);
  }
  void TearDown() override { std::system(("rm -rf " + root_).c_str()); }
  void Write(const std::string& name, const std::string& text) { std::ofstream(root_ + "/EURUSD/" + name) << text; }
  bool Load(Histories* out, std::string* error) {
    return LoadHistories(DefaultSymbols(), {u"EURUSD"}, std::u16string(root_.begin(), root_.end()), out, error);
  }
  std::string root_;
};

TEST_F(HistoryFilesTest, LoadsWholeFilesOrNothingAndNamesTheFile) {
  Histories histories;
  std::string error;
  EXPECT_FALSE(Load(&histories, &error));
  EXPECT_EQ(error, root_ + "/EURUSD/M1.csv is missing");

  Write("M1.csv", "1709546400,1.085,1.0851,1.0849,1.085,5,1,0\n");
  Write("ticks.csv", "1709546400000,1.085,1.0851,0,0,6\n1709546400000,1.085,1.0851,0,zero,6\n");
  EXPECT_FALSE(Load(&histories, &error));
  EXPECT_EQ(error, root_ + "/EURUSD/ticks.csv line 2: bad value 'zero' in column volume");
  EXPECT_TRUE(histories.empty());

  Write("ticks.csv", "");
  ASSERT_TRUE(Load(&histories, &error)) << error;
  ASSERT_EQ(histories.count(u"EURUSD"), 1u);
  EXPECT_EQ(histories[u"EURUSD"]->bars.size(), 1u);
  EXPECT_TRUE(histories[u"EURUSD"]->ticks.empty());

  // A link is not followed, and a file others may write is not trusted.
  ASSERT_EQ(std::rename((root_ + "/EURUSD/M1.csv").c_str(), (root_ + "/real.csv").c_str()), 0);
  ASSERT_EQ(symlink((root_ + "/real.csv").c_str(), (root_ + "/EURUSD/M1.csv").c_str()), 0);
  EXPECT_FALSE(Load(&histories, &error));
  EXPECT_EQ(error, root_ + "/EURUSD/M1.csv is not a regular file");
  ASSERT_EQ(std::rename((root_ + "/real.csv").c_str(), (root_ + "/EURUSD/M1.csv").c_str()), 0);
  ASSERT_EQ(chmod((root_ + "/EURUSD/M1.csv").c_str(), 0666), 0);
  EXPECT_FALSE(Load(&histories, &error));
  EXPECT_EQ(error, root_ + "/EURUSD/M1.csv belongs to another user or is writable by others");
}
#endif

}  // namespace
}  // namespace vl5::terminal::market
