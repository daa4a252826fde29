// The stepped clock's walk: ticks of EURUSD carried through every account's
// trading by Terminal::AdvanceTo, per second of CPU, while four pending
// orders, a position's stop loss and take profit and the stop-out level are
// watched (placed far from the price, so the walk checks every tick and
// nothing fires), against bare walks over the same ticks in the same run:
// ScanTicks, and the minute walker the trading engine itself uses. Two
// markets: a quarter of generated prices, and a loaded year of M1 bars (four
// path ticks a bar). Two ways to move: M15 steps, as a backtest moves, and
// one AdvanceTo over the whole range, also with no position open, and over
// longer and longer ranges. Rounds are interleaved; medians and ranges shown.
//
//   build/dev/bench/vl5_walk_bench [rounds]
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "src/wire/trade_codes.h"
#include "terminal/model/market/history.h"
#include "terminal/model/market/ticks.h"
#include "terminal/model/terminal.h"
#include "terminal/model/trading/engine.h"
#include "terminal/model/trading/quote.h"

namespace {

using namespace vl5::terminal;

constexpr std::int64_t kYearStart = 1704067200;  // 2024-01-01 00:00 UTC, a Monday
constexpr std::int64_t kStartMs = (kYearStart + 3600) * 1000;
constexpr std::int64_t kStepMs = 15 * 60 * 1000;
constexpr double kFar = 0.3;  // from the price to every level: never reached over the range

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Every minute of 2024 that a currency trades (Sunday 22:00 to Friday 22:00),
// a random walk of whole points from 1.08500.
std::shared_ptr<const market::History> LoadedYear() {
  auto history = std::make_shared<market::History>();
  std::mt19937_64 random(5);
  auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  std::int64_t price = 108500;
  for (std::int64_t minute = 0; minute < 366 * 1440; ++minute) {
    const std::int64_t t = kYearStart + 60 * minute;
    const std::int64_t weekday = (t / 86400 + 4) % 7, second = t % 86400;  // 0: Sunday
    if (weekday == 6 || (weekday == 5 && second >= 79200) || (weekday == 0 && second < 79200)) continue;
    market::Bar bar;
    bar.time = t;
    bar.open = price;
    bar.close = price + draw(-20, 20);
    bar.high = std::max(bar.open, bar.close) + draw(0, 9);
    bar.low = std::min(bar.open, bar.close) - draw(0, 9);
    bar.tick_volume = static_cast<std::uint64_t>(draw(1, 300));
    bar.spread = draw(0, 20);
    history->bars.push_back(bar);
    price = bar.close;
  }
  return history;
}

struct Case {
  const char* name;
  market::Histories histories;
  std::int64_t end_ms;
};

std::unique_ptr<Terminal> SteppedTerminal(const Case& c) {
  Settings settings;
  settings.clock_start = kStartMs / 1000;
  settings.stepped = true;
  settings.connect_delay = 0;
  return std::make_unique<Terminal>(settings, Folders{u"/nonexistent", u"/nonexistent", u"/nonexistent"}, c.histories);
}

double Rounded(double price) { return std::round(price * 1e5) / 1e5; }

// One pending order of each simple kind and, `with_position`, a bought
// position with its stop loss and take profit, all kFar from the price.
void PlaceTrades(Terminal& terminal, std::size_t symbol, bool with_position) {
  trading::Quote quote;
  if (!trading::QuoteAt(terminal.market(), symbol, kStartMs, &quote)) std::abort();
  auto request = [](std::uint32_t action, std::uint32_t type, double price, double sl, double tp) {
    trading::TradeRequest r;
    r.action = action;
    r.symbol = u"EURUSD";
    r.type = type;
    r.volume = 0.1;
    r.price = Rounded(price);
    r.sl = sl > 0 ? Rounded(sl) : 0.0;
    r.tp = tp > 0 ? Rounded(tp) : 0.0;
    return r;
  };
  using namespace vl5::wire;
  const trading::TradeRequest requests[] = {
      request(TRADE_ACTION_DEAL, ORDER_TYPE_BUY, 0.0, quote.bid - kFar, quote.ask + kFar),
      request(TRADE_ACTION_PENDING, ORDER_TYPE_BUY_LIMIT, quote.ask - kFar, 0, 0),
      request(TRADE_ACTION_PENDING, ORDER_TYPE_SELL_LIMIT, quote.bid + kFar, 0, 0),
      request(TRADE_ACTION_PENDING, ORDER_TYPE_BUY_STOP, quote.ask + kFar, 0, 0),
      request(TRADE_ACTION_PENDING, ORDER_TYPE_SELL_STOP, quote.bid - kFar, 0, 0),
  };
  for (const trading::TradeRequest& r : requests) {
    if (r.action == TRADE_ACTION_DEAL && !with_position) continue;
    std::uint32_t retcode = 0;
    terminal.Trade(kStartMs, [&](trading::Engine& engine) { retcode = engine.Send(r).retcode; });
    if (retcode != (r.action == TRADE_ACTION_DEAL ? TRADE_RETCODE_DONE : TRADE_RETCODE_PLACED)) {
      std::fprintf(stderr, "trade request of type %u refused: %u\n", r.type, retcode);
      std::exit(1);
    }
  }
}

// Whether the position and the four orders are still there, untouched.
bool NothingFired(Terminal& terminal, std::int64_t now_ms, bool with_position) {
  bool intact = false;
  terminal.Trade(now_ms, [&](trading::Engine& engine) {
    intact = engine.desk().ledger.positions().size() == (with_position ? 1u : 0u) &&
             engine.desk().ledger.orders().size() == 4;
  });
  return intact;
}

// CPU seconds of moving a fresh stepped terminal with the trades placed from
// kStartMs to `end_ms` in moves of `step_ms`.
double Walk(const Case& c, std::size_t symbol, std::int64_t end_ms, std::int64_t step_ms, bool with_position = true) {
  auto terminal = SteppedTerminal(c);
  PlaceTrades(*terminal, symbol, with_position);
  const double start = CpuSeconds();
  for (std::int64_t to = kStartMs; to < end_ms;) {
    to = std::min(to + step_ms, end_ms);
    if (terminal->AdvanceTo(to) != ClockMove::kMoved) std::abort();
  }
  const double took = CpuSeconds() - start;
  if (!NothingFired(*terminal, end_ms, with_position)) {
    std::fprintf(stderr, "%s: an order or stop fired; the levels are not far enough\n", c.name);
    std::exit(1);
  }
  return took;
}

std::int64_t TicksBetween(const market::PricePath& path, std::int64_t after_ms, std::int64_t to_ms) {
  return market::ScanTicks(path, after_ms + 1, to_ms, market::TickFilter::kAll, INT64_MAX, [](const market::Tick&) {});
}

struct Series {
  const char* name;
  std::function<double()> run;  // CPU seconds of one round
  std::vector<double> seconds;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void RunCase(const Case& c, int rounds) {
  auto probe = SteppedTerminal(c);
  const std::size_t symbol = *probe->market().Find(u"EURUSD");
  const market::PricePath& path = probe->market().path(symbol);
  const std::int64_t ticks = TicksBetween(path, kStartMs, c.end_ms);
  const std::int64_t minutes = (c.end_ms - kStartMs) / 60000;

  std::vector<Series> series;
  series.push_back({"bare ScanTicks (baseline)",
                    [&] {
                      std::int64_t n = 0;
                      const double start = CpuSeconds();
                      market::ScanTicks(path, kStartMs + 1, c.end_ms, market::TickFilter::kAll, INT64_MAX,
                                        [&](const market::Tick&) { ++n; });
                      const double took = CpuSeconds() - start;
                      if (n != ticks) std::abort();
                      return took;
                    },
                    {}});
  series.push_back({"bare TickWalker",
                    [&] {
                      std::int64_t n = 0, sum = 0;
                      const double start = CpuSeconds();
                      market::TickWalker walker(path, (kStartMs + 1) / 60000);
                      while (const market::MinuteTicks* m = walker.NextWithTicks(c.end_ms / 60000)) {
                        for (int j = 0; j < m->count; ++j) {
                          const market::Tick& tick = m->ticks[j];
                          if (tick.time_msc <= kStartMs || tick.time_msc > c.end_ms) continue;
                          ++n;
                          sum += tick.bid;
                        }
                      }
                      const double took = CpuSeconds() - start;
                      if (n != ticks || sum == 0) std::abort();
                      return took;
                    },
                    {}});
  series.push_back({"AdvanceTo, one move", [&] { return Walk(c, symbol, c.end_ms, c.end_ms - kStartMs); }, {}});
  series.push_back({"AdvanceTo, M15 steps", [&] { return Walk(c, symbol, c.end_ms, kStepMs); }, {}});
  // The same with no position open: no swaps at the rollovers, no stop-out level.
  series.push_back(
      {"one move, orders only", [&] { return Walk(c, symbol, c.end_ms, c.end_ms - kStartMs, false); }, {}});

  for (int round = 0; round < rounds; ++round) {
    for (Series& s : series) s.seconds.push_back(s.run());
  }

  std::printf("\n%s: %lld ticks of EURUSD in %lld minutes (%.1f a minute), %lld M15 steps, %d rounds\n", c.name,
              static_cast<long long>(ticks), static_cast<long long>(minutes),
              static_cast<double>(ticks) / static_cast<double>(minutes),
              static_cast<long long>((c.end_ms - kStartMs + kStepMs - 1) / kStepMs), rounds);
  std::printf("  %-28s %14s %22s %10s\n", "walk", "CPU s (median)", "ticks/s of CPU (range)", "vs baseline");
  const double base = Median(series[0].seconds);
  for (const Series& s : series) {
    const double median = Median(s.seconds);
    const auto [low, high] = std::minmax_element(s.seconds.begin(), s.seconds.end());
    const double t = static_cast<double>(ticks);
    std::printf("  %-28s %14.3f %8.2fM (%.2f-%.2fM) %9.2fx\n", s.name, median, t / median / 1e6, t / *high / 1e6,
                t / *low / 1e6, median / base);
  }
  // One move over longer and longer ranges: a walk that visits each tick
  // once keeps its cost per tick; one that goes back over ticks grows with
  // the range.
  const double walker_per_tick = Median(series[1].seconds) / static_cast<double>(ticks);
  std::printf("  one move over the first N days (1 round each): CPU per tick against the bare TickWalker's\n");
  for (std::int64_t days : {1, 7, 28, 91, 366}) {
    const std::int64_t end_ms = std::min(c.end_ms, kStartMs + days * 86400 * 1000);
    const std::int64_t n = TicksBetween(path, kStartMs, end_ms);
    const double took = end_ms == c.end_ms ? Median(series[2].seconds) : Walk(c, symbol, end_ms, end_ms - kStartMs);
    std::printf("    %3lld days %9lld ticks %8.3f s %8.2fM ticks/s %8.1fx\n", static_cast<long long>(days),
                static_cast<long long>(n), took, static_cast<double>(n) / took / 1e6,
                took / static_cast<double>(n) / walker_per_tick);
    if (end_ms == c.end_ms) break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const Case generated{"generated prices, 13 weeks", {}, kStartMs + 91LL * 86400 * 1000};
  const Case loaded{"loaded M1 year", {{u"EURUSD", LoadedYear()}}, (kYearStart + 366LL * 86400 - 7200) * 1000};
  RunCase(generated, rounds);
  RunCase(loaded, rounds);
  return 0;
}
