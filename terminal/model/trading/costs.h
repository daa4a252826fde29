// What trading costs beyond the spread: a commission on every deal, and a
// swap on every position held over the daily rollover.
//
// Commission: `commission_per_lot` in the account currency per lot, plus
// `commission_percent` of the deal's value (volume x contract size x price,
// in the account currency). A symbol with rates of its own uses those
// instead of the account's. Booked on the deal and taken from the balance
// at once.
//
// Swap: at its symbol's rollover each open position is charged for the
// trading day that ended: swap_long or swap_short points per lot, three
// times for the symbol's swap_rollover3days weekday and nothing for Saturday
// and Sunday, so that a week costs seven days. It accumulates on the
// position (and in the equity) and is booked on the deals that close it.
// The rollover is daily at the local time the symbol's trading day ends
// (TradingHours::DayEnd): 17:00 New York time for currencies and metals,
// the close for weekday sessions, midnight for symbols always open; days
// are the symbol's local days.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terminal/model/account/account.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/trading/trade_types.h"

namespace vl5::terminal::trading {

inline constexpr std::int64_t kDayMs = 86400 * 1000;

// The commission of one deal, negative (a cost), to the cent.
double DealCommission(const market::Market& market, const AccountConfig& account, std::size_t symbol, double volume,
                      double price, std::int64_t now_ms);

// The first rollover of `spec` after `ms`.
std::int64_t NextRollover(const market::SymbolSpec& spec, std::int64_t ms);
// The swap the rollover at `rollover_ms` charges `position`, to the cent.
double RolloverSwap(const market::Market& market, const Position& position, std::int64_t rollover_ms);

}  // namespace vl5::terminal::trading
