// Margin and profit in the account currency (US dollars).
//
// An amount computed in a symbol's profit currency (the currency its prices
// are quoted in) is converted at that currency's current dollar rate, taken
// from the bid of the USDxxx or xxxUSD symbol, as the symbol record's tick
// values are. Then:
//   margin = volume x contract size x price / leverage, converted, by the
//            symbol's calc mode: forex and CFDs so; exchange stocks are paid
//            in full, without leverage; a forex symbol whose margin currency
//            is not its base takes volume x contract size / leverage in that
//            currency; a symbol with margin_initial takes that per lot, in
//            its margin currency;
//   profit = (close - open) x volume x contract size, negated for sells, converted.
// Both are rounded to the cent, as deals book them, so a figure asked for
// through order_calc_margin or order_calc_profit is the one the engine books.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "terminal/model/market/catalog.h"
#include "terminal/model/trading/trade_types.h"

namespace vl5::terminal::trading {

double RoundMoney(double amount);

double MarginFor(const market::Market& market, std::size_t symbol, double volume, double price, std::uint32_t leverage,
                 std::int64_t now_ms);
double ProfitFor(const market::Market& market, std::size_t symbol, bool buy, double volume, double open, double close,
                 std::int64_t now_ms);

// A position's profit if it were closed at `now_ms`.
double FloatingProfit(const market::Market& market, const Position& position, std::int64_t now_ms);

struct Valuation {
  double profit = 0.0;  // floating, of all open positions, with their swaps
  double margin = 0.0;  // booked, of all open positions
};
Valuation Value(const market::Market& market, const std::vector<Position>& positions, std::int64_t now_ms);

}  // namespace vl5::terminal::trading
