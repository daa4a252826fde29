#include "terminal/model/trading/ledger.h"

#include <algorithm>

namespace vl5::terminal::trading {

namespace {

// Far from 0, so that a ticket is never mistaken for "no ticket" or a count.
constexpr std::uint64_t kFirstTicket = 1000001;

template <typename Stamps>
auto Bounds(const Stamps& stamps, std::int64_t from, std::int64_t to) {
  auto first = std::partition_point(stamps.begin(), stamps.end(), [&](const auto& s) { return s.seconds < from; });
  auto last = std::partition_point(first, stamps.end(), [&](const auto& s) { return s.seconds <= to; });
  return std::make_pair(first, last);
}

template <typename Stamps>
std::vector<std::size_t> PositionsIn(const Stamps& stamps, std::int64_t from, std::int64_t to) {
  std::vector<std::size_t> positions;
  if (from > to) return positions;
  const auto [first, last] = Bounds(stamps, from, to);
  for (auto it = first; it != last; ++it) positions.push_back(it->position);
  std::sort(positions.begin(), positions.end());
  return positions;
}

template <typename Stamps>
std::size_t CountIn(const Stamps& stamps, std::int64_t from, std::int64_t to) {
  if (from > to) return 0;
  const auto [first, last] = Bounds(stamps, from, to);
  return static_cast<std::size_t>(last - first);
}

// Keeps `stamps` ordered; records mostly arrive in time order, so this appends.
template <typename Stamps, typename Stamp>
void Insert(Stamps* stamps, Stamp stamp) {
  auto at =
      std::partition_point(stamps->begin(), stamps->end(), [&](const Stamp& s) { return s.seconds <= stamp.seconds; });
  stamps->insert(at, stamp);
}

template <typename T>
T* FindByTicket(std::vector<T>& records, std::uint64_t ticket) {
  auto it = std::find_if(records.begin(), records.end(), [&](const T& r) { return r.ticket == ticket; });
  return it == records.end() ? nullptr : &*it;
}

}  // namespace

Ledger::Ledger(double balance, std::int64_t created_ms) : next_ticket_(kFirstTicket), evaluated_ms_(created_ms) {
  Deal deposit;
  deposit.ticket = NextTicket();
  deposit.time_msc = created_ms;
  deposit.type = wire::DEAL_TYPE_BALANCE;
  deposit.entry = wire::DEAL_ENTRY_IN;
  deposit.reason = wire::DEAL_REASON_CLIENT;
  deposit.profit = balance;
  deposit.comment = u"Initial deposit";
  AddDeal(std::move(deposit));
}

void Ledger::AddHistoryOrder(Order order) {
  Insert(&orders_by_setup_, Stamp{SecondsOf(order.setup_msc), history_orders_.size()});
  history_orders_.push_back(std::move(order));
}

void Ledger::AddDeal(Deal deal) {
  Insert(&deals_by_time_, Stamp{SecondsOf(deal.time_msc), deals_.size()});
  deals_.push_back(std::move(deal));
}

std::vector<std::size_t> Ledger::HistoryOrdersIn(std::int64_t from, std::int64_t to) const {
  return PositionsIn(orders_by_setup_, from, to);
}

std::vector<std::size_t> Ledger::DealsIn(std::int64_t from, std::int64_t to) const {
  return PositionsIn(deals_by_time_, from, to);
}

std::size_t Ledger::CountHistoryOrdersIn(std::int64_t from, std::int64_t to) const {
  return CountIn(orders_by_setup_, from, to);
}

std::size_t Ledger::CountDealsIn(std::int64_t from, std::int64_t to) const { return CountIn(deals_by_time_, from, to); }

Position* Ledger::FindPosition(std::uint64_t ticket) { return FindByTicket(positions_, ticket); }

Order* Ledger::FindOrder(std::uint64_t ticket) { return FindByTicket(orders_, ticket); }

void Ledger::RemovePosition(std::uint64_t ticket) {
  positions_.erase(
      std::remove_if(positions_.begin(), positions_.end(), [&](const Position& p) { return p.ticket == ticket; }),
      positions_.end());
}

std::optional<Order> Ledger::TakeOrder(std::uint64_t ticket) {
  auto it = std::find_if(orders_.begin(), orders_.end(), [&](const Order& o) { return o.ticket == ticket; });
  if (it == orders_.end()) return std::nullopt;
  Order order = *it;
  orders_.erase(it);
  return order;
}

}  // namespace vl5::terminal::trading
