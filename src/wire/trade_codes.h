// Trading codes of the terminal: request actions, order, position and deal
// kinds, order states, filling and expiry policies, reasons, trade return
// codes and the account's modes. The module passes them through untouched;
// velmora5/constants.py exports the same names and values to Python, and a
// test parses this file to keep the two in step, so every code is one
// "NAME = value;" line with the Python name.
#pragma once

#include <cstdint>

namespace vl5::wire {

// Trade request actions (the request's `action`).
inline constexpr std::uint32_t TRADE_ACTION_DEAL = 1;       // market order: open, or close `position`
inline constexpr std::uint32_t TRADE_ACTION_PENDING = 5;    // place a limit, stop or stop-limit order
inline constexpr std::uint32_t TRADE_ACTION_SLTP = 6;       // change an open position's stop loss and take profit
inline constexpr std::uint32_t TRADE_ACTION_MODIFY = 7;     // change a pending order's prices and expiry
inline constexpr std::uint32_t TRADE_ACTION_REMOVE = 8;     // cancel a pending order
inline constexpr std::uint32_t TRADE_ACTION_CLOSE_BY = 10;  // close `position` by the opposite `position_by`

// Order types. Even types buy, odd types sell.
inline constexpr std::uint32_t ORDER_TYPE_BUY = 0;
inline constexpr std::uint32_t ORDER_TYPE_SELL = 1;
inline constexpr std::uint32_t ORDER_TYPE_BUY_LIMIT = 2;        // buy when the ask falls to the price
inline constexpr std::uint32_t ORDER_TYPE_SELL_LIMIT = 3;       // sell when the bid rises to the price
inline constexpr std::uint32_t ORDER_TYPE_BUY_STOP = 4;         // buy when the ask rises to the price
inline constexpr std::uint32_t ORDER_TYPE_SELL_STOP = 5;        // sell when the bid falls to the price
inline constexpr std::uint32_t ORDER_TYPE_BUY_STOP_LIMIT = 6;   // at the price, becomes a buy limit at stoplimit
inline constexpr std::uint32_t ORDER_TYPE_SELL_STOP_LIMIT = 7;  // at the price, becomes a sell limit at stoplimit
inline constexpr std::uint32_t ORDER_TYPE_CLOSE_BY = 8;         // the order recorded by a close-by

// Order states.
inline constexpr std::uint32_t ORDER_STATE_STARTED = 0;   // accepted, not yet checked
inline constexpr std::uint32_t ORDER_STATE_PLACED = 1;    // pending in the order book
inline constexpr std::uint32_t ORDER_STATE_CANCELED = 2;  // removed by the client
inline constexpr std::uint32_t ORDER_STATE_PARTIAL = 3;   // partly filled
inline constexpr std::uint32_t ORDER_STATE_FILLED = 4;    // filled in full
inline constexpr std::uint32_t ORDER_STATE_REJECTED = 5;  // triggered, but the account could not carry it
inline constexpr std::uint32_t ORDER_STATE_EXPIRED = 6;   // its expiry time passed

// Filling policies. The symbol's filling_mode bits say which of FOK and IOC
// it accepts; RETURN is for pending orders only.
inline constexpr std::uint32_t ORDER_FILLING_FOK = 0;     // all or nothing
inline constexpr std::uint32_t ORDER_FILLING_IOC = 1;     // what can be filled, the rest cancelled
inline constexpr std::uint32_t ORDER_FILLING_RETURN = 2;  // what can be filled, the rest stays pending

// Expiry of pending orders.
inline constexpr std::uint32_t ORDER_TIME_GTC = 0;            // until cancelled
inline constexpr std::uint32_t ORDER_TIME_DAY = 1;            // until the end of the UTC day it was placed
inline constexpr std::uint32_t ORDER_TIME_SPECIFIED = 2;      // until `expiration` (Unix seconds)
inline constexpr std::uint32_t ORDER_TIME_SPECIFIED_DAY = 3;  // until the end of the UTC day of `expiration`

// Position types.
inline constexpr std::uint32_t POSITION_TYPE_BUY = 0;
inline constexpr std::uint32_t POSITION_TYPE_SELL = 1;

// Deal types.
inline constexpr std::uint32_t DEAL_TYPE_BUY = 0;
inline constexpr std::uint32_t DEAL_TYPE_SELL = 1;
inline constexpr std::uint32_t DEAL_TYPE_BALANCE = 2;  // a deposit or withdrawal

// Deal entries: what a deal did to its position.
inline constexpr std::uint32_t DEAL_ENTRY_IN = 0;      // opened it
inline constexpr std::uint32_t DEAL_ENTRY_OUT = 1;     // closed or reduced it
inline constexpr std::uint32_t DEAL_ENTRY_INOUT = 2;   // reversed it (netting accounts only)
inline constexpr std::uint32_t DEAL_ENTRY_OUT_BY = 3;  // closed it by an opposite position

// Why an order, deal or position came about.
inline constexpr std::uint32_t ORDER_REASON_CLIENT = 0;  // the terminal's user
inline constexpr std::uint32_t ORDER_REASON_EXPERT = 3;  // a program through this interface
inline constexpr std::uint32_t ORDER_REASON_SL = 4;      // the position's stop loss was hit
inline constexpr std::uint32_t ORDER_REASON_TP = 5;      // the position's take profit was hit
inline constexpr std::uint32_t ORDER_REASON_SO = 6;      // the account fell below its stop-out level
inline constexpr std::uint32_t DEAL_REASON_CLIENT = 0;
inline constexpr std::uint32_t DEAL_REASON_EXPERT = 3;
inline constexpr std::uint32_t DEAL_REASON_SL = 4;
inline constexpr std::uint32_t DEAL_REASON_TP = 5;
inline constexpr std::uint32_t DEAL_REASON_SO = 6;
inline constexpr std::uint32_t POSITION_REASON_CLIENT = 0;
inline constexpr std::uint32_t POSITION_REASON_EXPERT = 3;

// Trade return codes: the `retcode` of order_check and order_send results.
// order_check answers 0 for a request that would be accepted.
inline constexpr std::uint32_t TRADE_RETCODE_REQUOTE = 10004;         // instant execution: price beyond `deviation`
inline constexpr std::uint32_t TRADE_RETCODE_REJECT = 10006;          // all-or-nothing order the book cannot fill
inline constexpr std::uint32_t TRADE_RETCODE_PLACED = 10008;          // pending order placed
inline constexpr std::uint32_t TRADE_RETCODE_DONE = 10009;            // request carried out
inline constexpr std::uint32_t TRADE_RETCODE_DONE_PARTIAL = 10010;    // carried out in part
inline constexpr std::uint32_t TRADE_RETCODE_ERROR = 10011;           // failed for another reason
inline constexpr std::uint32_t TRADE_RETCODE_INVALID = 10013;         // bad action, symbol, type or position
inline constexpr std::uint32_t TRADE_RETCODE_INVALID_VOLUME = 10014;  // outside min/max, or off the step
inline constexpr std::uint32_t TRADE_RETCODE_INVALID_PRICE = 10015;   // pending price on the wrong side
inline constexpr std::uint32_t TRADE_RETCODE_INVALID_STOPS = 10016;   // stop loss or take profit misplaced
inline constexpr std::uint32_t TRADE_RETCODE_TRADE_DISABLED = 10017;  // the symbol does not allow this trade
inline constexpr std::uint32_t TRADE_RETCODE_MARKET_CLOSED = 10018;   // outside the trading session, or no quote yet
inline constexpr std::uint32_t TRADE_RETCODE_NO_MONEY = 10019;        // not enough free margin
inline constexpr std::uint32_t TRADE_RETCODE_PRICE_CHANGED = 10020;   // market beyond `deviation` of `price`
inline constexpr std::uint32_t TRADE_RETCODE_INVALID_EXPIRATION = 10022;  // unknown policy, or in the past
inline constexpr std::uint32_t TRADE_RETCODE_ORDER_CHANGED = 10023;       // the order changed state meanwhile
inline constexpr std::uint32_t TRADE_RETCODE_CLIENT_DISABLES_AT = 10027;  // trading switched off in the terminal
inline constexpr std::uint32_t TRADE_RETCODE_INVALID_FILL = 10030;        // filling policy not accepted here
inline constexpr std::uint32_t TRADE_RETCODE_LIMIT_ORDERS = 10033;        // pending-order limit reached
inline constexpr std::uint32_t TRADE_RETCODE_INVALID_ORDER = 10035;       // no such pending order
inline constexpr std::uint32_t TRADE_RETCODE_POSITION_CLOSED = 10036;     // no such open position

// Account modes, as account_info reports them.
inline constexpr std::uint32_t ACCOUNT_TRADE_MODE_DEMO = 0;
inline constexpr std::uint32_t ACCOUNT_TRADE_MODE_CONTEST = 1;
inline constexpr std::uint32_t ACCOUNT_TRADE_MODE_REAL = 2;
inline constexpr std::uint32_t ACCOUNT_MARGIN_MODE_RETAIL_NETTING = 0;  // one position per symbol
inline constexpr std::uint32_t ACCOUNT_MARGIN_MODE_EXCHANGE = 1;
inline constexpr std::uint32_t ACCOUNT_MARGIN_MODE_RETAIL_HEDGING = 2;  // each deal in opens its own position
inline constexpr std::uint32_t ACCOUNT_STOPOUT_MODE_PERCENT = 0;        // stop-out levels are margin-level percents
inline constexpr std::uint32_t ACCOUNT_STOPOUT_MODE_MONEY = 1;          // stop-out levels are amounts of money

}  // namespace vl5::wire
