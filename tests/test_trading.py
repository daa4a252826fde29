"""Trading queries and requests, byte for byte: positions and orders, history,
order_check and order_send, margin and profit."""
import struct
from collections import OrderedDict
from datetime import date, datetime, timezone
from types import MappingProxyType

import pytest

import velmora5
from conftest import READY, counted, reply, request, run_python, u32, value_reply
from frames import (
    CHECK_RESULT, CMD_CALC_MARGIN, CMD_CALC_PROFIT, CMD_HDEALS_GET, CMD_HDEALS_POSITION, CMD_HDEALS_TICKET,
    CMD_HDEALS_TOTAL, CMD_HORDERS_GET, CMD_HORDERS_POSITION, CMD_HORDERS_TICKET, CMD_HORDERS_TOTAL,
    CMD_ORDER_CHECK, CMD_ORDER_SEND, CMD_ORDERS_GET, CMD_ORDERS_SYMBOL, CMD_ORDERS_TICKET, CMD_ORDERS_TOTAL,
    CMD_POSITIONS_GET, CMD_POSITIONS_SYMBOL, CMD_POSITIONS_TICKET, CMD_POSITIONS_TOTAL, DEAL, DEAL_SIZE,
    LIMITED_MEMORY, ORDER, ORDER_SIZE, POSITION, POSITION_SIZE, SEND_RESULT, TRADE_REQUEST, check_result_record,
    expected, huge_list_head, id_request, list_reply, pack, range_request, sample, send_result_record, string_request,
    trade_request_record, unpack)

SUCCESS = (1, "Success")
INVALID = (-2, "Invalid arguments")
UNNAMED = (-2, "Unnamed arguments not allowed")
NOT_FOUND = (-4, "Terminal: Not found")
RECV_FAILED = (-10002, "IPC recv failed")
CALL_FAILED = (-10000, "IPC call failed")


def invalid(name):
    return (-2, f'Invalid "{name}" argument')


AWARE = datetime(2021, 3, 4, 5, 6, 7, 890000, tzinfo=timezone.utc)  # 1614834367.89
NAIVE = datetime(2020, 1, 2, 3, 4, 5, 600000)
EPOCH = datetime(1970, 1, 1, tzinfo=timezone.utc)


class Kind:
    """One record kind and the commands that fetch it."""

    def __init__(self, name, layout, size, result, **commands):
        self.name, self.layout, self.size, self.result = name, layout, size, result
        self.__dict__.update(commands)

    def record(self, salt=0, **values):
        # Filler bytes (not zeros) around the texts and in reserved space:
        # nothing may be read past a text's zero unit or from reserved bytes.
        return pack(self.size, self.layout, {**sample(self.layout, salt), **values}, fill=b"\xaa")

    def values(self, record):
        return expected(self.layout, unpack(record, self.layout))

    def __repr__(self):
        return self.name


POSITIONS = Kind("positions", POSITION, POSITION_SIZE, "TradePosition", get="positions_get",
                 total="positions_total", total_cmd=CMD_POSITIONS_TOTAL, all=CMD_POSITIONS_GET,
                 symbol=CMD_POSITIONS_SYMBOL, ticket=CMD_POSITIONS_TICKET)
ORDERS = Kind("orders", ORDER, ORDER_SIZE, "TradeOrder", get="orders_get", total="orders_total",
              total_cmd=CMD_ORDERS_TOTAL, all=CMD_ORDERS_GET, symbol=CMD_ORDERS_SYMBOL, ticket=CMD_ORDERS_TICKET)
HISTORY_ORDERS = Kind("history orders", ORDER, ORDER_SIZE, "TradeOrder", get="history_orders_get",
                      total="history_orders_total", total_cmd=CMD_HORDERS_TOTAL, all=CMD_HORDERS_GET,
                      position=CMD_HORDERS_POSITION, ticket=CMD_HORDERS_TICKET)
HISTORY_DEALS = Kind("history deals", DEAL, DEAL_SIZE, "TradeDeal", get="history_deals_get",
                     total="history_deals_total", total_cmd=CMD_HDEALS_TOTAL, all=CMD_HDEALS_GET,
                     position=CMD_HDEALS_POSITION, ticket=CMD_HDEALS_TICKET)
OPEN = [POSITIONS, ORDERS]
HISTORY = [HISTORY_ORDERS, HISTORY_DEALS]
ALL_KINDS = OPEN + HISTORY


def get(kind, *args, **kwargs):
    return getattr(velmora5, kind.get)(*args, **kwargs)


def open_form_request(kind, form, value=None):
    return {"all": lambda: request(kind.all), "symbol": lambda: string_request(kind.symbol, value),
            "ticket": lambda: id_request(kind.ticket, value)}[form]()


# ---- positions and orders: counts ---------------------------------------------------------------


@pytest.mark.parametrize("kind", OPEN, ids=repr)
@pytest.mark.parametrize("count", [0, 3, 2**32 - 1])
def test_open_totals(connected, kind, count):
    peer = connected([value_reply(kind.total_cmd, count)])
    assert getattr(velmora5, kind.total)() == count
    assert peer.finish()[2:] == [u32(4) + u32(kind.total_cmd)]


def test_positions_total_bytes(connected):
    peer = connected([bytes.fromhex("0c000000780000000000000003000000")])
    assert velmora5.positions_total() == 3
    assert peer.finish()[2:] == [bytes.fromhex("0400000078000000")]


# ---- positions and orders: forms ------------------------------------------------------------------

OPEN_FORMS = {
    "no keywords": ({}, "all", None),
    "unknown keyword ignored": ({"tiket": 5}, "all", None),
    "group": ({"group": "*"}, "all", None),
    "group of 1997 units": ({"group": "G" * 1997}, "all", None),
    "symbol": ({"symbol": "EURUSD"}, "symbol", "EURUSD"),
    "empty symbol": ({"symbol": ""}, "symbol", ""),
    "symbol cut at an embedded zero": ({"symbol": "EUR\x00USD"}, "symbol", "EUR"),
    "symbol of 29 units": ({"symbol": "S" * 27 + "\U0001F600"}, "symbol", "S" * 27 + "\U0001F600"),
    "symbol before group, group not examined": ({"symbol": "EURUSD", "group": 5}, "symbol", "EURUSD"),
    "ticket": ({"ticket": 5}, "ticket", 5),
    "largest ticket": ({"ticket": 2**64 - 1}, "ticket", 2**64 - 1),
    "ticket True": ({"ticket": True}, "ticket", 1),
    "ticket first, later keys not examined": ({"ticket": 5, "symbol": 7, "group": 8}, "ticket", 5),
}


@pytest.mark.parametrize("kind", OPEN, ids=repr)
@pytest.mark.parametrize("kwargs, form, value", OPEN_FORMS.values(), ids=OPEN_FORMS.keys())
def test_open_get_forms(connected, kind, kwargs, form, value):
    sent = open_form_request(kind, form, value)
    answer = reply(kind.ticket, -4) if form == "ticket" else list_reply(struct.unpack_from("<I", sent, 4)[0], [])
    peer = connected([answer])
    assert get(kind, **kwargs) == ()
    assert velmora5.last_error() == SUCCESS
    assert peer.finish()[2:] == [sent]


OPEN_ERRORS = {
    "positional int": ((1,), {}, UNNAMED),
    "positional symbol": (("EURUSD",), {}, UNNAMED),
    "positional with keywords": ((1,), {"ticket": 5}, UNNAMED),
    "ticket -1": ((), {"ticket": -1}, invalid("ticket")),
    "ticket 2**64": ((), {"ticket": 2**64}, invalid("ticket")),
    "ticket 1.0": ((), {"ticket": 1.0}, invalid("ticket")),
    "ticket None": ((), {"ticket": None}, invalid("ticket")),
    "ticket text": ((), {"ticket": "5"}, invalid("ticket")),
    "bad ticket before a good symbol": ((), {"ticket": -1, "symbol": "EURUSD"}, invalid("ticket")),
    "symbol of 30 units": ((), {"symbol": "S" * 30}, invalid("symbol")),
    "symbol of 30 units with a surrogate pair": ((), {"symbol": "S" * 28 + "\U0001F600"}, invalid("symbol")),
    "symbol int": ((), {"symbol": 5}, invalid("symbol")),
    "symbol None": ((), {"symbol": None}, invalid("symbol")),
    "bad symbol before a good group": ((), {"symbol": b"EURUSD", "group": "*"}, invalid("symbol")),
    "group of 1998 units": ((), {"group": "G" * 1998}, invalid("group")),
    "group int": ((), {"group": 5}, invalid("group")),
}


@pytest.mark.parametrize("kind", OPEN, ids=repr)
@pytest.mark.parametrize("args, kwargs, error", OPEN_ERRORS.values(), ids=OPEN_ERRORS.keys())
def test_open_get_argument_errors_come_before_the_connection_check(kind, args, kwargs, error):
    assert get(kind, *args, **kwargs) is None
    assert velmora5.last_error() == error


# ---- records -------------------------------------------------------------------------------


@pytest.mark.parametrize("kind", ALL_KINDS, ids=repr)
@pytest.mark.parametrize("salt", [0, 1])  # every flag and sign seen both ways
def test_records_map_every_field_in_reply_order(connected, kind, salt):
    records = [kind.record(salt), kind.record(salt + 1, symbol="S" * 32, comment="C" * 32, external_id="")]
    peer = connected([list_reply(kind.all, records)])
    args = (0, 1) if kind in HISTORY else ()
    result = get(kind, *args)
    assert result == tuple(kind.values(r) for r in records)
    assert all(type(item) is getattr(velmora5, kind.result) for item in result)
    assert list(result[0]._asdict()) == [name for name, _, _ in kind.layout]
    assert (result[1].symbol, result[1].comment, result[1].external_id) == ("S" * 32, "C" * 32, "")
    assert velmora5.last_error() == SUCCESS
    assert len(peer.finish()) == 3


@pytest.mark.parametrize("kind", ALL_KINDS, ids=repr)
@pytest.mark.parametrize("answer, outcome, error", [
    (lambda k, r: reply(k.ticket, -4), (), SUCCESS),
    (lambda k, r: reply(k.ticket, -4, r), (), SUCCESS),
    # Status 0 vouches for nothing: its record (zeroed or stale) is dropped.
    (lambda k, r: reply(k.ticket, 0, r), (), SUCCESS),
    (lambda k, r: reply(k.ticket, 7, r), "record", SUCCESS),
    (lambda k, r: reply(k.ticket, 0), None, RECV_FAILED),
    (lambda k, r: reply(k.ticket, 0, r[:-1]), None, RECV_FAILED),
    (lambda k, r: reply(k.ticket, -1, r), None, (-1, "Terminal: Call failed")),
    (lambda k, r: reply(k.ticket, -6), None, (-6, "Terminal: Authorization failed")),
    (lambda k, r: reply(k.all, 0, r), None, CALL_FAILED),
], ids=["-4 alone", "-4 with record", "0 with record", "positive with record", "0 without record",
        "short record", "-1 with record", "-6", "wrong echo"])
def test_ticket_form_outcomes(connected, kind, answer, outcome, error):
    record = kind.record()
    peer = connected([answer(kind, record)])
    result = get(kind, ticket=42)
    assert result == ((kind.values(record),) if outcome == "record" else outcome)
    assert velmora5.last_error() == error
    assert peer.finish()[2:] == [id_request(kind.ticket, 42)]


# ---- group filter -----------------------------------------------------------------------------

SYMBOLS = ["EURUSD", "GBPUSD", "EURJPY", "USDJPY", "X" * 32]
GROUPS = {
    "*": SYMBOLS,
    "EUR*": ["EURUSD", "EURJPY"],
    "*JPY,!EUR*": ["USDJPY"],
    "*,!EURUSD": ["GBPUSD", "EURJPY", "USDJPY", "X" * 32],
    " EURUSD , GBP* ": ["EURUSD", "GBPUSD"],
    "X" * 32: ["X" * 32],  # a symbol filling its field is compared whole
    "X" * 31: [],
    "": [],
    "!EURUSD": [],
    "eurusd": [],
}


@pytest.mark.parametrize("kind", ALL_KINDS, ids=repr)
@pytest.mark.parametrize("group, kept", GROUPS.items(), ids=[repr(g) for g in GROUPS])
def test_group_filter_keeps_reply_order(connected, kind, group, kept):
    records = [kind.record(i, symbol=s) for i, s in enumerate(SYMBOLS)]
    peer = connected([list_reply(kind.all, records)])
    result = get(kind, *((0, 1) if kind in HISTORY else ()), group=group)
    assert result == tuple(kind.values(records[SYMBOLS.index(s)]) for s in kept)
    assert velmora5.last_error() == SUCCESS
    assert peer.finish()[2:] == [range_request(kind.all, 0, 1) if kind in HISTORY else request(kind.all)]


@pytest.mark.parametrize("kind", ALL_KINDS, ids=repr)
def test_star_group_is_the_unfiltered_list(connected, kind):
    records = [kind.record(i, symbol=s) for i, s in enumerate(SYMBOLS)]
    connected([list_reply(kind.all, records)] * 2)
    args = (0, 1) if kind in HISTORY else ()
    assert get(kind, *args, group="*") == get(kind, *args)


@pytest.mark.parametrize("kind", ALL_KINDS, ids=repr)
def test_group_filter_of_failures_and_empty_lists(connected, kind):
    connected([list_reply(kind.all, []), reply(kind.all, -4)])
    args = (0, 1) if kind in HISTORY else ()
    assert get(kind, *args, group="*") == ()
    assert get(kind, *args, group="*") is None
    assert velmora5.last_error() == NOT_FOUND


# ---- history: counts --------------------------------------------------------------------------

DATES = {
    "epoch as int": ((0, 0), (0, 0)),
    "epoch as float and datetime": ((0.0, EPOCH), (0, 0)),
    "datetimes": ((AWARE, NAIVE), (1_614_834_367, int(NAIVE.timestamp()))),
    "floats truncated toward zero": ((1.9, -1.9), (1, -1)),
    "from after to, sent as given": ((2000, 1000), (2000, 1000)),
    "sign-extended to 64 bits": ((-1, 2**31 - 1), (-1, 2**31 - 1)),
    "bools": ((False, True), (0, 1)),
}


@pytest.mark.parametrize("kind", HISTORY, ids=repr)
@pytest.mark.parametrize("args, seconds", DATES.values(), ids=DATES.keys())
def test_history_totals_send_64_bit_seconds(connected, kind, args, seconds):
    peer = connected([value_reply(kind.total_cmd, 9)])
    assert getattr(velmora5, kind.total)(*args) == 9
    assert peer.finish()[2:] == [range_request(kind.total_cmd, *seconds)]


@pytest.mark.parametrize("kind", HISTORY, ids=repr)
@pytest.mark.parametrize("args", [(), (0,), (0, 1, 2), ("2020", 0), (0, date(2020, 1, 1)), (0, None), (2**31, 0)])
def test_history_totals_argument_errors(kind, args):
    assert getattr(velmora5, kind.total)(*args) is None
    assert velmora5.last_error() == INVALID


@pytest.mark.parametrize("kind", HISTORY, ids=repr)
def test_history_totals_take_no_keywords(kind):
    with pytest.raises(TypeError):
        getattr(velmora5, kind.total)(0, 1, group="*")


# ---- history: forms ----------------------------------------------------------------------------

HISTORY_FORMS = {
    "range": ((0, 1), {}, "range", (0, 1)),
    "range of datetimes": ((AWARE, 1.9), {}, "range", (1_614_834_367, 1)),
    "range with group": ((5, 6), {"group": "*"}, "range", (5, 6)),
    "range ignores ticket": ((5, 6), {"ticket": 7}, "range", (5, 6)),
    "range ignores a bad ticket and position": ((5, 6), {"ticket": "x", "position": -1}, "range", (5, 6)),
    "ticket": ((), {"ticket": 5}, "ticket", 5),
    "ticket before position": ((), {"ticket": 5, "position": 6}, "ticket", 5),
    "ticket first, position not examined": ((), {"ticket": 5, "position": "x"}, "ticket", 5),
    "ticket True": ((), {"ticket": True}, "ticket", 1),
    "largest ticket": ((), {"ticket": 2**64 - 1}, "ticket", 2**64 - 1),
    "position": ((), {"position": 6}, "position", 6),
    "position ignores group": ((), {"position": 6, "group": 5}, "position", 6),
}


@pytest.mark.parametrize("kind", HISTORY, ids=repr)
@pytest.mark.parametrize("args, kwargs, form, value", HISTORY_FORMS.values(), ids=HISTORY_FORMS.keys())
def test_history_get_forms(connected, kind, args, kwargs, form, value):
    if form == "range":
        sent, answer = range_request(kind.all, *value), list_reply(kind.all, [])
    elif form == "ticket":
        sent, answer = id_request(kind.ticket, value), reply(kind.ticket, -4)
    else:
        sent, answer = id_request(kind.position, value), list_reply(kind.position, [])
    peer = connected([answer])
    assert get(kind, *args, **kwargs) == ()
    assert velmora5.last_error() == SUCCESS
    assert peer.finish()[2:] == [sent]


HISTORY_ERRORS = {
    "nothing": ((), {}, INVALID),
    "one date": ((0,), {}, INVALID),
    "three dates": ((0, 1, 2), {}, INVALID),
    "group without dates": ((), {"group": "*"}, INVALID),
    "unknown keyword only": ((), {"tiket": 5}, INVALID),
    "bad first date": (("x", 1), {}, INVALID),
    "bad second date": ((0, date(2020, 1, 1)), {}, INVALID),
    "bad date with group": ((0, None), {"group": "*"}, INVALID),
    "bad group": ((0, 1), {"group": 5}, invalid("group")),
    "group of 1998 units": ((0, 1), {"group": "G" * 1998}, invalid("group")),
    "one date and ticket": ((0,), {"ticket": 5}, UNNAMED),
    "one date and a bad ticket": ((0,), {"ticket": "x"}, UNNAMED),
    "three dates and position": ((0, 1, 2), {"position": 6}, UNNAMED),
    "ticket -1": ((), {"ticket": -1}, invalid("ticket")),
    "ticket 2**64": ((), {"ticket": 2**64}, invalid("ticket")),
    "ticket 1.0": ((), {"ticket": 1.0}, invalid("ticket")),
    "ticket None": ((), {"ticket": None}, invalid("ticket")),
    "bad ticket before a good position": ((), {"ticket": "5", "position": 6}, invalid("ticket")),
    "position -1": ((), {"position": -1}, invalid("position")),
    "position 2**64": ((), {"position": 2**64}, invalid("position")),
    "position text": ((), {"position": "6"}, invalid("position")),
}


@pytest.mark.parametrize("kind", HISTORY, ids=repr)
@pytest.mark.parametrize("args, kwargs, error", HISTORY_ERRORS.values(), ids=HISTORY_ERRORS.keys())
def test_history_get_argument_errors_come_before_the_connection_check(kind, args, kwargs, error):
    assert get(kind, *args, **kwargs) is None
    assert velmora5.last_error() == error


@pytest.mark.parametrize("kind", HISTORY, ids=repr)
def test_history_position_form_reports_not_found(connected, kind):
    record = kind.record()
    connected([reply(kind.position, -4), list_reply(kind.position, [record])])
    assert get(kind, position=6) is None
    assert velmora5.last_error() == NOT_FOUND
    assert get(kind, position=6) == (kind.values(record),)


# ---- order_check and order_send ---------------------------------------------------------------

FULL_REQUEST = dict(action=1, magic=2**64 - 1, order=123456789, symbol="EURUSD", volume=0.1, price=1.0842,
                    stoplimit=1.1, sl=1.08, tp=1.09, deviation=2**63 + 1, type=2**32 - 1, type_filling=2,
                    type_time=3, expiration=-5, comment="c" * 28 + "\u00e9", position=2**64 - 2,
                    position_by=7)
TRADES = {
    "order_check": (CMD_ORDER_CHECK, lambda **v: check_result_record(**v), CHECK_RESULT, "OrderCheckResult"),
    "order_send": (CMD_ORDER_SEND, lambda **v: send_result_record(**v), SEND_RESULT, "OrderSendResult"),
}
ZERO_REQUEST = (0, 0, 0, "", 0.0, 0.0, 0.0, 0.0, 0.0, 0, 0, 0, 0, 0, "", 0, 0)


def trade_reply(name, status=0, **values):
    command, record, layout, _ = TRADES[name]
    return reply(command, status, record(**values))


def sent_record(peer, name):
    frames = peer.finish()[2:]
    assert len(frames) == 1
    assert frames[0][:8] == u32(236) + u32(TRADES[name][0])
    return frames[0][8:]


@pytest.mark.parametrize("name", TRADES)
def test_full_request_record(connected, name):
    peer = connected([trade_reply(name)])
    result = getattr(velmora5, name)(FULL_REQUEST)
    assert velmora5.last_error() == SUCCESS
    record = sent_record(peer, name)
    assert len(record) == 232
    for field, offset, kind in TRADE_REQUEST:
        assert unpack(record, [(field, offset, kind)])[field] == FULL_REQUEST[field], field
    assert record[20:84] == "EURUSD".encode("utf-16-le") + b"\x00" * 52
    assert record[152:216] == FULL_REQUEST["comment"].encode("utf-16-le") + b"\x00" * 6
    assert record == trade_request_record(**FULL_REQUEST)
    assert type(result.request) is velmora5.TradeRequest
    assert result.request == expected(TRADE_REQUEST, FULL_REQUEST)


def test_request_texts_keep_units_after_an_embedded_zero(connected):
    # The field carries the whole converted text; the tuple reads up to the zero.
    peer = connected([trade_reply("order_check")])
    result = velmora5.order_check({"symbol": "A\x00B", "comment": "C\x00D"})
    record = sent_record(peer, "order_check")
    assert record[20:28] == "A\x00B\x00".encode("utf-16-le")
    assert record[152:160] == "C\x00D\x00".encode("utf-16-le")
    assert (result.request.symbol, result.request.comment) == ("A", "C")


@pytest.mark.parametrize("name", TRADES)
def test_empty_request_sends_zeros(connected, name):
    peer = connected([trade_reply(name)])
    result = getattr(velmora5, name)({})
    assert sent_record(peer, name) == b"\x00" * 232
    assert result.request == ZERO_REQUEST


@pytest.mark.parametrize("name", TRADES)
@pytest.mark.parametrize("salt", [0, 1])
def test_result_maps_every_field_and_nests_the_request(connected, name, salt):
    _, _, layout, type_name = TRADES[name]
    values = {**sample(layout, salt), "comment": "R" * 100}  # a comment filling its field
    connected([trade_reply(name, **values)])
    result = getattr(velmora5, name)(FULL_REQUEST)
    assert type(result) is getattr(velmora5, type_name)
    assert result[:-1] == expected(layout, values)
    as_dict = result._asdict()
    assert list(as_dict) == [field for field, _, _ in layout] + ["request"]
    assert type(as_dict["request"]) is velmora5.TradeRequest
    assert as_dict["request"]._asdict() == FULL_REQUEST


@pytest.mark.parametrize("name", TRADES)
def test_keywords_are_the_request(connected, name):
    peer = connected([trade_reply(name, retcode=10009)] * 3)
    call = getattr(velmora5, name)
    assert call(**FULL_REQUEST) == call(FULL_REQUEST)
    assert call(action=1, volume=0.5).request == (1, 0, 0, "", 0.5) + ZERO_REQUEST[5:]
    frames = peer.finish()[2:]
    assert frames[0] == frames[1]
    assert frames[2][8:] == trade_request_record(action=1, volume=0.5)


ACCEPTED = {
    "expiration -5": ({"expiration": -5}, "expiration", -5),
    "largest expiration": ({"expiration": 2**63 - 1}, "expiration", 2**63 - 1),
    "action True": ({"action": True}, "action", 1),
    "largest action": ({"action": 2**32 - 1}, "action", 2**32 - 1),
    "largest magic": ({"magic": 2**64 - 1}, "magic", 2**64 - 1),
    "symbol of 29 units": ({"symbol": "S" * 29}, "symbol", "S" * 29),
    "symbol of 29 units with a surrogate pair": ({"symbol": "S" * 27 + "\U0001F600"}, "symbol",
                                                 "S" * 27 + "\U0001F600"),
    "comment of 29 units": ({"comment": "C" * 29}, "comment", "C" * 29),
    "unknown key ignored": ({"tiket": "x", "volume": 1.5}, "volume", 1.5),
}


@pytest.mark.parametrize("request_dict, field, value", ACCEPTED.values(), ids=ACCEPTED.keys())
def test_accepted_values(connected, request_dict, field, value):
    peer = connected([trade_reply("order_check")])
    result = velmora5.order_check(request_dict)
    assert getattr(result.request, field) == value
    assert unpack(sent_record(peer, "order_check"), TRADE_REQUEST)[field] == value


def test_dict_subclass_is_accepted(connected):
    peer = connected([trade_reply("order_send")])
    assert velmora5.order_send(OrderedDict(action=5, price=2.5)) is not None
    assert sent_record(peer, "order_send") == trade_request_record(action=5, price=2.5)


BAD_VALUES = {
    "action": [1.5, -1, 2**32, "1", None], "magic": [-1, 2**64, 1.0], "order": [-1, 2**64, "1"],
    "symbol": ["S" * 30, "S" * 28 + "\U0001F600", 5, b"EURUSD"], "volume": [1, "1", None],
    "price": [1, True], "stoplimit": [0], "sl": ["1.0"], "tp": [2], "deviation": [-1, 2**64, 1.0],
    "type": [2**32, -1], "type_filling": [-1, 0.0], "type_time": [2**32, "0"],
    "expiration": [1.5, 2**63, -2**63 - 1, datetime(2020, 1, 1)], "comment": ["C" * 30, 5],
    "position": [-1, 2**64], "position_by": [2**64, 1.0],
}
REQUEST_ERRORS = {
    "no argument": ((), {}, (-2, "Invalid number of arguments")),
    "two arguments": (({}, {}), {}, (-2, "Invalid number of arguments")),
    "argument and keywords": (({},), {"magic": 1}, UNNAMED),
    "tuple": (((1,),), {}, INVALID),
    "TradeRequest tuple": ((velmora5.TradeRequest(ZERO_REQUEST),), {}, INVALID),
    "None": ((None,), {}, INVALID),
    "mapping that is not a dict": ((MappingProxyType({"action": 1}),), {}, INVALID),
    "first bad key in field order": (({"comment": 5, "action": 1.5},), {}, invalid("action")),
    "first bad key after good ones": (({"position_by": -1, "symbol": 5, "action": 1},), {}, invalid("symbol")),
    "bad keyword value": ((), {"volume": 1}, invalid("volume")),
}
for _key, _values in BAD_VALUES.items():
    for _i, _value in enumerate(_values):
        REQUEST_ERRORS[f"{_key} {_i}: {_value!r:.24}"] = (({_key: _value},), {}, invalid(_key))


@pytest.mark.parametrize("name", TRADES)
@pytest.mark.parametrize("args, kwargs, error", REQUEST_ERRORS.values(), ids=REQUEST_ERRORS.keys())
def test_request_errors_come_before_the_connection_check(name, args, kwargs, error):
    assert getattr(velmora5, name)(*args, **kwargs) is None
    assert velmora5.last_error() == error


@pytest.mark.parametrize("name, status, error", [
    ("order_check", -8, (-8, "Terminal: Call failed")),
    ("order_send", -8, (-8, "Auto-Trading using Python API disabled in Terminal")),
    ("order_send", -2, (-2, "Terminal: Invalid params")),
    ("order_check", -7, (-7, "Terminal: Unsupported function")),
    ("order_send", -10, (-10, "Terminal: Call failed")),
])
@pytest.mark.parametrize("with_record", [False, True])
def test_trade_status_errors(connected, name, status, error, with_record):
    answer = trade_reply(name, status) if with_record else reply(TRADES[name][0], status)
    connected([answer])
    assert getattr(velmora5, name)(FULL_REQUEST) is None
    assert velmora5.last_error() == error


@pytest.mark.parametrize("name", TRADES)
def test_positive_status_is_success_and_not_part_of_the_result(connected, name):
    connected([trade_reply(name, 10009, retcode=1)])
    result = getattr(velmora5, name)(FULL_REQUEST)
    assert len(result) == len(TRADES[name][2]) + 1
    assert result.retcode == 1  # the record's code, not the reply status
    assert velmora5.last_error() == SUCCESS


# ---- margin and profit ----------------------------------------------------------------------------

CALCS = {
    "margin": ("order_calc_margin", (0, "EURUSD", 0.1, 1.0842), CMD_CALC_MARGIN, (0, "EURUSD", 0.1, 1.0842)),
    "margin, action -1": ("order_calc_margin", (-1, "EURUSD", 1.0, 2.0), CMD_CALC_MARGIN,
                          (0xFFFFFFFF, "EURUSD", 1.0, 2.0)),
    "margin, action 2**32 + 5": ("order_calc_margin", (2**32 + 5, "X", 1.0, 2.0), CMD_CALC_MARGIN,
                                 (5, "X", 1.0, 2.0)),
    "margin, action True, int volume and price": ("order_calc_margin", (True, "X", 1, 2), CMD_CALC_MARGIN,
                                                  (1, "X", 1.0, 2.0)),
    "margin, 29-unit symbol": ("order_calc_margin", (1, "S" * 29, 0.5, 0.0), CMD_CALC_MARGIN,
                               (1, "S" * 29, 0.5, 0.0)),
    "profit": ("order_calc_profit", (1, "GBPUSD", 1, 1.25, 1.3), CMD_CALC_PROFIT, (1, "GBPUSD", 1.0, 1.25, 1.3)),
    "profit, empty symbol": ("order_calc_profit", (2**32 - 1, "", -1.0, 0, -2.5), CMD_CALC_PROFIT,
                             (2**32 - 1, "", -1.0, 0.0, -2.5)),
}


@pytest.mark.parametrize("name, args, command, sent", CALCS.values(), ids=CALCS.keys())
@pytest.mark.parametrize("status", [0, 3])
def test_calc_frames(connected, name, args, command, sent, status):
    peer = connected([reply(command, status, struct.pack("<d", -123.5))])
    assert getattr(velmora5, name)(*args) == -123.5
    assert velmora5.last_error() == SUCCESS
    action, symbol, *doubles = sent
    payload = u32(action) + counted(symbol) + struct.pack(f"<{len(doubles)}d", *doubles)
    frames = peer.finish()[2:]
    assert frames == [request(command, payload)]
    assert frames[0][:4] == u32({CMD_CALC_MARGIN: 28, CMD_CALC_PROFIT: 36}[command] + 2 * len(symbol))


CALC_ERRORS = [
    ("order_calc_margin", (0, "EURUSD", 1.0)), ("order_calc_margin", (0, "EURUSD", 1.0, 1.0, 1.0)),
    ("order_calc_margin", (1.0, "EURUSD", 1.0, 1.0)), ("order_calc_margin", ("1", "EURUSD", 1.0, 1.0)),
    ("order_calc_margin", (0, "S" * 30, 1.0, 1.0)), ("order_calc_margin", (0, b"EURUSD", 1.0, 1.0)),
    ("order_calc_margin", (0, 5, 1.0, 1.0)), ("order_calc_margin", (0, "EURUSD", "1", 1.0)),
    ("order_calc_margin", (0, "EURUSD", 1.0, None)),
    ("order_calc_profit", (0, "EURUSD", 1.0, 1.0)), ("order_calc_profit", (0, "EURUSD", 1.0, 1.0, 1.0, 1.0)),
    ("order_calc_profit", (None, "EURUSD", 1.0, 1.0, 1.0)), ("order_calc_profit", (0, "EURUSD", 1.0, 1.0, "x")),
    ("order_calc_profit", (0, "\U0001F600" * 15, 1.0, 1.0, 1.0)),
]


@pytest.mark.parametrize("name, args", CALC_ERRORS)
def test_calc_argument_errors_come_before_the_connection_check(name, args):
    assert getattr(velmora5, name)(*args) is None
    assert velmora5.last_error() == INVALID


def test_calc_refuses_keywords_before_running():
    velmora5.positions_total()
    before = velmora5.last_error()
    with pytest.raises(TypeError):
        velmora5.order_calc_margin(action=0, symbol="EURUSD", volume=1.0, price=1.0)
    assert velmora5.last_error() == before


# ---- memory ---------------------------------------------------------------------------------


def test_record_blocks_that_cannot_be_had_fail_the_exchange(start_peer):
    # 1.2 GB announced against a cap of 256 MB above the current size.
    steps = []
    for kind in (POSITIONS, HISTORY_DEALS):
        steps += READY + [huge_list_head(kind.all, kind.size, 1_200_000_000 // kind.size), "drop"]
    peer = start_peer(steps)
    out = run_python(LIMITED_MEMORY, peer.exe, 'positions_get(group="*")', "history_deals_get(0, 1)")
    assert out.splitlines() == [repr((None, RECV_FAILED))] * 2


def test_trade_results_release_their_request_tuples(connected, assert_no_leak):
    connected([trade_reply("order_send", retcode=10009)] * 1050)
    assert_no_leak(lambda: velmora5.order_send(FULL_REQUEST), repeat=1000)


def test_filtered_lists_release_their_records(connected, assert_no_leak):
    records = [ORDERS.record(i, symbol=s) for i, s in enumerate(SYMBOLS)]
    connected([list_reply(CMD_ORDERS_GET, records)] * 1050)
    assert_no_leak(lambda: velmora5.orders_get(group="EUR*"), repeat=1000)
