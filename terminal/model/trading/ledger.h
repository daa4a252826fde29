// One account's trading records: open positions, pending orders, finished
// orders and deals, and the numbering of their tickets. Orders and deals
// share one ticket sequence, so a ticket names exactly one record; a
// position is named by the ticket of the order that opened it.
// History is indexed by time (orders by setup, deals by execution), so a
// date range is found by binary search and costs what it returns.
// Not thread-safe: the terminal's lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "terminal/model/trading/trade_types.h"

namespace vl5::terminal::trading {

// The most pending orders an account may hold; the account record reports it.
inline constexpr std::uint32_t kMaxPendingOrders = 200;

class Ledger {
 public:
  // A new account: its history starts with the deposit of `balance`.
  Ledger(double balance, std::int64_t created_ms);

  std::uint64_t NextTicket() { return next_ticket_++; }
  // The ticket NextTicket gives next, without taking it.
  std::uint64_t PeekTicket() const { return next_ticket_; }

  std::vector<Position>& positions() { return positions_; }
  const std::vector<Position>& positions() const { return positions_; }
  std::vector<Order>& orders() { return orders_; }  // pending, oldest first
  const std::vector<Order>& orders() const { return orders_; }
  const std::vector<Order>& history_orders() const { return history_orders_; }
  const std::vector<Deal>& deals() const { return deals_; }

  Position* FindPosition(std::uint64_t ticket);
  Order* FindOrder(std::uint64_t ticket);
  void RemovePosition(std::uint64_t ticket);
  // Takes a pending order out of the book, for filling or finishing.
  std::optional<Order> TakeOrder(std::uint64_t ticket);
  void AddHistoryOrder(Order order);
  void AddDeal(Deal deal);

  // Positions in history_orders() of the orders set up, and in deals() of the
  // deals done, in the seconds [from, to], in ledger order; and their number.
  std::vector<std::size_t> HistoryOrdersIn(std::int64_t from, std::int64_t to) const;
  std::vector<std::size_t> DealsIn(std::int64_t from, std::int64_t to) const;
  std::size_t CountHistoryOrdersIn(std::int64_t from, std::int64_t to) const;
  std::size_t CountDealsIn(std::int64_t from, std::int64_t to) const;

  // Triggers (pending prices, stops, expiries) have been evaluated up to here.
  std::int64_t evaluated_ms() const { return evaluated_ms_; }
  void set_evaluated_ms(std::int64_t ms) { evaluated_ms_ = ms; }

 private:
  std::uint64_t next_ticket_;
  std::vector<Position> positions_;
  std::vector<Order> orders_;
  std::vector<Order> history_orders_;
  std::vector<Deal> deals_;
  // By time, then by position: history orders finish out of setup order.
  struct Stamp {
    std::int64_t seconds;
    std::size_t position;
  };
  std::vector<Stamp> orders_by_setup_;
  std::vector<Stamp> deals_by_time_;
  std::int64_t evaluated_ms_;
};

}  // namespace vl5::terminal::trading
