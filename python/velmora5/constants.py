"""Named codes of the terminal: timeframes, tick flags, tick copy modes,
depth-of-market entry types and the codes found in a symbol's description;
then the trading codes: request actions, order, position and deal kinds,
order states, filling and expiry policies, reasons, trade return codes and
the account's modes.

The values are the terminal's own; user scripts use these names instead of
bare numbers. They mirror src/wire/market_codes.h and src/wire/trade_codes.h,
which a test checks.

The four families a trade request carries (actions, order types, filling and
expiry policies) each have a type of their own, so that a type checker tells
an action from an order type although their values overlap
(ORDER_TYPE_SELL == TRADE_ACTION_DEAL == 1). At run time they are plain ints.
"""
from typing import Final, NewType

TradeAction = NewType("TradeAction", int)
OrderType = NewType("OrderType", int)
OrderFilling = NewType("OrderFilling", int)
OrderTime = NewType("OrderTime", int)

# Timeframes: the bar length in minutes. MN1 bars are calendar months, W1
# bars start on Sunday 00:00 UTC; all others are aligned to 00:00 UTC.
TIMEFRAME_M1 = 1
TIMEFRAME_M2 = 2
TIMEFRAME_M3 = 3
TIMEFRAME_M4 = 4
TIMEFRAME_M5 = 5
TIMEFRAME_M6 = 6
TIMEFRAME_M10 = 10
TIMEFRAME_M12 = 12
TIMEFRAME_M15 = 15
TIMEFRAME_M20 = 20
TIMEFRAME_M30 = 30
TIMEFRAME_H1 = 60
TIMEFRAME_H2 = 120
TIMEFRAME_H3 = 180
TIMEFRAME_H4 = 240
TIMEFRAME_H6 = 360
TIMEFRAME_H8 = 480
TIMEFRAME_H12 = 720
TIMEFRAME_D1 = 1440
TIMEFRAME_W1 = 10080
TIMEFRAME_MN1 = 43200

# Tick flags: which parts of the quote a tick changed.
TICK_FLAG_BID = 2
TICK_FLAG_ASK = 4
TICK_FLAG_LAST = 8
TICK_FLAG_VOLUME = 16
TICK_FLAG_BUY = 32
TICK_FLAG_SELL = 64

# Which ticks copy_ticks_from and copy_ticks_range return: quote changes
# (INFO), trades (TRADE), or every tick (ALL).
COPY_TICKS_ALL = -1
COPY_TICKS_INFO = 1
COPY_TICKS_TRADE = 2

# Depth-of-market entry types.
BOOK_TYPE_SELL = 1
BOOK_TYPE_BUY = 2
BOOK_TYPE_SELL_MARKET = 3
BOOK_TYPE_BUY_MARKET = 4

# Symbol description: the price that bars are drawn from.
SYMBOL_CHART_MODE_BID = 0
SYMBOL_CHART_MODE_LAST = 1

# Symbol description: how margin and profit are calculated.
SYMBOL_CALC_MODE_FOREX = 0
SYMBOL_CALC_MODE_CFD = 2
SYMBOL_CALC_MODE_CFDINDEX = 3
SYMBOL_CALC_MODE_EXCH_STOCKS = 32

# Symbol description: which deals are allowed.
SYMBOL_TRADE_MODE_DISABLED = 0
SYMBOL_TRADE_MODE_LONGONLY = 1
SYMBOL_TRADE_MODE_SHORTONLY = 2
SYMBOL_TRADE_MODE_CLOSEONLY = 3
SYMBOL_TRADE_MODE_FULL = 4

# Symbol description: how orders are executed.
SYMBOL_TRADE_EXECUTION_REQUEST = 0
SYMBOL_TRADE_EXECUTION_INSTANT = 1
SYMBOL_TRADE_EXECUTION_MARKET = 2
SYMBOL_TRADE_EXECUTION_EXCHANGE = 3

# Symbol description: how swaps are charged.
SYMBOL_SWAP_MODE_DISABLED = 0
SYMBOL_SWAP_MODE_POINTS = 1

# Symbol description, bit sets: order kinds, filling and expiration policies
# the symbol accepts.
SYMBOL_ORDER_MARKET = 1
SYMBOL_ORDER_LIMIT = 2
SYMBOL_ORDER_STOP = 4
SYMBOL_ORDER_STOP_LIMIT = 8
SYMBOL_ORDER_SL = 16
SYMBOL_ORDER_TP = 32
SYMBOL_ORDER_CLOSEBY = 64
SYMBOL_FILLING_FOK = 1
SYMBOL_FILLING_IOC = 2
SYMBOL_EXPIRATION_GTC = 1
SYMBOL_EXPIRATION_DAY = 2
SYMBOL_EXPIRATION_SPECIFIED = 4
SYMBOL_EXPIRATION_SPECIFIED_DAY = 8

# Days of the week, as in swap_rollover3days.
DAY_OF_WEEK_SUNDAY = 0
DAY_OF_WEEK_MONDAY = 1
DAY_OF_WEEK_TUESDAY = 2
DAY_OF_WEEK_WEDNESDAY = 3
DAY_OF_WEEK_THURSDAY = 4
DAY_OF_WEEK_FRIDAY = 5
DAY_OF_WEEK_SATURDAY = 6

# Trade request actions (the request's `action`).
TRADE_ACTION_DEAL: Final = TradeAction(1)         # market order: open, or close `position`
TRADE_ACTION_PENDING: Final = TradeAction(5)      # place a limit, stop or stop-limit order
TRADE_ACTION_SLTP: Final = TradeAction(6)         # change an open position's stop loss and take profit
TRADE_ACTION_MODIFY: Final = TradeAction(7)       # change a pending order's prices and expiry
TRADE_ACTION_REMOVE: Final = TradeAction(8)       # cancel a pending order
TRADE_ACTION_CLOSE_BY: Final = TradeAction(10)    # close `position` by the opposite `position_by`

# Order types. Even types buy, odd types sell.
ORDER_TYPE_BUY: Final = OrderType(0)
ORDER_TYPE_SELL: Final = OrderType(1)
ORDER_TYPE_BUY_LIMIT: Final = OrderType(2)        # buy when the ask falls to the price
ORDER_TYPE_SELL_LIMIT: Final = OrderType(3)       # sell when the bid rises to the price
ORDER_TYPE_BUY_STOP: Final = OrderType(4)         # buy when the ask rises to the price
ORDER_TYPE_SELL_STOP: Final = OrderType(5)        # sell when the bid falls to the price
ORDER_TYPE_BUY_STOP_LIMIT: Final = OrderType(6)   # at the price, becomes a buy limit at stoplimit
ORDER_TYPE_SELL_STOP_LIMIT: Final = OrderType(7)  # at the price, becomes a sell limit at stoplimit
# The order a close-by records: only the terminal books it, so it is no
# OrderType a request may carry.
ORDER_TYPE_CLOSE_BY: Final = 8

# Order states.
ORDER_STATE_STARTED = 0             # accepted, not yet checked
ORDER_STATE_PLACED = 1              # pending in the order book
ORDER_STATE_CANCELED = 2            # removed by the client
ORDER_STATE_PARTIAL = 3             # partly filled
ORDER_STATE_FILLED = 4              # filled in full
ORDER_STATE_REJECTED = 5            # triggered, but the account could not carry it
ORDER_STATE_EXPIRED = 6             # its expiry time passed

# Filling policies. The symbol's filling_mode bits say which of FOK and IOC
# it accepts; RETURN is for pending orders, and for market orders on symbols
# that fill against the depth of market.
ORDER_FILLING_FOK: Final = OrderFilling(0)        # all or nothing
ORDER_FILLING_IOC: Final = OrderFilling(1)        # what can be filled, the rest cancelled
ORDER_FILLING_RETURN: Final = OrderFilling(2)     # what can be filled, the rest stays pending

# Expiry of pending orders.
ORDER_TIME_GTC: Final = OrderTime(0)              # until cancelled
ORDER_TIME_DAY: Final = OrderTime(1)              # until the end of the UTC day it was placed
ORDER_TIME_SPECIFIED: Final = OrderTime(2)        # until `expiration` (Unix seconds)
ORDER_TIME_SPECIFIED_DAY: Final = OrderTime(3)    # until the end of the UTC day of `expiration`

# Position types.
POSITION_TYPE_BUY = 0
POSITION_TYPE_SELL = 1

# Deal types.
DEAL_TYPE_BUY = 0
DEAL_TYPE_SELL = 1
DEAL_TYPE_BALANCE = 2               # a deposit or withdrawal

# Deal entries: what a deal did to its position.
DEAL_ENTRY_IN = 0                   # opened it
DEAL_ENTRY_OUT = 1                  # closed or reduced it
DEAL_ENTRY_INOUT = 2                # reversed it (netting accounts only)
DEAL_ENTRY_OUT_BY = 3               # closed it by an opposite position

# Why an order, deal or position came about.
ORDER_REASON_CLIENT = 0             # the terminal's user
ORDER_REASON_EXPERT = 3             # a program through this interface
ORDER_REASON_SL = 4                 # the position's stop loss was hit
ORDER_REASON_TP = 5                 # the position's take profit was hit
ORDER_REASON_SO = 6                 # the account fell below its stop-out level
DEAL_REASON_CLIENT = 0
DEAL_REASON_EXPERT = 3
DEAL_REASON_SL = 4
DEAL_REASON_TP = 5
DEAL_REASON_SO = 6
POSITION_REASON_CLIENT = 0
POSITION_REASON_EXPERT = 3

# Trade return codes: the `retcode` of order_check and order_send results.
# order_check answers 0 for a request that would be accepted.
TRADE_RETCODE_REQUOTE = 10004       # instant execution: the price moved beyond `deviation`
TRADE_RETCODE_REJECT = 10006        # an all-or-nothing order the book cannot fill
TRADE_RETCODE_PLACED = 10008        # pending order placed
TRADE_RETCODE_DONE = 10009          # request carried out
TRADE_RETCODE_DONE_PARTIAL = 10010  # carried out in part
TRADE_RETCODE_ERROR = 10011         # failed for another reason
TRADE_RETCODE_INVALID = 10013       # bad action, symbol, type or position
TRADE_RETCODE_INVALID_VOLUME = 10014  # outside min/max, or off the step
TRADE_RETCODE_INVALID_PRICE = 10015  # pending price on the wrong side
TRADE_RETCODE_INVALID_STOPS = 10016  # stop loss or take profit misplaced
TRADE_RETCODE_TRADE_DISABLED = 10017  # the symbol does not allow this trade
TRADE_RETCODE_MARKET_CLOSED = 10018  # no quote yet at the terminal clock
TRADE_RETCODE_NO_MONEY = 10019      # not enough free margin
TRADE_RETCODE_PRICE_CHANGED = 10020  # market beyond `deviation` of `price`
TRADE_RETCODE_INVALID_EXPIRATION = 10022  # unknown policy, or in the past
TRADE_RETCODE_ORDER_CHANGED = 10023  # the order changed state meanwhile
TRADE_RETCODE_CLIENT_DISABLES_AT = 10027  # trading switched off in the terminal
TRADE_RETCODE_INVALID_FILL = 10030  # filling policy not accepted here
TRADE_RETCODE_LIMIT_ORDERS = 10033  # pending-order limit reached
TRADE_RETCODE_INVALID_ORDER = 10035  # no such pending order
TRADE_RETCODE_POSITION_CLOSED = 10036  # no such open position

# Account modes, as account_info reports them.
ACCOUNT_TRADE_MODE_DEMO = 0
ACCOUNT_TRADE_MODE_CONTEST = 1
ACCOUNT_TRADE_MODE_REAL = 2
ACCOUNT_MARGIN_MODE_RETAIL_NETTING = 0  # one position per symbol
ACCOUNT_MARGIN_MODE_EXCHANGE = 1
ACCOUNT_MARGIN_MODE_RETAIL_HEDGING = 2  # each deal in opens its own position
ACCOUNT_STOPOUT_MODE_PERCENT = 0    # stop-out levels are margin-level percents
ACCOUNT_STOPOUT_MODE_MONEY = 1      # stop-out levels are amounts of money
