#include "terminal/model/trading/queries.h"

namespace vl5::terminal::trading {

namespace {

using By = Selection::By;

// Open positions and pending orders: all, of one symbol, or one ticket.
template <typename T>
bool MatchesOpen(const Desk& desk, const Selection& s, const T& record) {
  switch (s.by) {
    case By::kAll:
      return true;
    case By::kSymbol:
      return desk.market.spec(record.symbol).name == s.symbol;
    case By::kTicket:
      return record.ticket == s.id;
    default:
      return false;
  }
}

// History by position or ticket; ranges go through the index.
bool MatchesHistory(const Selection& s, const Order& o) {
  switch (s.by) {
    case By::kPosition:
      return o.position_id == s.id || o.position_by_id == s.id;
    case By::kTicket:
      return o.ticket == s.id;
    default:
      return false;
  }
}

bool MatchesDeal(const Selection& s, const Deal& d) {
  switch (s.by) {
    case By::kPosition:
      return d.position_id == s.id && d.position_id != 0;
    case By::kTicket:
      return d.ticket == s.id;
    default:
      return false;
  }
}

// Positions in `records` of the matches, in ledger order.
template <typename T, typename Match>
std::vector<std::size_t> Scan(const std::vector<T>& records, Match match) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (match(records[i])) positions.push_back(i);
  }
  return positions;
}

std::vector<std::size_t> OpenPositionsOf(const Desk& desk, const Selection& s) {
  return Scan(desk.ledger.positions(), [&](const Position& p) { return MatchesOpen(desk, s, p); });
}

std::vector<std::size_t> PendingOrdersOf(const Desk& desk, const Selection& s) {
  return Scan(desk.ledger.orders(), [&](const Order& o) { return MatchesOpen(desk, s, o); });
}

std::vector<std::size_t> HistoryOrdersOf(const Desk& desk, const Selection& s) {
  if (s.by == By::kRange) return desk.ledger.HistoryOrdersIn(s.from, s.to);
  return Scan(desk.ledger.history_orders(), [&](const Order& o) { return MatchesHistory(s, o); });
}

std::vector<std::size_t> DealsOf(const Desk& desk, const Selection& s) {
  if (s.by == By::kRange) return desk.ledger.DealsIn(s.from, s.to);
  return Scan(desk.ledger.deals(), [&](const Deal& d) { return MatchesDeal(s, d); });
}

template <typename T, typename Maker>
std::vector<Record> Build(const std::vector<T>& records, const std::vector<std::size_t>& positions, Maker build) {
  std::vector<Record> built;
  built.reserve(positions.size());
  for (std::size_t i : positions) built.push_back(build(records[i]));
  return built;
}

}  // namespace

std::vector<Record> OpenPositions(const Desk& desk, const Selection& selection) {
  return Build(desk.ledger.positions(), OpenPositionsOf(desk, selection),
               [&](const Position& p) { return PositionRecord(desk.market, p, desk.now_ms); });
}

std::vector<Record> PendingOrders(const Desk& desk, const Selection& selection) {
  return Build(desk.ledger.orders(), PendingOrdersOf(desk, selection),
               [&](const Order& o) { return PendingOrderRecord(desk.market, o, desk.now_ms); });
}

std::vector<Record> HistoryOrders(const Desk& desk, const Selection& selection) {
  return Build(desk.ledger.history_orders(), HistoryOrdersOf(desk, selection),
               [&](const Order& o) { return HistoryOrderRecord(desk.market, o); });
}

std::vector<Record> Deals(const Desk& desk, const Selection& selection) {
  return Build(desk.ledger.deals(), DealsOf(desk, selection), [](const Deal& d) { return DealRecord(d); });
}

std::size_t CountOpenPositions(const Desk& desk, const Selection& selection) {
  return OpenPositionsOf(desk, selection).size();
}

std::size_t CountPendingOrders(const Desk& desk, const Selection& selection) {
  return PendingOrdersOf(desk, selection).size();
}

std::size_t CountHistoryOrders(const Desk& desk, const Selection& selection) {
  if (selection.by == By::kRange) return desk.ledger.CountHistoryOrdersIn(selection.from, selection.to);
  return HistoryOrdersOf(desk, selection).size();
}

std::size_t CountDeals(const Desk& desk, const Selection& selection) {
  if (selection.by == By::kRange) return desk.ledger.CountDealsIn(selection.from, selection.to);
  return DealsOf(desk, selection).size();
}

}  // namespace vl5::terminal::trading
