#include "terminal/trading/queries.h"

namespace vl5::terminal::trading {

namespace {

using By = Selection::By;

bool InRange(const Selection& s, std::int64_t ms) {
  const std::int64_t seconds = SecondsOf(ms);
  return s.from <= seconds && seconds <= s.to;
}

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

bool MatchesHistory(const Selection& s, const Order& o) {
  switch (s.by) {
    case By::kRange:
      return InRange(s, o.setup_msc);
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
    case By::kRange:
      return InRange(s, d.time_msc);
    case By::kPosition:
      return d.position_id == s.id && d.position_id != 0;
    case By::kTicket:
      return d.ticket == s.id;
    default:
      return false;
  }
}

}  // namespace

std::vector<Record> OpenPositions(const Desk& desk, const Selection& selection) {
  std::vector<Record> records;
  for (const Position& p : desk.ledger.positions()) {
    if (MatchesOpen(desk, selection, p)) records.push_back(PositionRecord(desk.market, p, desk.now_ms));
  }
  return records;
}

std::vector<Record> PendingOrders(const Desk& desk, const Selection& selection) {
  std::vector<Record> records;
  for (const Order& o : desk.ledger.orders()) {
    if (MatchesOpen(desk, selection, o)) records.push_back(PendingOrderRecord(desk.market, o, desk.now_ms));
  }
  return records;
}

std::vector<Record> HistoryOrders(const Desk& desk, const Selection& selection) {
  std::vector<Record> records;
  for (const Order& o : desk.ledger.history_orders()) {
    if (MatchesHistory(selection, o)) records.push_back(HistoryOrderRecord(desk.market, o));
  }
  return records;
}

std::vector<Record> Deals(const Desk& desk, const Selection& selection) {
  std::vector<Record> records;
  for (const Deal& d : desk.ledger.deals()) {
    if (MatchesDeal(selection, d)) records.push_back(DealRecord(d));
  }
  return records;
}

}  // namespace vl5::terminal::trading
