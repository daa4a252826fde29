#include "terminal/trading/ledger.h"

#include <algorithm>

namespace vl5::terminal::trading {

namespace {

// Far from 0, so that a ticket is never mistaken for "no ticket" or a count.
constexpr std::uint64_t kFirstTicket = 1000001;

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
  deals_.push_back(deposit);
}

Position* Ledger::FindPosition(std::uint64_t ticket) { return FindByTicket(positions_, ticket); }

Order* Ledger::FindOrder(std::uint64_t ticket) { return FindByTicket(orders_, ticket); }

void Ledger::RemovePosition(std::uint64_t ticket) {
  positions_.erase(std::remove_if(positions_.begin(), positions_.end(),
                                  [&](const Position& p) { return p.ticket == ticket; }),
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
