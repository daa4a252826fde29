// What the position, order and history commands select from an account's
// ledger, as wire records in the ledger's order (oldest first), or counted
// without building them. A date range is looked up in the ledger's time
// index; ids and symbols are found by a scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "terminal/model/trading/desk.h"
#include "terminal/model/trading/trade_wire.h"

namespace vl5::terminal::trading {

struct Selection {
  enum class By { kAll, kSymbol, kTicket, kRange, kPosition };
  By by = By::kAll;
  std::u16string symbol;  // kSymbol: exact name
  std::uint64_t id = 0;   // kTicket, kPosition
  std::int64_t from = 0;  // kRange: Unix seconds, both ends included
  std::int64_t to = 0;
};

// kAll, kSymbol or kTicket.
std::vector<Record> OpenPositions(const Desk& desk, const Selection& selection);
std::vector<Record> PendingOrders(const Desk& desk, const Selection& selection);
// kRange (by setup time), kPosition (orders that opened, closed or closed
// by that position) or kTicket.
std::vector<Record> HistoryOrders(const Desk& desk, const Selection& selection);
// kRange (by deal time), kPosition or kTicket.
std::vector<Record> Deals(const Desk& desk, const Selection& selection);

std::size_t CountOpenPositions(const Desk& desk, const Selection& selection);
std::size_t CountPendingOrders(const Desk& desk, const Selection& selection);
std::size_t CountHistoryOrders(const Desk& desk, const Selection& selection);
std::size_t CountDeals(const Desk& desk, const Selection& selection);

// A query's list and its count, as the handlers pick them.
struct Query {
  std::vector<Record> (*records)(const Desk&, const Selection&);
  std::size_t (*count)(const Desk&, const Selection&);
};
inline constexpr Query kOpenPositions{OpenPositions, CountOpenPositions};
inline constexpr Query kPendingOrders{PendingOrders, CountPendingOrders};
inline constexpr Query kHistoryOrders{HistoryOrders, CountHistoryOrders};
inline constexpr Query kDeals{Deals, CountDeals};

}  // namespace vl5::terminal::trading
