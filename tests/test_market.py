"""Market and information queries, byte for byte: ticks and bars, symbols,
the last tick, symbol selection, depth of market, terminal and account."""
import struct
import tracemalloc
from datetime import date, datetime, timezone

import numpy as np
import pytest

import velmora5
from conftest import (READY, STATE_READY, counted, hello_reply, reply, request, run_python, state_reply, u32,
                      value_reply)
from frames import (
    ACCOUNT, CMD_ACCOUNT_INFO, CMD_BOOK_ADD, CMD_BOOK_GET, CMD_BOOK_RELEASE, CMD_RATES_FROM,
    CMD_RATES_FROM_POS, CMD_RATES_RANGE, CMD_SYMBOL_INFO, CMD_SYMBOL_SELECT, CMD_SYMBOL_TICK,
    CMD_SYMBOLS_GET, CMD_SYMBOLS_GROUP, CMD_SYMBOLS_TOTAL, CMD_TERMINAL_INFO, CMD_TICKS_FROM,
    CMD_TICKS_RANGE, LIMITED_MEMORY, SYMBOL, TERMINAL, account_record, book_entry, expected, huge_list_head,
    list_reply, rate_record, sample, string_request, symbol_record, terminal_record, tick_record)

INVALID = (-2, "Invalid arguments")
NOT_FOUND = (-4, "Terminal: Not found")
INCOMPATIBLE = (-5, "Terminal: Incompatible versions, please install the latest version of Terminal "
                    "and Python module")
NO_CONNECTION = (-10004, "No IPC connection")
RECV_FAILED = (-10002, "IPC recv failed")

AWARE = datetime(2021, 3, 4, 5, 6, 7, 890000, tzinfo=timezone.utc)  # 1614834367.89
NAIVE = datetime(2020, 1, 2, 3, 4, 5, 600000)                        # local time
NAIVE_SECONDS = int(NAIVE.timestamp())


def session_requests(peer):
    """The requests after hello and the ready poll."""
    return peer.requests()[2:]


# ---- ticks and bars ------------------------------------------------------------------------

COPY = {  # function: (command, frame length without the symbol's units, valid arguments)
    "copy_ticks_from": (CMD_TICKS_FROM, 24, ("EURUSD", 0, 10, 0)),
    "copy_ticks_range": (CMD_TICKS_RANGE, 28, ("EURUSD", 0, 10, 0)),
    "copy_rates_from": (CMD_RATES_FROM, 24, ("EURUSD", 1, 0, 10)),
    "copy_rates_range": (CMD_RATES_RANGE, 28, ("EURUSD", 1, 0, 10)),
    "copy_rates_from_pos": (CMD_RATES_FROM_POS, 20, ("EURUSD", 1, 0, 10)),
}

COPY_FRAMES = {
    "ticks_from, int date in ms": (
        "copy_ticks_from", ("EURUSD", 1_600_000_000, 10, 3), struct.pack("<qii", 1_600_000_000_000, 10, 3)),
    "ticks_from, float truncated, negative count and flags": (
        "copy_ticks_from", ("EURUSD", 1.9, -5, -1), struct.pack("<qii", 1000, -5, -1)),
    "ticks_from, negative float truncated toward zero": (
        "copy_ticks_from", ("EURUSD", -1.9, 0, 0), struct.pack("<qii", -1000, 0, 0)),
    "ticks_from, aware datetime to whole seconds": (
        "copy_ticks_from", ("EURUSD", AWARE, 1, 2), struct.pack("<qii", 1_614_834_367_000, 1, 2)),
    "ticks_from, naive datetime in local time": (
        "copy_ticks_from", ("EURUSD", NAIVE, 1, 2), struct.pack("<qii", NAIVE_SECONDS * 1000, 1, 2)),
    "ticks_from, latest date does not overflow in ms": (
        "copy_ticks_from", ("EURUSD", 2**31 - 1, 0, 0), struct.pack("<qii", (2**31 - 1) * 1000, 0, 0)),
    "ticks_from, earliest date": (
        "copy_ticks_from", ("EURUSD", -2**31, 0, 0), struct.pack("<qii", -2**31 * 1000, 0, 0)),
    "ticks_from, bool date": (
        "copy_ticks_from", ("EURUSD", True, 0, 0), struct.pack("<qii", 1000, 0, 0)),
    "ticks_range, both dates in ms": (
        "copy_ticks_range", ("GBPUSD", AWARE, 1_700_000_000.7, 7),
        struct.pack("<qqi", 1_614_834_367_000, 1_700_000_000_000, 7)),
    "ticks_range, from after to sent as given": (
        "copy_ticks_range", ("GBPUSD", 2000, 1000, -1), struct.pack("<qqi", 2_000_000, 1_000_000, -1)),
    "rates_from, timeframe then seconds then count": (
        "copy_rates_from", ("EURUSD", 16385, AWARE, 50), struct.pack("<iqi", 16385, 1_614_834_367, 50)),
    "rates_from, negative values": (
        "copy_rates_from", ("EURUSD", -1, -1.9, -7), struct.pack("<iqi", -1, -1, -7)),
    "rates_range, seconds": (
        "copy_rates_range", ("USDJPY", 1, 0, 2**31 - 1), struct.pack("<iqq", 1, 0, 2**31 - 1)),
    "rates_range, datetimes": (
        "copy_rates_range", ("USDJPY", 60, AWARE, NAIVE), struct.pack("<iqq", 60, 1_614_834_367, NAIVE_SECONDS)),
    "rates_from_pos, three 32-bit fields": (
        "copy_rates_from_pos", ("EURUSD", 5, 0, 100), struct.pack("<iii", 5, 0, 100)),
    "rates_from_pos, negative start and count": (
        "copy_rates_from_pos", ("EURUSD", 1, -3, -100), struct.pack("<iii", 1, -3, -100)),
    "symbol of 29 units": (
        "copy_rates_from_pos", ("S" * 29, 1, 0, 1), struct.pack("<iii", 1, 0, 1)),
    "symbol with a character outside the BMP": (
        "copy_rates_from_pos", ("\u20ac\U0001F600X", 1, 0, 1), struct.pack("<iii", 1, 0, 1)),
    "empty symbol": (
        "copy_ticks_from", ("", 0, 0, 0), struct.pack("<qii", 0, 0, 0)),
}
# A symbol with an embedded zero character is sent up to it.
EMBEDDED_ZERO = ("copy_rates_from_pos", ("EUR\x00USD", 1, 0, 1), struct.pack("<iii", 1, 0, 1))


@pytest.mark.parametrize("name, args, fields", [*COPY_FRAMES.values(), EMBEDDED_ZERO],
                         ids=[*COPY_FRAMES.keys(), "symbol cut at an embedded zero"])
def test_copy_request_frames(connected, name, args, fields):
    command, base, _ = COPY[name]
    peer = connected([list_reply(command, [])])
    array = getattr(velmora5, name)(*args)
    assert isinstance(array, np.ndarray) and len(array) == 0, velmora5.last_error()
    assert velmora5.last_error() == (1, "Success")
    symbol = args[0].split("\x00")[0]
    sent = peer.finish()[2:]
    assert sent == [request(command, counted(symbol) + fields)]
    symbol = symbol.encode("utf-16-le", "surrogatepass")
    assert sent[0][:4] == u32(base + len(symbol))


def _replace(args, index, value):
    return args[:index] + (value,) + args[index + 1:]


class FailingTimestamp(datetime):
    def timestamp(self):
        raise OverflowError("no timestamp")


def _copy_argument_errors():
    cases = []
    for name, (_, _, args) in COPY.items():
        cases += [
            (name, args[:3]), (name, args + (0,)), (name, ()),
            (name, _replace(args, 0, "S" * 30)), (name, _replace(args, 0, "\U0001F600" * 15)),
            (name, _replace(args, 0, b"EURUSD")), (name, _replace(args, 0, 5)), (name, _replace(args, 0, None)),
        ]
    dates = {"copy_ticks_from": [1], "copy_ticks_range": [1, 2], "copy_rates_from": [2],
             "copy_rates_range": [2, 3]}
    bad_dates = ["2020-01-01", date(2020, 1, 1), np.datetime64("2020-01-01"), None, 2**31, -2**31 - 1,
                 float("nan"), 1e20, FailingTimestamp(2020, 1, 1, tzinfo=timezone.utc)]
    for name, positions in dates.items():
        for position in positions:
            cases += [(name, _replace(COPY[name][2], position, bad)) for bad in bad_dates]
    integers = {"copy_ticks_from": [2, 3], "copy_ticks_range": [3], "copy_rates_from": [1, 3],
                "copy_rates_range": [1], "copy_rates_from_pos": [1, 2, 3]}
    for name, positions in integers.items():
        for position in positions:
            cases += [(name, _replace(COPY[name][2], position, bad)) for bad in (1.0, "1", 2**31, None)]
    return cases


@pytest.mark.parametrize("name, args", _copy_argument_errors())
def test_copy_argument_errors_come_before_the_connection_check(name, args):
    assert getattr(velmora5, name)(*args) is None
    assert velmora5.last_error() == INVALID


def test_copy_argument_errors_send_nothing(connected):
    peer = connected()
    assert velmora5.copy_ticks_from("EURUSD", 0, 10) is None
    assert velmora5.copy_rates_range("EURUSD", 1, "x", 0) is None
    assert velmora5.last_error() == INVALID
    assert peer.finish()[2:] == []


RATE = rate_record(1, 1.0, 2.0, 0.5, 1.5, 10, 2, 20)


def test_copy_reply_larger_than_the_channel_buffer(connected):
    records = [rate_record(i, i + 0.5, i + 1.5, i - 0.5, i + 0.25, i, -i, 2**64 - 1 - i) for i in range(5000)]
    connected([list_reply(CMD_RATES_FROM_POS, records), list_reply(CMD_RATES_FROM_POS, records[:1])])
    assert velmora5.copy_rates_from_pos("EURUSD", 1, 0, 5000).tobytes() == b"".join(records)
    assert velmora5.copy_rates_from_pos("EURUSD", 1, 0, 1).tobytes() == records[0]


@pytest.mark.parametrize("count", [2, 1_000_000, 2**32 - 1])
def test_copy_count_beyond_the_reply_fails_without_allocating_it(connected, count):
    connected([list_reply(CMD_RATES_FROM_POS, [RATE], count=count)])
    tracemalloc.start()
    try:
        assert velmora5.copy_rates_from_pos("EURUSD", 1, 0, 10) is None
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert velmora5.last_error() == RECV_FAILED
    assert peak < 1_000_000


def test_allocation_failures_are_reported_not_raised(start_peer):
    # 1.2 GB announced against a cap of 256 MB above the current size.
    steps = []
    for command, size in ((CMD_RATES_FROM_POS, 60), (CMD_SYMBOLS_GET, 2993), (CMD_BOOK_GET, 28)):
        steps += READY + [huge_list_head(command, size, 1_200_000_000 // size), "drop"]
    peer = start_peer(steps)
    calls = ['copy_rates_from_pos("EURUSD", 1, 0, 10)', "symbols_get()", 'market_book_get("EURUSD")']
    assert run_python(LIMITED_MEMORY, peer.exe, *calls).splitlines() == [repr(x) for x in [
        (None, (-3, "No memory")),  # the array could not be made
        (None, RECV_FAILED),        # a record block that cannot be had fails the exchange
        (None, RECV_FAILED),
    ]]


# ---- symbols: build gate --------------------------------------------------------------------

BEFORE_INITIALIZE = r"""
import velmora5
for call in (lambda: velmora5.symbols_total(), lambda: velmora5.symbols_get(),
             lambda: velmora5.symbols_get("EUR*"), lambda: velmora5.symbols_get(group=1),
             lambda: velmora5.symbol_info("EURUSD")):
    print(repr((call(), velmora5.last_error())))
"""


def test_symbol_lists_need_a_known_build_before_the_connection():
    lines = run_python(BEFORE_INITIALIZE).splitlines()
    assert lines == [repr(x) for x in [
        (None, INCOMPATIBLE), (None, INCOMPATIBLE), (None, INCOMPATIBLE),
        (False, (-2, 'Invalid "group" argument')),  # arguments are checked before the build
        (None, NO_CONNECTION),                      # symbol_info has no gate
    ]]


def test_build_is_kept_after_shutdown(connected):
    connected()
    velmora5.shutdown()
    assert velmora5.symbols_total() is None
    assert velmora5.last_error() == NO_CONNECTION
    assert velmora5.symbols_get("EUR*") is None
    assert velmora5.last_error() == NO_CONNECTION


def connect_build(start_peer, build, steps):
    peer = start_peer([hello_reply(build), state_reply(STATE_READY)] + steps)
    assert velmora5.initialize(peer.exe) is True, velmora5.last_error()
    return peer


def test_old_build_refuses_symbol_lists_without_sending(start_peer):
    peer = connect_build(start_peer, 2363, [])
    assert velmora5.symbols_total() is None
    assert velmora5.last_error() == INCOMPATIBLE
    assert velmora5.symbols_get(group="*") is None
    assert velmora5.last_error() == INCOMPATIBLE
    assert velmora5.symbols_get(5) is False
    assert velmora5.last_error() == (-2, "Invalid 1st unnamed argument")
    assert peer.finish()[2:] == []


def test_build_2364_is_the_first_with_symbol_lists(start_peer):
    peer = connect_build(start_peer, 2364, [value_reply(CMD_SYMBOLS_TOTAL, 7)])
    assert velmora5.symbols_total() == 7
    assert peer.finish()[2:] == [request(CMD_SYMBOLS_TOTAL)]


# ---- symbols_total and symbols_get -----------------------------------------------------------------


@pytest.mark.parametrize("count", [0, 42, 2**32 - 1])
def test_symbols_total(connected, count):
    peer = connected([value_reply(CMD_SYMBOLS_TOTAL, count)])
    assert velmora5.symbols_total() == count
    assert peer.finish()[2:] == [b"\x04\x00\x00\x00\xad\x00\x00\x00"]


ALL_SYMBOLS = request(CMD_SYMBOLS_GET)
SYMBOLS_GET_FORMS = {
    "no group": ((), {}, ALL_SYMBOLS),
    "empty positional group": (("",), {}, ALL_SYMBOLS),
    "empty keyword group": ((), {"group": ""}, ALL_SYMBOLS),
    "unknown keyword ignored": ((), {"grop": "EUR*"}, ALL_SYMBOLS),
    "positional group": (("*,!EURUSD",), {}, string_request(CMD_SYMBOLS_GROUP, "*,!EURUSD")),
    "keyword group": ((), {"group": "EUR*"}, string_request(CMD_SYMBOLS_GROUP, "EUR*")),
    "keyword replaces positional": (("ABC",), {"group": "X*"}, string_request(CMD_SYMBOLS_GROUP, "X*")),
    "empty keyword replaces positional": (("ABC",), {"group": ""}, ALL_SYMBOLS),
    "group of 1997 units": ((), {"group": "G" * 1997}, string_request(CMD_SYMBOLS_GROUP, "G" * 1997)),
}


@pytest.mark.parametrize("args, kwargs, sent", SYMBOLS_GET_FORMS.values(), ids=SYMBOLS_GET_FORMS.keys())
def test_symbols_get_forms(connected, args, kwargs, sent):
    command = struct.unpack_from("<I", sent, 4)[0]
    peer = connected([list_reply(command, [])])
    assert velmora5.symbols_get(*args, **kwargs) == ()
    assert velmora5.last_error() == (1, "Success")
    assert peer.finish()[2:] == [sent]


def test_symbols_get_keeps_the_terminals_order(connected):
    names = ["ZAR", "EURUSD", "AUD"] + [f"SYM{i}" for i in range(20)]  # 69 KB, beyond the channel buffer
    connected([list_reply(CMD_SYMBOLS_GET, [symbol_record(name=n, digits=i) for i, n in enumerate(names)])])
    symbols = velmora5.symbols_get()
    assert [(s.name, s.digits) for s in symbols] == [(n, i) for i, n in enumerate(names)]
    assert all(type(s) is velmora5.SymbolInfo for s in symbols)


SYMBOLS_GET_ERRORS = {
    "two positionals": (("a", "b"), {}, "Invalid number of arguments"),
    "int positional": ((1,), {}, "Invalid 1st unnamed argument"),
    "positional of 1998 units": (("G" * 1998,), {}, "Invalid 1st unnamed argument"),
    "bad keyword": ((), {"group": 5}, 'Invalid "group" argument'),
    "keyword of 1998 units": ((), {"group": "G" * 1998}, 'Invalid "group" argument'),
    "good positional, bad keyword": (("EUR*",), {"group": b"x"}, 'Invalid "group" argument'),
}


@pytest.mark.parametrize("args, kwargs, message", SYMBOLS_GET_ERRORS.values(), ids=SYMBOLS_GET_ERRORS.keys())
def test_symbols_get_argument_errors_return_false(args, kwargs, message):
    assert velmora5.symbols_get(*args, **kwargs) is False
    assert velmora5.last_error() == (-2, message)


# ---- symbol_info ------------------------------------------------------------------------------------


# Two salts: every flag is seen both true and false, so a flag read from a
# wrong byte cannot hide behind a zero.
SALTS = pytest.mark.parametrize("salt", [0, 1])


@SALTS
def test_symbol_info_maps_every_field(connected, salt):
    values = sample(SYMBOL, salt)
    values["description"] = "\U0001F600 emoji"
    peer = connected([reply(CMD_SYMBOL_INFO, 0, symbol_record(**values))])
    info = velmora5.symbol_info("EURUSD")
    assert type(info) is velmora5.SymbolInfo and len(info) == 96
    assert list(info._asdict().items()) == [(name, values[name]) for name, _, _ in SYMBOL]
    assert info == expected(SYMBOL, values)
    assert info[93] == info.name == values["name"]
    for (name, _, kind), value in zip(SYMBOL, info):
        assert type(value) is {"?": bool, "d": float}.get(kind, str if isinstance(kind, tuple) else int), name
    assert peer.finish()[2:] == [string_request(CMD_SYMBOL_INFO, "EURUSD")]


def test_symbol_info_flags_are_any_non_zero_byte(connected):
    record = bytearray(symbol_record())
    record[0], record[5], record[6], record[71], record[120] = 2, 0xFF, 0, 0x80, 1
    connected([reply(CMD_SYMBOL_INFO, 0, bytes(record))])
    info = velmora5.symbol_info("EURUSD")
    assert (info.custom, info.select, info.visible, info.spread_float, info.margin_hedged_use_leg) == (
        True, True, False, True, True)


FULL_TEXTS = {"basis": "B" * 32, "category": "c", "currency_margin": "M" * 16, "bank": "next",
              "isin": "I" * 16, "page": "P" * 256, "path": "Q" * 128, "name": "N" * 32}


def test_symbol_info_texts_filling_their_field(connected):
    connected([reply(CMD_SYMBOL_INFO, 0, symbol_record(**FULL_TEXTS))])
    info = velmora5.symbol_info("EURUSD")
    assert {name: getattr(info, name) for name in FULL_TEXTS} == FULL_TEXTS


def test_symbol_info_from_an_old_build_takes_the_name_from_the_request(start_peer):
    symbol = "S" * 28 + "\u00e9"  # 29 units, the longest name
    record = symbol_record(old=True, path="Q" * 128, digits=5, bid=1.25)
    peer = connect_build(start_peer, 2363, [reply(CMD_SYMBOL_INFO, 0, record),
                                            reply(CMD_SYMBOL_INFO, 0, symbol_record())])
    info = velmora5.symbol_info(symbol)
    assert (info.name, info.path, info.digits, info.bid) == (symbol, "Q" * 128, 5, 1.25)
    assert velmora5.symbol_info("EURUSD") is None  # the full 2993 bytes are too many here
    assert velmora5.last_error() == RECV_FAILED
    assert peer.requests()[2:] == [string_request(CMD_SYMBOL_INFO, symbol), string_request(CMD_SYMBOL_INFO, "EURUSD")]


ONE_SYMBOL_ERRORS = [(), ("a", "b"), (1,), (None,), (b"EURUSD",), ("S" * 30,), ("\U0001F600" * 15,)]


@pytest.mark.parametrize("name", ["symbol_info", "symbol_info_tick", "market_book_add", "market_book_release",
                                  "market_book_get"])
@pytest.mark.parametrize("args", ONE_SYMBOL_ERRORS)
def test_one_symbol_argument_errors_return_none(name, args):
    assert getattr(velmora5, name)(*args) is None
    assert velmora5.last_error() == INVALID


# ---- symbol_info_tick ----------------------------------------------------------------------------------


def test_symbol_info_tick(connected):
    values = dict(time=-2, bid=1.0842, ask=1.0844, last=0.5, volume=2**64 - 1, time_msc=1_700_000_000_123,
                  flags=2**32 - 1, volume_real=0.25)
    peer = connected([reply(CMD_SYMBOL_TICK, 0, tick_record(**values))])
    tick = velmora5.symbol_info_tick("EURUSD")
    assert type(tick) is velmora5.Tick
    assert list(tick._asdict().items()) == list(values.items())
    assert [type(v) for v in tick] == [int, float, float, float, int, int, int, float]
    # length 20, command 172, six units, the name
    assert peer.finish()[2:] == [bytes.fromhex("14000000ac00000006000000") + "EURUSD".encode("utf-16-le")]


# ---- symbol_select --------------------------------------------------------------------------------------


class Truthless:
    def __bool__(self):
        raise RuntimeError("no truth value")


@pytest.mark.parametrize("enable, byte", [
    ((), 1), ((0,), 0), (([],), 0), ((5,), 1), ((True,), 1), ((None,), 0), (("x",), 1), ((0.0,), 0)],
    ids=["omitted", "0", "empty list", "5", "True", "None", "text", "0.0"])
def test_symbol_select_sends_the_truth_of_enable(connected, enable, byte):
    peer = connected([reply(CMD_SYMBOL_SELECT, 0)])
    assert velmora5.symbol_select("EURUSD", *enable) is True
    assert peer.finish()[2:] == [request(CMD_SYMBOL_SELECT, counted("EURUSD") + bytes([byte]))]


@pytest.mark.parametrize("args", [(), ("EURUSD", 1, 2), (1,), (1, True), ("S" * 30, True), ("EURUSD", Truthless())])
def test_symbol_select_argument_errors_return_false(args):
    assert velmora5.symbol_select(*args) is False
    assert velmora5.last_error() == INVALID


# ---- depth of market ----------------------------------------------------------------------------------


@pytest.mark.parametrize("name, command", [("market_book_add", CMD_BOOK_ADD),
                                           ("market_book_release", CMD_BOOK_RELEASE)])
def test_book_subscription(connected, name, command):
    peer = connected([reply(command, 0), reply(command, 1), reply(command, -4)])
    call = getattr(velmora5, name)
    assert call("EURUSD") is True
    assert call("S" * 29) is True  # a positive status is success too
    assert call("GBPUSD") is False
    assert velmora5.last_error() == NOT_FOUND
    assert peer.finish()[2:] == [string_request(command, s) for s in ("EURUSD", "S" * 29, "GBPUSD")]


def test_book_entries_keep_the_terminals_order(connected):
    entries = [dict(type=2, price=1.0, volume=2**64 - 1, volume_dbl=0.5),
               dict(type=1, price=3.0, volume=1, volume_dbl=1.5),
               dict(type=2**32 - 1, price=2.0, volume=0, volume_dbl=-0.0)]
    peer = connected([list_reply(CMD_BOOK_GET, [book_entry(**e) for e in entries]), list_reply(CMD_BOOK_GET, [])])
    book = velmora5.market_book_get("EURUSD")
    assert all(type(b) is velmora5.BookInfo for b in book)
    assert [b._asdict() for b in book] == entries
    assert velmora5.market_book_get("GBPUSD") == ()
    assert peer.finish()[2:] == [string_request(CMD_BOOK_GET, "EURUSD"), string_request(CMD_BOOK_GET, "GBPUSD")]


# ---- terminal and account ----------------------------------------------------------------------------


@SALTS
def test_terminal_info_maps_every_field(connected, salt):
    values = sample(TERMINAL, salt)
    peer = connected([reply(CMD_TERMINAL_INFO, 0, terminal_record(**values))])
    info = velmora5.terminal_info()
    assert type(info) is velmora5.TerminalInfo
    assert list(info._asdict().items()) == [(name, values[name]) for name, _, _ in TERMINAL]
    assert list(info._asdict())[9] == "obid"
    assert info[10] == values["build"] and info[9] == values["obid"] and info[5] == values["tradeapi_disabled"]
    assert peer.finish()[2:] == [b"\x04\x00\x00\x00\xb4\x00\x00\x00"]


def test_terminal_info_record_edges(connected):
    record = bytearray(terminal_record(company="C" * 260, name="next"))
    record[0:4] = b"\xff" * 4     # build
    record[17:21] = b"\xff" * 4   # codepage
    record[16] = 1                # obid
    record[3161] = 1              # tradeapi_disabled, the last byte
    connected([reply(CMD_TERMINAL_INFO, 0, bytes(record))])
    info = velmora5.terminal_info()
    assert info.build == 2**32 - 1 and info.codepage == -1
    assert info.tradeapi_disabled is True and info.obid is True
    assert info[:5] + info[6:9] == (False,) * 8
    assert (info.company, info.name) == ("C" * 260, "next")


@SALTS
def test_account_info_maps_every_field(connected, salt):
    values = sample(ACCOUNT, salt)
    values.update(login=2**64 - 1, name="A" * 128, server="S" * 64, currency="USD", company="\u00c9" * 128)
    peer = connected([reply(CMD_ACCOUNT_INFO, 0, account_record(**values))])
    info = velmora5.account_info()
    assert type(info) is velmora5.AccountInfo
    assert list(info._asdict().items()) == [(name, values[name]) for name, _, _ in ACCOUNT]
    assert peer.finish()[2:] == [request(CMD_ACCOUNT_INFO)]

