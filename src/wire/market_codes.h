// Market codes of the terminal: timeframes, tick flags, tick copy modes,
// depth-of-market entry types and the codes in a symbol's description. The
// module passes them through untouched; velmora5/constants.py exports the
// same names and values to Python, and a test parses this file to keep the
// two in step, so every code is one "NAME = value;" line with the Python name.
#pragma once

#include <cstdint>

namespace vl5::wire {

// Timeframes: the bar length in minutes. MN1 bars are calendar months, W1
// bars start on Sunday 00:00 UTC; all others are aligned to 00:00 UTC.
inline constexpr std::int32_t TIMEFRAME_M1 = 1;
inline constexpr std::int32_t TIMEFRAME_M2 = 2;
inline constexpr std::int32_t TIMEFRAME_M3 = 3;
inline constexpr std::int32_t TIMEFRAME_M4 = 4;
inline constexpr std::int32_t TIMEFRAME_M5 = 5;
inline constexpr std::int32_t TIMEFRAME_M6 = 6;
inline constexpr std::int32_t TIMEFRAME_M10 = 10;
inline constexpr std::int32_t TIMEFRAME_M12 = 12;
inline constexpr std::int32_t TIMEFRAME_M15 = 15;
inline constexpr std::int32_t TIMEFRAME_M20 = 20;
inline constexpr std::int32_t TIMEFRAME_M30 = 30;
inline constexpr std::int32_t TIMEFRAME_H1 = 60;
inline constexpr std::int32_t TIMEFRAME_H2 = 120;
inline constexpr std::int32_t TIMEFRAME_H3 = 180;
inline constexpr std::int32_t TIMEFRAME_H4 = 240;
inline constexpr std::int32_t TIMEFRAME_H6 = 360;
inline constexpr std::int32_t TIMEFRAME_H8 = 480;
inline constexpr std::int32_t TIMEFRAME_H12 = 720;
inline constexpr std::int32_t TIMEFRAME_D1 = 1440;
inline constexpr std::int32_t TIMEFRAME_W1 = 10080;
inline constexpr std::int32_t TIMEFRAME_MN1 = 43200;

// Tick flags: which parts of the quote a tick changed.
inline constexpr std::uint32_t TICK_FLAG_BID = 2;
inline constexpr std::uint32_t TICK_FLAG_ASK = 4;
inline constexpr std::uint32_t TICK_FLAG_LAST = 8;
inline constexpr std::uint32_t TICK_FLAG_VOLUME = 16;
inline constexpr std::uint32_t TICK_FLAG_BUY = 32;
inline constexpr std::uint32_t TICK_FLAG_SELL = 64;

// Which ticks copy_ticks_from and copy_ticks_range return: quote changes
// (INFO), trades (TRADE), or every tick (ALL).
inline constexpr std::int32_t COPY_TICKS_ALL = -1;
inline constexpr std::int32_t COPY_TICKS_INFO = 1;
inline constexpr std::int32_t COPY_TICKS_TRADE = 2;

// Depth-of-market entry types.
inline constexpr std::uint32_t BOOK_TYPE_SELL = 1;
inline constexpr std::uint32_t BOOK_TYPE_BUY = 2;
inline constexpr std::uint32_t BOOK_TYPE_SELL_MARKET = 3;
inline constexpr std::uint32_t BOOK_TYPE_BUY_MARKET = 4;

// Symbol description: the price that bars are drawn from.
inline constexpr std::uint32_t SYMBOL_CHART_MODE_BID = 0;
inline constexpr std::uint32_t SYMBOL_CHART_MODE_LAST = 1;

// Symbol description: how margin and profit are calculated.
inline constexpr std::uint32_t SYMBOL_CALC_MODE_FOREX = 0;
inline constexpr std::uint32_t SYMBOL_CALC_MODE_CFD = 2;
inline constexpr std::uint32_t SYMBOL_CALC_MODE_CFDINDEX = 3;
inline constexpr std::uint32_t SYMBOL_CALC_MODE_EXCH_STOCKS = 32;

// Symbol description: which deals are allowed.
inline constexpr std::uint32_t SYMBOL_TRADE_MODE_DISABLED = 0;
inline constexpr std::uint32_t SYMBOL_TRADE_MODE_LONGONLY = 1;
inline constexpr std::uint32_t SYMBOL_TRADE_MODE_SHORTONLY = 2;
inline constexpr std::uint32_t SYMBOL_TRADE_MODE_CLOSEONLY = 3;
inline constexpr std::uint32_t SYMBOL_TRADE_MODE_FULL = 4;

// Symbol description: how orders are executed.
inline constexpr std::uint32_t SYMBOL_TRADE_EXECUTION_REQUEST = 0;
inline constexpr std::uint32_t SYMBOL_TRADE_EXECUTION_INSTANT = 1;
inline constexpr std::uint32_t SYMBOL_TRADE_EXECUTION_MARKET = 2;
inline constexpr std::uint32_t SYMBOL_TRADE_EXECUTION_EXCHANGE = 3;

// Symbol description: how swaps are charged.
inline constexpr std::uint32_t SYMBOL_SWAP_MODE_DISABLED = 0;
inline constexpr std::uint32_t SYMBOL_SWAP_MODE_POINTS = 1;

// Symbol description, bit sets: order kinds, filling and expiration policies
// the symbol accepts.
inline constexpr std::int32_t SYMBOL_ORDER_MARKET = 1;
inline constexpr std::int32_t SYMBOL_ORDER_LIMIT = 2;
inline constexpr std::int32_t SYMBOL_ORDER_STOP = 4;
inline constexpr std::int32_t SYMBOL_ORDER_STOP_LIMIT = 8;
inline constexpr std::int32_t SYMBOL_ORDER_SL = 16;
inline constexpr std::int32_t SYMBOL_ORDER_TP = 32;
inline constexpr std::int32_t SYMBOL_ORDER_CLOSEBY = 64;
inline constexpr std::int32_t SYMBOL_FILLING_FOK = 1;
inline constexpr std::int32_t SYMBOL_FILLING_IOC = 2;
inline constexpr std::int32_t SYMBOL_EXPIRATION_GTC = 1;
inline constexpr std::int32_t SYMBOL_EXPIRATION_DAY = 2;
inline constexpr std::int32_t SYMBOL_EXPIRATION_SPECIFIED = 4;
inline constexpr std::int32_t SYMBOL_EXPIRATION_SPECIFIED_DAY = 8;

// Days of the week, as in swap_rollover3days.
inline constexpr std::uint32_t DAY_OF_WEEK_SUNDAY = 0;
inline constexpr std::uint32_t DAY_OF_WEEK_MONDAY = 1;
inline constexpr std::uint32_t DAY_OF_WEEK_TUESDAY = 2;
inline constexpr std::uint32_t DAY_OF_WEEK_WEDNESDAY = 3;
inline constexpr std::uint32_t DAY_OF_WEEK_THURSDAY = 4;
inline constexpr std::uint32_t DAY_OF_WEEK_FRIDAY = 5;
inline constexpr std::uint32_t DAY_OF_WEEK_SATURDAY = 6;

}  // namespace vl5::wire
