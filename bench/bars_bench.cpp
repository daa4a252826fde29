// Times the terminal's largest everyday reply, one million M1 bars, against
// a bare walk over the same ticks (the price path's own cost) in the same run,
// and prints both and the ratio: what aggregating into bars adds.
//
//   bench/bars_bench.sh    (builds this in build/bench, optimised, and runs it)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "src/wire/market_codes.h"
#include "terminal/model/market/bars.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/market/ticks.h"

namespace {

using namespace vl5::terminal::market;

constexpr std::int64_t kNowMs = 1700000000LL * 1000;  // well inside every history
constexpr std::int64_t kBars = 1000000;
constexpr int kRounds = 3;

// The best of a few rounds: the machine is shared, and slower rounds measure
// the other work on it.
double BestSeconds(const std::function<std::uint64_t()>& work, std::uint64_t* checksum) {
  double best = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    *checksum = work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  Market market(DefaultSymbols(), 1);
  const PricePath& path = market.path(0);
  const BarSpan span = BarsFromPos(path, vl5::wire::TIMEFRAME_M1, 0, kBars, kNowMs, kBars);
  const std::int64_t from_ms = BarOpen(vl5::wire::TIMEFRAME_M1, span.first) * 1000;

  std::uint64_t ticks = 0, volume = 0;
  const double walk = BestSeconds(
      [&] {
        std::uint64_t n = 0;
        ScanTicks(path, from_ms, kNowMs, TickFilter::kAll, INT64_MAX, [&](const Tick&) { ++n; });
        return n;
      },
      &ticks);
  std::int64_t bars = 0;
  const double aggregate = BestSeconds(
      [&] {
        std::uint64_t n = 0;
        bars = ForEachBar(path, nullptr, vl5::wire::TIMEFRAME_M1, span, kNowMs,
                          [&](const Bar& bar) { n += bar.tick_volume; });
        return n;
      },
      &volume);
  if (bars != kBars || volume != ticks) {
    std::fprintf(stderr, "bars %lld, ticks in bars %llu, ticks walked %llu: inconsistent\n",
                 static_cast<long long>(bars), static_cast<unsigned long long>(volume),
                 static_cast<unsigned long long>(ticks));
    return 1;
  }
  std::printf("ticks walked:   %llu in %.3f s (baseline)\n", static_cast<unsigned long long>(ticks), walk);
  std::printf("M1 bars made:   %lld in %.3f s\n", static_cast<long long>(bars), aggregate);
  std::printf("bars / walk:    %.2fx\n", aggregate / walk);
  return 0;
}
