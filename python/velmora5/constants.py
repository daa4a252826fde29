"""Named codes of the terminal: timeframes, tick flags, tick copy modes,
depth-of-market entry types and the codes found in a symbol's description.

The values are the terminal's own; user scripts use these names instead of
bare numbers. They mirror src/wire/market_codes.h, which a test checks.
"""

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
