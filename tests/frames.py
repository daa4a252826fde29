"""Wire records of the market and trading replies, packed by offset.

These layouts are written down here on their own, field by field, rather
than taken from the C++ tables, so that a test which packs a record here and
reads it back through the module checks the module's tables.

A layout is a list of (name, offset, kind) in the order of the result tuple.
kind is a struct letter ("?" a one-byte flag, "I", "i", "Q", "q", "d") or
("text", units) for a fixed UTF-16LE field.
"""
import struct

from conftest import counted, frame, reply, request, u32

# ---- command ids -----------------------------------------------------------------

CMD_TICKS_FROM, CMD_TICKS_RANGE = 104, 105
CMD_RATES_FROM, CMD_RATES_RANGE, CMD_RATES_FROM_POS = 106, 107, 108
CMD_POSITIONS_TOTAL, CMD_POSITIONS_GET, CMD_POSITIONS_SYMBOL, CMD_POSITIONS_TICKET = 120, 121, 122, 123
CMD_ORDERS_TOTAL, CMD_ORDERS_GET, CMD_ORDERS_SYMBOL, CMD_ORDERS_TICKET = 130, 131, 132, 133
CMD_HORDERS_TOTAL, CMD_HORDERS_GET, CMD_HORDERS_POSITION, CMD_HORDERS_TICKET = 140, 141, 142, 143
CMD_HDEALS_TOTAL, CMD_HDEALS_GET, CMD_HDEALS_POSITION, CMD_HDEALS_TICKET = 150, 151, 152, 153
CMD_ORDER_CHECK, CMD_ORDER_SEND = 160, 161
CMD_CALC_MARGIN, CMD_CALC_PROFIT = 162, 163
CMD_SYMBOL_INFO, CMD_SYMBOL_SELECT, CMD_SYMBOL_TICK = 170, 171, 172
CMD_SYMBOLS_TOTAL, CMD_SYMBOLS_GET, CMD_SYMBOLS_GROUP = 173, 174, 175
CMD_TERMINAL_INFO, CMD_ACCOUNT_INFO = 180, 190
CMD_BOOK_ADD, CMD_BOOK_RELEASE, CMD_BOOK_GET = 191, 192, 193

# ---- request and reply shapes ----------------------------------------------------


def string_request(command, text):
    return request(command, counted(text))


def id_request(command, value):
    return request(command, struct.pack("<Q", value))


def range_request(command, date_from, date_to):
    return request(command, struct.pack("<qq", date_from, date_to))


def list_reply(echo, records, status=0, count=None):
    """A record-list reply; `count` may announce another number than sent."""
    count = len(records) if count is None else count
    return reply(echo, status, u32(count) + b"".join(records))


def with_extra(reply_bytes, extra):
    """The same reply with `extra` bytes after its last field, length adjusted."""
    return frame(reply_bytes[4:] + extra)


# ---- packing by layout -------------------------------------------------------------


def _size(kind):
    return 2 * kind[1] if isinstance(kind, tuple) else struct.calcsize("<" + kind)


def pack(size, layout, values, fill=b"\x00"):
    """A `size`-byte record with `values` (name -> value) written at their offsets.

    A text value is written as its UTF-16LE units followed by a zero unit when
    there is room; a text that fills its field has none.
    """
    record = bytearray(fill * size)
    for name, offset, kind in layout:
        if name not in values:
            continue
        value = values[name]
        if isinstance(kind, tuple):
            units = value.encode("utf-16-le", "surrogatepass")
            assert len(units) <= 2 * kind[1], (name, value)
            if len(units) < 2 * kind[1]:
                units += b"\x00\x00"
            record[offset:offset + len(units)] = units
        else:
            struct.pack_into("<" + kind, record, offset, value)
    return bytes(record)


def unpack(record, layout):
    """The values of a packed record, name -> value, texts cut at the first zero unit."""
    values = {}
    for name, offset, kind in layout:
        if isinstance(kind, tuple):
            raw = record[offset:offset + 2 * kind[1]]
            text = raw.decode("utf-16-le", "surrogatepass")
            values[name] = text.split("\x00", 1)[0]
        else:
            values[name] = struct.unpack_from("<" + kind, record, offset)[0]
    return values


def sample(layout, salt=0):
    """Distinct values for every field of a layout, each exercising its type's range."""
    values = {}
    for i, (name, _, kind) in enumerate(layout):
        n = i + salt
        if kind == "?":
            values[name] = n % 2 == 0
        elif kind == "I":
            values[name] = 0xFFFF0000 + n
        elif kind == "i":
            values[name] = -1000 - n
        elif kind == "Q":
            values[name] = 0xFFFFFFFF00000000 + n
        elif kind == "q":
            values[name] = -(1 << 40) - n
        elif kind == "d":
            values[name] = n + 0.25
        else:
            values[name] = f"{name[:12]}-{n}\u00e9"
    return values


def layout_size(layout):
    return max(offset + _size(kind) for _, offset, kind in layout)


def text(units):
    return ("text", units)


# ---- bars and ticks: 60 bytes ------------------------------------------------------------

RATE = [("time", 0, "q"), ("open", 8, "d"), ("high", 16, "d"), ("low", 24, "d"), ("close", 32, "d"),
        ("tick_volume", 40, "Q"), ("spread", 48, "i"), ("real_volume", 52, "Q")]
TICK = [("time", 0, "q"), ("bid", 8, "d"), ("ask", 16, "d"), ("last", 24, "d"), ("volume", 32, "Q"),
        ("time_msc", 40, "q"), ("flags", 48, "I"), ("volume_real", 52, "d")]


def rate_record(time, open, high, low, close, tick_volume, spread, real_volume):
    return pack(60, RATE, dict(time=time, open=open, high=high, low=low, close=close,
                               tick_volume=tick_volume, spread=spread, real_volume=real_volume))


def tick_record(time, bid, ask, last, volume, time_msc, flags, volume_real):
    return pack(60, TICK, dict(time=time, bid=bid, ask=ask, last=last, volume=volume,
                               time_msc=time_msc, flags=flags, volume_real=volume_real))


# ---- symbol record: 2993 bytes (2929 before build 2364) ------------------------------------

_SYMBOL_NUMBERS = [
    ("custom", 0, "?"), ("chart_mode", 1, "I"), ("select", 5, "?"), ("visible", 6, "?"),
    ("session_deals", 7, "Q"), ("session_buy_orders", 15, "Q"), ("session_sell_orders", 23, "Q"),
    ("volume", 31, "Q"), ("volumehigh", 39, "Q"), ("volumelow", 47, "Q"), ("time", 55, "q"),
    ("digits", 63, "I"), ("spread", 67, "i"), ("spread_float", 71, "?"), ("ticks_bookdepth", 72, "I"),
    ("trade_calc_mode", 76, "I"), ("trade_mode", 80, "I"), ("start_time", 84, "q"),
    ("expiration_time", 92, "q"), ("trade_stops_level", 100, "i"), ("trade_freeze_level", 104, "i"),
    ("trade_exemode", 108, "I"), ("swap_mode", 112, "I"), ("swap_rollover3days", 116, "I"),
    ("margin_hedged_use_leg", 120, "?"), ("expiration_mode", 121, "i"), ("filling_mode", 125, "i"),
    ("order_mode", 129, "i"), ("order_gtc_mode", 133, "I"), ("option_mode", 137, "I"),
    ("option_right", 141, "I"),
]
_SYMBOL_DOUBLES = (
    "bid bidhigh bidlow ask askhigh asklow last lasthigh lastlow volume_real volumehigh_real "
    "volumelow_real option_strike point trade_tick_value trade_tick_value_profit "
    "trade_tick_value_loss trade_tick_size trade_contract_size trade_accrued_interest "
    "trade_face_value trade_liquidity_rate volume_min volume_max volume_step volume_limit swap_long "
    "swap_short margin_initial margin_maintenance session_volume session_turnover session_interest "
    "session_buy_orders_volume session_sell_orders_volume session_open session_close session_aw "
    "session_price_settlement session_price_limit_min session_price_limit_max margin_hedged "
    "price_change price_volatility price_theoretical price_greeks_delta price_greeks_theta "
    "price_greeks_gamma price_greeks_vega price_greeks_rho price_greeks_omega price_sensitivity").split()
# Texts in tuple order: `name` is the record's last field but comes before page and path.
_SYMBOL_TEXTS = [
    ("basis", 561, text(32)), ("category", 625, text(64)), ("currency_base", 753, text(16)),
    ("currency_profit", 785, text(16)), ("currency_margin", 817, text(16)), ("bank", 849, text(256)),
    ("description", 1361, text(64)), ("exchange", 1489, text(64)), ("formula", 1617, text(256)),
    ("isin", 2129, text(16)), ("name", 2929, text(32)), ("page", 2161, text(256)),
    ("path", 2673, text(128)),
]
SYMBOL = (_SYMBOL_NUMBERS + [(name, 145 + 8 * i, "d") for i, name in enumerate(_SYMBOL_DOUBLES)]
          + _SYMBOL_TEXTS)
SYMBOL_SIZE, SYMBOL_SIZE_OLD = 2993, 2929
assert len(SYMBOL) == 96 and layout_size(SYMBOL) == SYMBOL_SIZE


def symbol_record(old=False, **values):
    record = pack(SYMBOL_SIZE, SYMBOL, values)
    return record[:SYMBOL_SIZE_OLD] if old else record


# ---- depth of market entry: 28 bytes ------------------------------------------------------

BOOK = [("type", 0, "I"), ("price", 4, "d"), ("volume", 12, "Q"), ("volume_dbl", 20, "d")]


def book_entry(type, price, volume, volume_dbl):
    return pack(28, BOOK, dict(type=type, price=price, volume=volume, volume_dbl=volume_dbl))


# ---- terminal (3162 bytes) and account (851 bytes) ---------------------------------------------

TERMINAL = [
    ("community_account", 4, "?"), ("community_connection", 5, "?"), ("connected", 6, "?"),
    ("dlls_allowed", 7, "?"), ("trade_allowed", 8, "?"), ("tradeapi_disabled", 3161, "?"),
    ("email_enabled", 9, "?"), ("ftp_enabled", 10, "?"), ("notifications_enabled", 11, "?"),
    ("obid", 16, "?"), ("build", 0, "I"), ("maxbars", 12, "I"), ("codepage", 17, "i"),
    ("ping_last", 21, "i"), ("community_balance", 25, "d"), ("retransmission", 33, "d"),
    ("company", 41, text(260)), ("name", 561, text(260)), ("language", 1081, text(260)),
    ("path", 1601, text(260)), ("data_path", 2121, text(260)), ("commondata_path", 2641, text(260)),
]
TERMINAL_SIZE = 3162

ACCOUNT = [
    ("login", 0, "Q"), ("trade_mode", 8, "I"), ("leverage", 12, "I"), ("limit_orders", 16, "I"),
    ("margin_so_mode", 20, "I"), ("trade_allowed", 24, "?"), ("trade_expert", 25, "?"),
    ("margin_mode", 26, "I"), ("currency_digits", 30, "I"), ("fifo_close", 34, "?"),
    ("balance", 35, "d"), ("credit", 43, "d"), ("profit", 51, "d"), ("equity", 59, "d"),
    ("margin", 67, "d"), ("margin_free", 75, "d"), ("margin_level", 83, "d"),
    ("margin_so_call", 91, "d"), ("margin_so_so", 99, "d"), ("margin_initial", 107, "d"),
    ("margin_maintenance", 115, "d"), ("assets", 123, "d"), ("liabilities", 131, "d"),
    ("commission_blocked", 139, "d"), ("name", 147, text(128)), ("server", 403, text(64)),
    ("currency", 531, text(32)), ("company", 595, text(128)),
]
ACCOUNT_SIZE = 851
assert layout_size(TERMINAL) == TERMINAL_SIZE and layout_size(ACCOUNT) == ACCOUNT_SIZE

# ---- positions (320), orders (340), deals (300) ----------------------------------------------

POSITION = [
    ("ticket", 0, "Q"), ("time", 8, "q"), ("time_msc", 16, "q"), ("time_update", 24, "q"),
    ("time_update_msc", 32, "q"), ("type", 40, "I"), ("magic", 44, "Q"), ("identifier", 52, "Q"),
    ("reason", 60, "I"), ("volume", 64, "d"), ("price_open", 72, "d"), ("sl", 80, "d"),
    ("tp", 88, "d"), ("price_current", 96, "d"),  # 104: 8 reserved bytes
    ("swap", 112, "d"), ("profit", 120, "d"), ("symbol", 128, text(32)),
    ("comment", 192, text(32)), ("external_id", 256, text(32)),
]
POSITION_SIZE = 320

ORDER = [
    ("ticket", 0, "Q"), ("time_setup", 8, "q"), ("time_setup_msc", 16, "q"), ("time_done", 24, "q"),
    ("time_done_msc", 32, "q"), ("time_expiration", 40, "q"), ("type", 48, "I"),
    ("type_time", 52, "I"), ("type_filling", 56, "I"), ("state", 60, "I"), ("magic", 64, "Q"),
    ("position_id", 72, "Q"), ("position_by_id", 80, "Q"), ("reason", 88, "I"),
    ("volume_initial", 92, "d"), ("volume_current", 100, "d"), ("price_open", 108, "d"),
    ("sl", 116, "d"), ("tp", 124, "d"), ("price_current", 132, "d"), ("price_stoplimit", 140, "d"),
    ("symbol", 148, text(32)), ("comment", 212, text(32)), ("external_id", 276, text(32)),
]
ORDER_SIZE = 340

DEAL = [
    ("ticket", 0, "Q"), ("order", 8, "Q"), ("time", 16, "q"), ("time_msc", 24, "q"), ("type", 32, "I"),
    ("entry", 36, "I"), ("magic", 40, "Q"), ("position_id", 48, "Q"), ("reason", 56, "I"),
    ("volume", 60, "d"), ("price", 68, "d"), ("commission", 76, "d"), ("swap", 84, "d"),
    ("profit", 92, "d"), ("fee", 100, "d"), ("symbol", 108, text(32)), ("comment", 172, text(32)),
    ("external_id", 236, text(32)),
]
DEAL_SIZE = 300
assert layout_size(POSITION) == POSITION_SIZE and layout_size(ORDER) == ORDER_SIZE
assert layout_size(DEAL) == DEAL_SIZE

# ---- trade request (232) and its results (252, 260) -----------------------------------------

TRADE_REQUEST = [
    ("action", 0, "I"), ("magic", 4, "Q"), ("order", 12, "Q"), ("symbol", 20, text(32)),
    ("volume", 84, "d"), ("price", 92, "d"), ("stoplimit", 100, "d"), ("sl", 108, "d"),
    ("tp", 116, "d"), ("deviation", 124, "Q"), ("type", 132, "I"), ("type_filling", 136, "I"),
    ("type_time", 140, "I"), ("expiration", 144, "q"), ("comment", 152, text(32)),
    ("position", 216, "Q"), ("position_by", 224, "Q"),
]
TRADE_REQUEST_SIZE = 232

CHECK_RESULT = [
    ("retcode", 0, "I"), ("balance", 4, "d"), ("equity", 12, "d"), ("profit", 20, "d"),
    ("margin", 28, "d"), ("margin_free", 36, "d"), ("margin_level", 44, "d"),
    ("comment", 52, text(100)),
]
CHECK_RESULT_SIZE = 252

SEND_RESULT = [
    ("retcode", 0, "I"), ("deal", 4, "Q"), ("order", 12, "Q"), ("volume", 20, "d"), ("price", 28, "d"),
    ("bid", 36, "d"), ("ask", 44, "d"), ("comment", 52, text(100)), ("request_id", 252, "I"),
    ("retcode_external", 256, "i"),
]
SEND_RESULT_SIZE = 260
assert layout_size(TRADE_REQUEST) == TRADE_REQUEST_SIZE
assert layout_size(CHECK_RESULT) == CHECK_RESULT_SIZE and layout_size(SEND_RESULT) == SEND_RESULT_SIZE


def position_record(**values):
    return pack(POSITION_SIZE, POSITION, values)


def order_record(**values):
    return pack(ORDER_SIZE, ORDER, values)


def deal_record(**values):
    return pack(DEAL_SIZE, DEAL, values)


def trade_request_record(**values):
    return pack(TRADE_REQUEST_SIZE, TRADE_REQUEST, values)


def check_result_record(**values):
    return pack(CHECK_RESULT_SIZE, CHECK_RESULT, values)


def send_result_record(**values):
    return pack(SEND_RESULT_SIZE, SEND_RESULT, values)


def terminal_record(**values):
    return pack(TERMINAL_SIZE, TERMINAL, values)


def account_record(**values):
    return pack(ACCOUNT_SIZE, ACCOUNT, values)


def expected(layout, values):
    """The result tuple's items, in tuple order, for `values` packed by `layout`."""
    return tuple(values[name] for name, _, _ in layout)


# ---- replies too large to hold -------------------------------------------------------------

def huge_list_head(echo, record_size, count, sent=16384):
    """The start of a record-list reply announcing `count` records, with only
    `sent` bytes of them: enough for the reader to get past the count and
    reach the allocation."""
    return u32(12 + count * record_size) + struct.pack("<IiI", echo, 0, count) + b"\x00" * sent


# Runs calls after capping the address space of the process, one connection
# each (the peer drops it after the huge reply), and prints their outcomes.
LIMITED_MEMORY = r"""
import resource, sys
import velmora5
exe, calls = sys.argv[1], sys.argv[2:]
size = [int(line.split()[1]) * 1024 for line in open("/proc/self/status") if line.startswith("VmSize")][0]
resource.setrlimit(resource.RLIMIT_AS, (size + 256 * 2**20, resource.RLIM_INFINITY))
for call in calls:
    assert velmora5.initialize(exe) is True, velmora5.last_error()
    print(repr((eval("velmora5." + call), velmora5.last_error())))
"""


# ---- every exchange by its reply shape ---------------------------------------------

NOT_FOUND = (-4, "Terminal: Not found")
RECV_FAILED = (-10002, "IPC recv failed")
CALL_FAILED = (-10000, "IPC call failed")

# Each function that trades one request for one reply: valid arguments, the
# command, the reply's shape and record size, and what a failed call returns.
# Ticket forms (-4 there is an empty result) and version have tests of their own.
SHAPES = {
    "copy_ticks_from": (("EURUSD", 0, 10, 0), CMD_TICKS_FROM, "list", 60, None),
    "copy_ticks_range": (("EURUSD", 0, 10, 0), CMD_TICKS_RANGE, "list", 60, None),
    "copy_rates_from": (("EURUSD", 1, 0, 10), CMD_RATES_FROM, "list", 60, None),
    "copy_rates_range": (("EURUSD", 1, 0, 10), CMD_RATES_RANGE, "list", 60, None),
    "copy_rates_from_pos": (("EURUSD", 1, 0, 10), CMD_RATES_FROM_POS, "list", 60, None),
    "symbols_total": ((), CMD_SYMBOLS_TOTAL, "value", 4, None),
    "symbols_get": ((), CMD_SYMBOLS_GET, "list", 2993, None),
    "symbol_info": (("EURUSD",), CMD_SYMBOL_INFO, "record", 2993, None),
    "symbol_info_tick": (("EURUSD",), CMD_SYMBOL_TICK, "record", 60, None),
    "symbol_select": (("EURUSD", False), CMD_SYMBOL_SELECT, "status", 0, False),
    "market_book_add": (("EURUSD",), CMD_BOOK_ADD, "status", 0, False),
    "market_book_release": (("EURUSD",), CMD_BOOK_RELEASE, "status", 0, False),
    "market_book_get": (("EURUSD",), CMD_BOOK_GET, "list", 28, None),
    "terminal_info": ((), CMD_TERMINAL_INFO, "record", 3162, None),
    "account_info": ((), CMD_ACCOUNT_INFO, "record", 851, None),
    "positions_total": ((), CMD_POSITIONS_TOTAL, "value", 4, None),
    "positions_get": ((), CMD_POSITIONS_GET, "list", 320, None),
    "orders_total": ((), CMD_ORDERS_TOTAL, "value", 4, None),
    "orders_get": ((), CMD_ORDERS_GET, "list", 340, None),
    "history_orders_total": ((0, 1), CMD_HORDERS_TOTAL, "value", 4, None),
    "history_orders_get": ((0, 1), CMD_HORDERS_GET, "list", 340, None),
    "history_deals_total": ((0, 1), CMD_HDEALS_TOTAL, "value", 4, None),
    "history_deals_get": ((0, 1), CMD_HDEALS_GET, "list", 300, None),
    "order_check": (({"action": 1},), CMD_ORDER_CHECK, "record", 252, None),
    "order_send": (({"action": 1},), CMD_ORDER_SEND, "record", 260, None),
    "order_calc_margin": ((0, "EURUSD", 1.0, 1.0), CMD_CALC_MARGIN, "record", 8, None),
    "order_calc_profit": ((0, "EURUSD", 1.0, 1.0, 2.0), CMD_CALC_PROFIT, "record", 8, None),
}


def shape_replies(command, shape, size):
    """A good reply of the shape, and the failures every shape shares with
    the last error each must give."""
    data = {"status": b"", "value": u32(7), "record": bytes(size), "list": u32(1) + bytes(size)}[shape]
    failures = {
        "status -4": (reply(command, -4), NOT_FOUND),
        "status -4 with data": (reply(command, -4, data), NOT_FOUND),
        "wrong echo": (reply(command + 1, 0, data), CALL_FAILED),
        "one byte over": (reply(command, 0, data + b"\x00"), RECV_FAILED),
    }
    if shape != "status":
        failures["status 0 without data"] = (reply(command, 0), RECV_FAILED)
        failures["one byte short"] = (reply(command, 0, data[:-1]), RECV_FAILED)
    if shape == "list":
        failures["count one more"] = (reply(command, 0, u32(2) + bytes(size)), RECV_FAILED)
        failures["count beyond the reply"] = (reply(command, 0, u32(2**32 - 1) + bytes(size)), RECV_FAILED)
    return reply(command, 0, data), failures
