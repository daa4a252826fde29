// The cost of a backtest's everyday request, 48 bars of its timeframe, made
// as the rates handler makes it (span, bars, wire records), through the kept
// bars (bar_cache.h) against the old path that makes every bar afresh
// (ForEachBar with the day cache), for M1, M15, H1, H4 and D1 of generated
// EURUSD, in the same run. Three clocks: frozen (the same moment asked again),
// stepped one minute at a time, and stepped one bar of the timeframe at a
// time, to the end of the bar forming (as a backtest steps). Each run starts
// on a fresh market; its first request fills the caches and is left out.
// Shown: microseconds per request, the best of a few runs, and each as a
// ratio against M1 of the same path and clock.
//
//   bench/bars_bench.sh    (builds this in build/bench, optimised, and runs it)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "src/wire/market_codes.h"
#include "src/wire/records.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/bar_cache.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/market/wire_records.h"

namespace {

using namespace vl5::terminal::market;
namespace wire = vl5::wire;

constexpr std::int64_t kStartMs = (1699956000LL + 443) * 1000 + 500;  // Tuesday 2023-11-14 10:07:23.5 UTC
constexpr std::int64_t kBars = 48;
constexpr int kRequests = 100;
constexpr int kRuns = 5;

enum class Clock { kFrozen, kMinute, kBar };

// One request as the handler serves it; returns the bytes of its records.
std::uint64_t Request(const Market& market, std::int32_t timeframe, std::int64_t now_ms, bool kept) {
  const PricePath& path = market.path(0);
  const BarSpan span = BarsFromPos(path, timeframe, 0, kBars, now_ms, 100000);
  std::uint8_t record[wire::kRateRecordSize];
  std::uint64_t sum = 0;
  const auto write = [&](const Bar& bar) {
    WriteRateRecord(market.spec(0), bar, record);
    for (const std::uint8_t byte : record) sum += byte;
  };
  if (kept) {
    market.bars(0)->ForEach(path, market.days(0), timeframe, span, now_ms, write);
  } else {
    ForEachBar(path, market.days(0), timeframe, span, now_ms, write);
  }
  return sum;
}

// Microseconds per request after the first, the best of the runs; the
// records' checksum over all requests in *sum.
double PerRequest(std::int32_t timeframe, Clock clock, bool kept, std::uint64_t* sum) {
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    const Market market(DefaultSymbols(), 1);
    std::int64_t now_ms = kStartMs;
    *sum = Request(market, timeframe, now_ms, kept);
    double seconds = 0;
    for (int i = 0; i < kRequests; ++i) {
      if (clock == Clock::kMinute) now_ms += 60000;
      if (clock == Clock::kBar) now_ms = BarOpen(timeframe, BarIndex(timeframe, FloorDiv(now_ms, 1000)) + 1) * 1000;
      const auto start = std::chrono::steady_clock::now();
      *sum += Request(market, timeframe, now_ms, kept);
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    best = std::min(best, seconds / kRequests * 1e6);
  }
  return best;
}

}  // namespace

int main() {
  const std::int32_t timeframes[] = {wire::TIMEFRAME_M1, wire::TIMEFRAME_M15, wire::TIMEFRAME_H1, wire::TIMEFRAME_H4,
                                     wire::TIMEFRAME_D1};
  const char* names[] = {"M1", "M15", "H1", "H4", "D1"};
  const struct {
    Clock clock;
    const char* name;
  } clocks[] = {{Clock::kFrozen, "frozen"}, {Clock::kMinute, "one minute a step"}, {Clock::kBar, "one bar a step"}};
  std::printf("%d bars of EURUSD a request, us per request (x M1 of the same path and clock)\n",
              static_cast<int>(kBars));
  std::printf("%-18s %-4s %18s %18s %9s\n", "clock", "tf", "old path", "kept bars", "old/kept");
  for (const auto& clock : clocks) {
    double old_m1 = 0, kept_m1 = 0;
    for (std::size_t t = 0; t < std::size(timeframes); ++t) {
      std::uint64_t old_sum = 0, kept_sum = 0;
      const double old_us = PerRequest(timeframes[t], clock.clock, false, &old_sum);
      const double kept_us = PerRequest(timeframes[t], clock.clock, true, &kept_sum);
      if (old_sum != kept_sum) {
        std::fprintf(stderr, "%s %s: the kept bars' records differ from the old path's\n", clock.name, names[t]);
        return 1;
      }
      if (t == 0) {
        old_m1 = old_us;
        kept_m1 = kept_us;
      }
      std::printf("%-18s %-4s %9.1f (%5.2fx) %9.1f (%5.2fx) %8.1fx\n", clock.name, names[t], old_us, old_us / old_m1,
                  kept_us, kept_us / kept_m1, old_us / kept_us);
    }
  }
  return 0;
}
