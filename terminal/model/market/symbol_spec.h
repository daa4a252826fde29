// The fixed description of one symbol: what the catalog declares and what the
// price path and the symbol record are built from. Immutable after start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "terminal/base/slippage.h"
#include "terminal/model/market/trading_hours.h"

namespace vl5::terminal::market {

struct SymbolSpec {
  std::u16string name;
  std::u16string description;
  std::u16string path;  // group path, "Forex\Majors\EURUSD"
  std::u16string currency_base;
  std::u16string currency_profit;
  std::u16string currency_margin;
  std::u16string exchange;
  std::u16string isin;
  std::u16string category;

  // Price model.
  int digits = 5;
  double base_price = 1.0;          // level the price path wanders around
  double daily_volatility = 0.005;  // standard deviation of the log price over a day
  int spread_points = 10;           // smallest spread; it floats upwards from here
  int spread_range = 3;             // number of extra two-point spread steps
  int activity = 6;                 // a minute holds 1 to 2*activity-1 ticks
  bool trades = false;              // exchange instrument: every tick is also a trade
  std::int64_t history_start = 0;   // seconds; the first of a month, 00:00 UTC
  TradingHours hours;               // weekly trading hours; no ticks outside them
  // A loaded symbol open wherever its history has bars, rather than by `hours`.
  bool hours_from_data = false;

  // Trading conditions.
  std::uint32_t calc_mode = 0;
  std::uint32_t trade_mode = 0;
  std::uint32_t execution_mode = 0;
  double contract_size = 100000.0;
  double volume_min = 0.01;
  double volume_max = 100.0;
  double volume_step = 0.01;
  double volume_limit = 0.0;
  double margin_initial = 0.0;
  double margin_maintenance = 0.0;
  double margin_hedged = 0.0;
  double swap_long = 0.0;
  double swap_short = 0.0;
  std::uint32_t swap_mode = 0;
  std::uint32_t swap_rollover3days = 0;
  // Commission rates replacing the account's (trading/costs.h); unset: the account's.
  std::optional<double> commission_per_lot;
  std::optional<double> commission_percent;
  int stops_level = 0;
  int freeze_level = 0;
  std::int32_t filling_mode = 0;
  std::int32_t expiration_mode = 0;
  std::int32_t order_mode = 0;
  std::uint32_t book_depth = 10;
  bool selected = false;  // in the market watch when the terminal starts

  // Settings-defined symbols.
  bool custom = false;  // defined by a [Symbol] section rather than built in

  // Fills (trading/fills.h). Market orders walk the depth of market when
  // book_fills says so; unset, the exchange calculation modes do.
  std::optional<bool> book_fills;
  Slippage slippage;

  // Prices are whole numbers of points; dividing by the scale (rather than
  // multiplying by the point) gives the double nearest to the decimal price.
  double Scale() const {
    double scale = 1.0;
    for (int i = 0; i < digits; ++i) scale *= 10.0;
    return scale;
  }
  double Point() const { return 1.0 / Scale(); }
  double Price(std::int64_t points) const { return static_cast<double>(points) / Scale(); }
};

}  // namespace vl5::terminal::market
