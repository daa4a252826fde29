"""terminal64's engine inside the test process (velmora5.sim.embedded): the
same answers as the program over its pipe, and clean failures around it."""
import os
import sys
import threading
from pathlib import Path

import numpy as np
import pytest

import velmora5 as vl
from velmora5 import sim
from velmora5.testing import FROZEN

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
from test_sma_strategy import step as sma_step  # noqa: E402

CMD_SYMBOL_INFO_TICK = 172
NO_IPC = -10004
SETTINGS = {"seed": 1, "clock": FROZEN}


# ---- every function answers alike ------------------------------------------------------


def _buy(volume, **extra):
    return {"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": vl.ORDER_TYPE_BUY, "volume": volume, **extra}


# Each call of the module's functions, good and bad, in an order that trades:
# what one call changes, the next ones see.
CALLS = [
    ("version", ()), ("terminal_info", ()), ("account_info", ()), ("login", (10001,)), ("login", (1, "bad", "x")),
    ("symbols_total", ()), ("symbols_get", ()), ("symbols_get", ("*USD*,!EUR*",)), ("symbol_info", ("EURUSD",)),
    ("symbol_info", ("NOPE",)), ("symbol_info", (5,)), ("symbol_info_tick", ("USDJPY",)),
    ("symbol_select", ("NZDUSD", True)), ("symbol_select", ("NOPE",)),
    ("market_book_add", ("EURUSD",)), ("market_book_get", ("EURUSD",)), ("market_book_release", ("EURUSD",)),
    ("market_book_get", ("EURUSD",)),
    ("copy_rates_from", ("EURUSD", vl.TIMEFRAME_H1, FROZEN, 30)), ("copy_rates_from_pos", ("BTCUSD", vl.TIMEFRAME_M15, 0, 50)),
    ("copy_rates_range", ("GBPUSD", vl.TIMEFRAME_D1, FROZEN - 40 * 86400, FROZEN)),
    ("copy_rates_from_pos", ("EURUSD", 7777, 0, 5)), ("copy_rates_from_pos", ("EURUSD", vl.TIMEFRAME_M1, 0, -1)),
    ("copy_ticks_from", ("EURUSD", FROZEN - 600, 200, vl.COPY_TICKS_ALL)),
    ("copy_ticks_range", ("USDJPY", FROZEN - 300, FROZEN, vl.COPY_TICKS_INFO)),
    ("copy_ticks_from", ("NOPE", FROZEN, 10, vl.COPY_TICKS_ALL)),
    ("order_calc_margin", (vl.ORDER_TYPE_BUY, "EURUSD", 1.0, 1.09)),
    ("order_calc_profit", (vl.ORDER_TYPE_SELL, "USDJPY", 0.5, 150.0, 149.0)),
    ("order_calc_margin", (vl.ORDER_TYPE_BUY, "EURUSD", float("nan"), 1.09)),
    ("order_check", (_buy(0.1),)), ("order_check", (_buy(1e9),)), ("order_check", ({"action": 99},)),
    ("order_send", (_buy(0.2, comment="first"),)), ("order_send", (_buy(-1),)),
    ("order_send", ({"action": vl.TRADE_ACTION_PENDING, "symbol": "EURUSD", "type": vl.ORDER_TYPE_BUY_LIMIT,
                     "volume": 0.1, "price": 0.5, "sl": 0.4, "tp": 0.9},)),
    ("positions_total", ()), ("positions_get", ()), ("positions_get", ("EURUSD",)), ("positions_get", (None, "*JPY")),
    ("orders_total", ()), ("orders_get", ()), ("orders_get", (None, None, 424242)),
    ("history_orders_total", (0, FROZEN + 1)), ("history_orders_get", (0, FROZEN + 1)),
    ("history_deals_total", (0, FROZEN + 1)), ("history_deals_get", (0, FROZEN + 1)),
    ("history_deals_get", (FROZEN + 10, 0)), ("history_orders_get", (None, None, 0)),
    ("account_info", ()), ("last_error", ()), ("shutdown", ()), ("positions_total", ()), ("last_error", ()),
    ("initialize", ()), ("positions_total", ()),
]


def _call(name, args):
    """A function's result and the last error after it, comparable with =="""
    if args and args[0] is None:  # a keyword call: (None, value) or (None, None, ticket)
        keyword = "ticket" if len(args) == 3 else "group"
        result = getattr(vl, name)(**{keyword: args[-1]})
    else:
        result = getattr(vl, name)(*args)
    if isinstance(result, np.ndarray):
        result = (result.dtype.descr, result.tobytes())
    elif isinstance(result, vl.TerminalInfo):  # where the program and the engine live differs
        result = {**dict(zip(result.__match_args__, result)), "path": "", "data_path": ""}
    return result, vl.last_error()


def _answers():
    return [(name, _call(name, args)) for name, args in CALLS]


def test_every_function_answers_alike(vl5_terminal):
    vl5_terminal(stepped=True, **SETTINGS)
    over_pipe = _answers()
    with sim.embedded(**SETTINGS):
        in_process = _answers()
    assert len({name for name, _ in CALLS}) == 32
    for (name, piped), (_, embedded) in zip(over_pipe, in_process):
        assert embedded == piped, name


# ---- backtests in-process and over the pipe ------------------------------------------


def _pending_with_stops(symbol):
    """Every sixth bar without positions: a buy limit below and a sell stop
    further below, both with stops and targets, so that fills, stops and
    targets come from the walk between steps."""
    calls = []

    def strategy(vl):
        calls.append(vl.account_info().balance)
        if len(calls) % 6 or vl.positions_total():
            return
        tick, point = vl.symbol_info_tick(symbol), vl.symbol_info(symbol).point
        for kind, price, sl, tp in ((vl.ORDER_TYPE_BUY_LIMIT, tick.ask - 40 * point, -200, 120),
                                    (vl.ORDER_TYPE_SELL_STOP, tick.bid - 60 * point, 150, -250)):
            vl.order_send({"action": vl.TRADE_ACTION_PENDING, "symbol": symbol, "type": kind, "volume": 0.1,
                           "price": price, "sl": price + sl * point, "tp": price + tp * point,
                           "type_time": vl.ORDER_TIME_GTC})
    strategy.balances = calls
    return strategy


def _sma(symbol):
    balances = []

    def strategy(vl):
        balances.append(vl.account_info().balance)
        sma_step(vl, symbol)
    strategy.balances = balances
    return strategy


@pytest.mark.parametrize("make, symbol, timeframe, start, end", [
    (_sma, "EURUSD", vl.TIMEFRAME_M15, "2024-03-06", "2024-03-12"),       # a weekend inside
    (_pending_with_stops, "USDJPY", vl.TIMEFRAME_M5, "2024-03-07", "2024-03-11T06:00"),
    (_pending_with_stops, "BTCUSD", vl.TIMEFRAME_M30, "2024-03-08", "2024-03-11"),
    (_sma, "XAUUSD", vl.TIMEFRAME_M15, "2024-03-04", "2024-03-06"),
])
def test_a_backtest_is_the_same_in_process_and_over_the_pipe(make, symbol, timeframe, start, end):
    pandas = pytest.importorskip("pandas")
    from velmora5 import backtest

    results, balances = [], []
    for transport in ("engine", "pipe"):
        strategy = make(symbol)
        results.append(backtest.run(strategy, symbol, timeframe, start, end, transport=transport, progress=False))
        balances.append(strategy.balances)
    engine, pipe = results
    assert len(engine.deals) > 2 and engine.stats["bars"] > 50
    pandas.testing.assert_frame_equal(engine.deals, pipe.deals, check_exact=True)
    pandas.testing.assert_frame_equal(engine.orders, pipe.orders, check_exact=True)
    pandas.testing.assert_series_equal(engine.equity, pipe.equity, check_exact=True)
    assert balances[0] == balances[1]


# ---- faults and misuse ---------------------------------------------------------------


@pytest.mark.parametrize("fault, code", [("handler_alloc", -3), ("handler_throw", -1)])
def test_a_request_that_fails_inside_the_engine_fails_alone(monkeypatch, fault, code):
    monkeypatch.setenv("VL5_TERMINAL_FAULT", f"{fault}:{CMD_SYMBOL_INFO_TICK}")
    with sim.embedded(**SETTINGS):
        for _ in range(3):
            assert vl.symbol_info_tick("EURUSD") is None and vl.last_error()[0] == code
            assert vl.symbol_info("EURUSD").name == "EURUSD"  # the same connection goes on
        assert sim.next_bar("EURUSD", vl.TIMEFRAME_M1) == sim.now()


def test_leaving_restores_the_pipe(vl5_terminal):
    program = vl5_terminal(connect=False, **SETTINGS)
    with sim.embedded(**SETTINGS):
        assert vl.initialize(program.path)  # any initialize() inside reaches the engine
        assert vl.terminal_info().path == os.path.dirname(vl.__file__)
        with pytest.raises(sim.SimError, match="one engine at a time"):
            with sim.embedded(**SETTINGS):
                pass
        assert vl.account_info() is not None  # the refused second engine changed nothing
    assert vl.terminal_info() is None and vl.last_error()[0] == NO_IPC
    program.connect()
    assert Path(vl.terminal_info().path) == Path(program.path).parent
    with pytest.raises(sim.SimError, match="not stepped"):
        sim.now()  # the program's clock, over its own pipe


@pytest.mark.parametrize("settings, message", [
    ({"seed": "x"}, "bad value 'x' for seed"),
    ({"history": "EURUSD"}, "history needs history_dir"),
    ({"data_dir": "/tmp"}, "options of the program"),
    ({"bogus": 1}, "bogus"),
])
def test_settings_the_engine_refuses(settings, message):
    with pytest.raises(sim.SimError, match=message):
        with sim.embedded(**{**SETTINGS, **settings}):
            pass
    assert vl.terminal_info() is None  # nothing left attached


def test_a_malformed_control_request_drops_only_that_request():
    with sim.embedded(**SETTINGS):
        before = sim.now()
        with pytest.raises(ConnectionError):
            sim._engine.exchange(b"\x02\x00\x00\x00xx")  # shorter than a command id
        assert sim.now() == before and vl.account_info() is not None


def test_a_thread_calling_the_module_takes_turns_with_the_steps():
    seen, failures = [], []
    with sim.embedded(**SETTINGS):
        stop = threading.Event()

        def watch():
            while not stop.is_set():
                tick = vl.symbol_info_tick("EURUSD")
                (seen if tick is not None else failures).append(tick and tick.time_msc)

        watcher = threading.Thread(target=watch)
        watcher.start()
        try:
            for _ in range(200):
                sim.next_bar("EURUSD", vl.TIMEFRAME_M5)
        finally:
            stop.set()
            watcher.join()
        end = sim.now()
    assert not failures and len(seen) > 0
    assert seen == sorted(seen) and seen[-1] <= end.timestamp() * 1000


@pytest.mark.skipif(not hasattr(os, "fork"), reason="fork is POSIX")
def test_a_forked_child_gets_a_clear_error():
    with sim.embedded(**SETTINGS):
        pid = os.fork()
        if pid == 0:  # the child reports through its exit status only
            status = 1
            try:
                refused = vl.symbol_info_tick("EURUSD") is None and vl.last_error()[0] < 0
                try:
                    sim.now()
                except sim.SimError as error:
                    status = 0 if refused and "forked" in str(error) else 2
            finally:
                os._exit(status)
        _, status = os.waitpid(pid, 0)
        assert os.waitstatus_to_exitcode(status) == 0
        assert vl.symbol_info_tick("EURUSD") is not None  # the parent's engine goes on
