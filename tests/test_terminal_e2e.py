"""End to end against the simulated terminal: a real terminal64 process,
driven through the module (and, for framing faults, through a raw socket).

Terminals come from the velmora5.testing plugin: each is a private copy of
the program in throw-away folders, stopped and removed after the test.
"""
import os
import re
import signal
import socket
import stat
import struct
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pytest

import velmora5
from velmora5 import constants
from velmora5.terminal import executable_path

REPO = Path(__file__).resolve().parent.parent
FROZEN = 1_700_000_000  # 2023-11-14 22:13:20 UTC
POSIX = os.name == "posix"


@pytest.fixture
def terminal(vl5_terminal):
    """A running terminal whose clock stands still, so answers repeat; not connected."""
    return vl5_terminal(clock=FROZEN, connect=False)


def connect(terminal, **kwargs):
    assert velmora5.initialize(str(terminal.exe), **kwargs), velmora5.last_error()


def needs(*names):
    missing = [name for name in names if not hasattr(velmora5, name)]
    if missing:
        pytest.skip("module lacks " + ", ".join(missing))


# ---- session -------------------------------------------------------------------------


def test_initialize_and_version(terminal):
    connect(terminal)
    assert velmora5.version() == (500, 5100, "5.00 build 5100")


def test_login_outcomes(terminal):
    assert velmora5.initialize(str(terminal.exe), login=10001, password="x") is False
    assert velmora5.last_error() == (-6, "Terminal: Authorization failed")
    assert velmora5.initialize(str(terminal.exe), login=10003, password="demo3") is False
    assert velmora5.last_error()[0] == -7
    connect(terminal, login=10002, password="demo2", server="Velmora-Demo")
    if hasattr(velmora5, "account_info"):
        account = velmora5.account_info()
        assert (account.login, account.leverage, account.currency) == (10002, 500, "USD")


def test_old_build_answers_the_short_symbol_record(vl5_terminal):
    vl5_terminal(build=2000, clock=FROZEN)
    assert velmora5.version()[1] == 2000
    needs("symbol_info", "symbols_total")
    assert velmora5.symbol_info("EURUSD").name == "EURUSD"
    assert velmora5.symbols_total() is None  # the module's gate, not the terminal's
    assert velmora5.last_error()[0] == -5


# ---- bars and ticks ------------------------------------------------------------------------


def test_a_million_minute_bars(terminal):
    connect(terminal)
    # Crypto trades around the clock, so its minutes have no weekend gaps.
    bars = velmora5.copy_rates_from_pos("BTCUSD", constants.TIMEFRAME_M1, 0, 1_000_000)
    assert bars is not None, velmora5.last_error()
    assert len(bars) == 1_000_000
    assert bars["time"][-1] == FROZEN // 60 * 60
    assert np.all(np.diff(bars["time"]) == 60)
    assert np.all(bars["high"] >= np.maximum(bars["open"], bars["close"]))
    assert np.all(bars["low"] <= np.minimum(bars["open"], bars["close"]))
    assert np.all(bars["tick_volume"] > 0) and np.all(bars["spread"] > 0)


def test_a_million_bars_arrive_without_a_copy(terminal):
    """The records land in the array's own memory: the peak while receiving
    is about one array (60 MB), not a receive buffer plus the array."""
    code = (
        "import sys, tracemalloc, velmora5\n"
        "assert velmora5.initialize(sys.argv[1]), velmora5.last_error()\n"
        "tracemalloc.start()\n"
        "bars = velmora5.copy_rates_from_pos('EURUSD', 1, 0, 1_000_000)\n"
        "current, peak = tracemalloc.get_traced_memory()\n"
        "print(bars.nbytes, peak)\n"
        "velmora5.shutdown()\n")
    done = subprocess.run([sys.executable, "-c", code, str(terminal.exe)], capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    nbytes, peak = map(int, done.stdout.split())
    assert nbytes == 60_000_000
    assert peak < nbytes * 1.2, peak


def test_hour_bars_aggregate_their_minutes(terminal):
    connect(terminal)
    start = FROZEN // 3600 * 3600 - 48 * 3600
    hours = velmora5.copy_rates_range("XAUUSD", constants.TIMEFRAME_H1, start, FROZEN)
    minutes = velmora5.copy_rates_range("XAUUSD", constants.TIMEFRAME_M1, start, FROZEN)
    assert len(hours) == 49 and len(minutes) == 48 * 60 + (FROZEN - FROZEN // 3600 * 3600) // 60 + 1
    for hour in hours:
        inside = minutes[(minutes["time"] >= hour["time"]) & (minutes["time"] < hour["time"] + 3600)]
        assert hour["open"] == inside["open"][0] and hour["close"] == inside["close"][-1]
        assert hour["high"] == inside["high"].max() and hour["low"] == inside["low"].min()
        assert hour["tick_volume"] == inside["tick_volume"].sum()


def test_ticks_are_ordered_and_inside_the_range(terminal):
    connect(terminal)
    ticks = velmora5.copy_ticks_range("EURUSD", FROZEN - 3600, FROZEN, constants.COPY_TICKS_ALL)
    assert ticks is not None and len(ticks) > 100
    assert np.all(np.diff(ticks["time_msc"]) > 0)
    assert ticks["time_msc"][0] >= (FROZEN - 3600) * 1000 and ticks["time_msc"][-1] <= FROZEN * 1000
    assert np.all(ticks["bid"] < ticks["ask"])
    quote_flags = constants.TICK_FLAG_BID | constants.TICK_FLAG_ASK
    assert np.all(ticks["flags"] & quote_flags)
    first = velmora5.copy_ticks_from("EURUSD", FROZEN - 3600, 10, constants.COPY_TICKS_INFO)
    assert np.array_equal(first, ticks[:10])
    assert len(velmora5.copy_ticks_range("EURUSD", FROZEN - 3600, FROZEN, constants.COPY_TICKS_TRADE)) == 0
    # The stock's exchange closed at 21:00 UTC.
    trades = velmora5.copy_ticks_from("KSTL", FROZEN - 3 * 3600, 20, constants.COPY_TICKS_TRADE)
    assert len(trades) == 20 and np.all(trades["volume"] > 0)


def test_refused_queries(terminal):
    connect(terminal)
    assert velmora5.copy_rates_from_pos("NOWHERE", constants.TIMEFRAME_M1, 0, 10) is None
    assert velmora5.last_error()[0] == -4
    assert velmora5.copy_rates_from_pos("EURUSD", 7, 0, 10) is None
    assert velmora5.last_error()[0] == -2
    assert len(velmora5.copy_rates_from("EURUSD", constants.TIMEFRAME_D1, 0, 10)) == 0  # before the history


# ---- symbols, book, terminal and account -----------------------------------------------------------


def test_symbols(terminal):
    needs("symbols_total", "symbols_get", "symbol_info", "symbol_info_tick", "symbol_select")
    connect(terminal)
    assert velmora5.symbols_total() == 12
    assert sorted(s.name for s in velmora5.symbols_get(group="*JPY")) == ["EURJPY", "USDJPY"]
    info = velmora5.symbol_info("USDJPY")
    assert (info.digits, info.point, info.currency_profit, info.path) == (3, 0.001, "JPY", "Forex\\Majors\\USDJPY")
    tick = velmora5.symbol_info_tick("USDJPY")
    assert tick.time_msc <= FROZEN * 1000 and tick.time_msc // 60000 == FROZEN // 60
    assert tick.bid == info.bid and tick.bid < tick.ask
    assert velmora5.symbol_info("EURJPY").select is False
    assert velmora5.symbol_select("EURJPY", True)
    assert velmora5.symbol_info("EURJPY").select is True
    assert velmora5.symbol_select("NOWHERE", True) is False and velmora5.last_error()[0] == -4


def test_a_closed_market_quotes_its_last_tick_in_both_records(vl5_terminal):
    vl5_terminal(clock=1_699_704_000)  # Saturday 2023-11-11 12:00 UTC: only BTCUSD trades
    needs("symbol_info", "symbol_info_tick")
    for name in ("EURUSD", "XAUUSD", "US500", "KSTL"):
        info, tick = velmora5.symbol_info(name), velmora5.symbol_info_tick(name)
        assert tick.time < 1_699_653_600  # Friday's close
        assert (info.time, info.bid, info.ask, info.last) == (tick.time, tick.bid, tick.ask, tick.last), name
        assert 0 < info.bidlow <= info.bid <= info.bidhigh, name


def test_depth_of_market(terminal):
    needs("market_book_add", "market_book_get", "market_book_release")
    connect(terminal)
    assert velmora5.market_book_get("EURUSD") is None and velmora5.last_error()[0] == -4
    assert velmora5.market_book_add("EURUSD")
    book = velmora5.market_book_get("EURUSD")
    assert [entry.type for entry in book] == [constants.BOOK_TYPE_SELL] * 10 + [constants.BOOK_TYPE_BUY] * 10
    prices = [entry.price for entry in book]
    assert prices == sorted(prices, reverse=True)
    assert velmora5.market_book_release("EURUSD")


def test_terminal_and_account(terminal):
    needs("terminal_info", "account_info")
    connect(terminal)
    info = velmora5.terminal_info()
    assert (info.company, info.name, info.build, info.connected) == (
        "Orbisco Ltd", "Velmora 5 Simulated Terminal", 5100, True)
    assert info.path == str(terminal.exe.parent)
    assert Path(info.data_path, "origin.txt").is_file()
    account = velmora5.account_info()
    assert (account.login, account.server, account.currency, account.balance) == (
        10001, "Velmora-Demo", "USD", 10000.0)


# ---- registration, discovery and the process itself ---------------------------------------------------


def data_folders():
    return list((Path(os.environ["XDG_DATA_HOME"]) / "Orbisco" / "Terminal").iterdir())


def test_initialize_without_a_path_starts_the_registered_terminal(vl5_terminal):
    install = vl5_terminal.install()
    done = subprocess.run([str(install), "--register"], capture_output=True, timeout=30)
    assert done.returncode == 0, done.stderr
    [folder] = data_folders()
    assert re.fullmatch("[0-9A-F]{32}", folder.name)
    assert (folder / "VLMS").is_dir()
    assert (folder / "origin.txt").read_bytes() == b"\xff\xfe" + str(install.parent).encode("utf-16-le")
    ini = folder / "config" / "terminal.ini"
    ini.write_text(ini.read_text().replace("idle_exit=600", "idle_exit=2"))

    assert velmora5.initialize(), velmora5.last_error()
    assert velmora5.version()[1] == 5100
    sockets = list(Path(os.environ["XDG_RUNTIME_DIR"]).glob("VL5.Terminal.*"))
    assert len(sockets) == 1
    velmora5.shutdown()
    # Without clients it stops by itself and takes its socket along.
    deadline = time.monotonic() + 15
    while sockets[0].exists() and time.monotonic() < deadline:
        time.sleep(0.1)
    assert not sockets[0].exists()


def test_portable_start_marks_the_data_folder(vl5_terminal):
    install = vl5_terminal.install()
    done = subprocess.run([str(install), "--register", "/portable"], capture_output=True, timeout=30)
    assert done.returncode == 0, done.stderr
    [folder] = data_folders()
    assert (folder / "portable.txt").exists()


def test_a_second_instance_refuses_to_start(terminal):
    done = subprocess.run([str(terminal.exe), "--idle-exit", "1"], capture_output=True, timeout=30)
    assert done.returncode == 1
    assert terminal.process.poll() is None


def test_bad_command_line(vl5_terminal):
    install = vl5_terminal.install()
    done = subprocess.run([str(install), "--seed", "banana"], capture_output=True, timeout=30)
    assert done.returncode == 2 and b"seed" in done.stderr
    assert not (Path(os.environ["XDG_DATA_HOME"]) / "Orbisco").exists()  # checked before registering


# ---- raw framing and signals (POSIX sockets) -------------------------------------------------------


def raw_exchange(sock, frame):
    """(echo, status, data) of the reply, or None when the terminal hung up."""
    try:
        sock.sendall(frame)
        head = sock.recv(4, socket.MSG_WAITALL)
    except ConnectionResetError:  # closed with our bytes unread
        return None
    if len(head) < 4:
        return None
    (length,) = struct.unpack("<I", head)
    body = sock.recv(length, socket.MSG_WAITALL)
    return struct.unpack("<Ii", body[:8]) + (body[8:],)


@pytest.mark.skipif(not POSIX, reason="raw Unix-domain socket")
def test_unknown_malformed_and_oversized_requests(terminal):
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as sock:
        sock.connect(terminal.address)
        assert raw_exchange(sock, struct.pack("<II", 4, 999)) == (999, -1, b"")
        assert raw_exchange(sock, struct.pack("<III", 8, 109, 0)) == (109, -2, b"")   # state poll takes nothing
        assert raw_exchange(sock, struct.pack("<II", 4, 109)) == (109, 1, struct.pack("<I", 2))
        assert raw_exchange(sock, struct.pack("<II", 2 * 1024 * 1024, 109)) is None  # dropped
    connect(terminal)  # the terminal itself carries on
    assert velmora5.version()[1] == 5100


@pytest.mark.skipif(not POSIX, reason="POSIX signals")
@pytest.mark.parametrize("with_client", [False, True])
def test_sigterm_stops_cleanly(terminal, with_client):
    socket_file = Path(terminal.address)
    assert socket_file.exists()
    if with_client:
        connect(terminal)
    terminal.process.send_signal(signal.SIGTERM)
    assert terminal.process.wait(timeout=10) == 0
    assert not socket_file.exists()


@pytest.mark.skipif(not Path("/proc/self/task").is_dir(), reason="threads listed in /proc")
def test_a_fresh_terminal_does_nothing_no_request_asked_for(terminal):
    # The main thread and the one accepting connections: no work of its own
    # in the background, whatever a client will ask.
    assert len(os.listdir(f"/proc/{terminal.process.pid}/task")) == 2


def test_daily_bars_are_kept_for_later_terminals(vl5_terminal, tmp_path):
    kept = tmp_path / "kept"
    first = vl5_terminal(clock=FROZEN, cache_dir=str(kept))
    days = velmora5.copy_rates_from_pos("EURUSD", constants.TIMEFRAME_D1, 0, 10)
    assert len(days) == 10, velmora5.last_error()
    assert not kept.exists()  # a few days are not worth a save of their own...
    assert first.stop() == 0
    files = list((kept / "days").glob("EURUSD-*.days"))  # ...but a clean end keeps them
    assert len(files) == 1
    assert stat.S_IMODE(files[0].stat().st_mode) == 0o600
    assert stat.S_IMODE((kept / "days").stat().st_mode) == 0o700
    vl5_terminal(clock=FROZEN, cache_dir=str(kept))
    assert np.array_equal(velmora5.copy_rates_from_pos("EURUSD", constants.TIMEFRAME_D1, 0, 10), days)


def test_constants_mirror_the_headers():
    declared = {}
    for header in ("market_codes.h", "trade_codes.h"):
        text = (REPO / "src" / "wire" / header).read_text()
        found = dict(re.findall(r"inline constexpr std::\w+ (\w+) = (-?\d+);", text))
        assert found and not declared.keys() & found.keys(), header
        declared.update({name: int(value) for name, value in found.items()})
    exported = {name: value for name, value in vars(constants).items() if name.isupper()}
    assert declared == exported
    assert (constants.TIMEFRAME_H1, constants.TIMEFRAME_MN1, constants.COPY_TICKS_ALL) == (60, 43200, -1)
    assert (constants.TRADE_ACTION_DEAL, constants.ORDER_TYPE_SELL_STOP_LIMIT, constants.TRADE_RETCODE_DONE) == (
        1, 7, 10009)


def test_executable_path_points_into_the_package():
    path = Path(executable_path())
    assert path.parent == Path(velmora5.__file__).parent
    assert path.name == ("terminal64.exe" if os.name == "nt" else "terminal64")
