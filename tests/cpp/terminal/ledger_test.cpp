// The ledger's time index: date ranges of history orders (by setup time,
// which finishing reorders) and deals answer what a full scan answers, in
// ledger order, and counts agree with the lists.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "terminal/model/trading/ledger.h"

namespace vl5::terminal::trading {
namespace {

template <typename T, typename Time>
std::vector<std::size_t> Scan(const std::vector<T>& records, Time time, std::int64_t from, std::int64_t to) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::int64_t seconds = SecondsOf(time(records[i]));
    if (from <= seconds && seconds <= to) positions.push_back(i);
  }
  return positions;
}

TEST(LedgerTest, TimeRangesAnswerWhatAScanAnswersInLedgerOrder) {
  Ledger ledger(1000.0, 3000);  // the deposit, at second 3
  std::uint64_t state = 12345;
  const auto next = [&] { return (state = state * 6364136223846793005ULL + 1442695040888963407ULL) >> 33; };
  for (int i = 0; i < 300; ++i) {
    Order order;
    order.ticket = ledger.NextTicket();
    // Setups from -5 s to 20 s in any order, as pending orders finish late.
    order.setup_msc = static_cast<std::int64_t>(next() % 25000) - 5000;
    ledger.AddHistoryOrder(order);
    Deal deal;
    deal.ticket = ledger.NextTicket();
    deal.time_msc = 3000 + 37 * i;  // deals come in time order
    ledger.AddDeal(deal);
  }
  const std::int64_t bounds[] = {INT64_MIN, -6, -5, -1, 0, 3, 7, 11, 12, 19, 20, 21, INT64_MAX};
  for (std::int64_t from : bounds) {
    for (std::int64_t to : bounds) {
      const auto orders = Scan(
          ledger.history_orders(), [](const Order& o) { return o.setup_msc; }, from, to);
      const auto deals = Scan(
          ledger.deals(), [](const Deal& d) { return d.time_msc; }, from, to);
      EXPECT_EQ(ledger.HistoryOrdersIn(from, to), orders) << from << ".." << to;
      EXPECT_EQ(ledger.DealsIn(from, to), deals) << from << ".." << to;
      EXPECT_EQ(ledger.CountHistoryOrdersIn(from, to), orders.size());
      EXPECT_EQ(ledger.CountDealsIn(from, to), deals.size());
    }
  }
}

}  // namespace
}  // namespace vl5::terminal::trading
