#include "bench/history_bench.h"

#include <chrono>
#include <cstdio>

#include "terminal/model/account/account.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/trading/queries.h"

namespace vl5::bench {

namespace {

using namespace vl5::terminal;

constexpr int kDeals = 100000;
constexpr std::int64_t kStartMs = 1600000000LL * 1000;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The query as it ran before the index: every deal looked at, every match built.
std::vector<trading::Record> ScanDeals(const trading::Ledger& ledger, std::int64_t from, std::int64_t to) {
  std::vector<trading::Record> records;
  for (const trading::Deal& d : ledger.deals()) {
    const std::int64_t seconds = trading::SecondsOf(d.time_msc);
    if (from <= seconds && seconds <= to) records.push_back(trading::DealRecord(d));
  }
  return records;
}

template <typename Work>
double Time(int repeat, Work work) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeat; ++i) work(i);
  return Seconds(std::chrono::steady_clock::now() - start) / repeat;
}

}  // namespace

void HistoryQueries(int runs) {
  const market::Market market(market::DefaultSymbols(), 1);
  Account account(DefaultAccounts()[0]);
  trading::Ledger ledger(10000.0, kStartMs);
  for (int i = 1; i < kDeals; ++i) {  // one deal a minute, the deposit first
    trading::Deal deal;
    deal.ticket = ledger.NextTicket();
    deal.time_msc = kStartMs + i * 60000LL;
    deal.position_id = deal.ticket;
    deal.symbol = u"EURUSD";
    ledger.AddDeal(deal);
  }
  const trading::Desk desk{market, account, ledger, kStartMs + kDeals * 60000LL};
  std::printf("history of %d deals: a day's range (1440 deals), times in us per query\n", kDeals);
  for (int round = 0; round < runs; ++round) {
    constexpr int kRepeat = 50;
    std::size_t got_scan = 0, got_index = 0, counted = 0;
    const auto day = [](int i) { return kStartMs / 1000 + (i % 60) * 86400; };
    const double scan = Time(kRepeat, [&](int i) { got_scan = ScanDeals(ledger, day(i), day(i) + 86399).size(); });
    const double index = Time(kRepeat, [&](int i) {
      trading::Selection s;
      s.by = trading::Selection::By::kRange;
      s.from = day(i);
      s.to = day(i) + 86399;
      got_index = trading::Deals(desk, s).size();
    });
    const double total = Time(kRepeat, [&](int i) {
      trading::Selection s;
      s.by = trading::Selection::By::kRange;
      s.from = day(i);
      s.to = day(i) + 86399;
      counted = trading::CountDeals(desk, s);
    });
    std::printf(
        "history_deals_get range  run %d  full scan %9.1f  index %9.1f  ratio %6.1fx   "
        "history_deals_total %7.2f  (%zu/%zu/%zu deals)\n",
        round, scan * 1e6, index * 1e6, scan / index, total * 1e6, got_scan, got_index, counted);
  }
}

}  // namespace vl5::bench
