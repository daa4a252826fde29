"""examples/test_sma_strategy.py's step() on terminal64's stepped clock, over
EURUSD loaded from a history folder, measured: wall, the client's CPU, the
terminal's CPU and the exchanges made; and the cost of each call a step makes.
Used by backtest_bench.py."""
import contextlib
import importlib
import struct
import time

import pytest

import velmora5
from velmora5.testing import TerminalFactory

from history_files_bench import YEAR_START
from proc_stats import cpu_between, rss_mib, thread_cpu
from raw_client import RawClient, _counted
from test_sma_strategy import MAGIC, SLOW, step, target

CLOCK_NOW = 9001
CLOCK_NEXT_BAR = 9003
NOT_FOUND = -4
SUCCESS = 1
M15 = 15
FIRST_CLOCK = YEAR_START + SLOW * 15 * 60  # 48 bars closed when the clock starts
# Module functions that make no exchange with the terminal.
LOCAL = {"last_error"}


class Exchanges:
    """Counts the module's exchanges with the terminal while it is entered:
    each function of velmora5._core makes one exchange a call (its protocol
    layer sends one request frame per call), so every one is wrapped."""

    def __init__(self):
        self.count = 0
        self._saved = {}

    def __enter__(self):
        for name in dir(importlib.import_module("velmora5._core")):
            function = getattr(velmora5, name, None)
            if name.startswith("_") or name in LOCAL or type(function).__name__ != "builtin_function_or_method":
                continue
            self._saved[name] = function
            setattr(velmora5, name, self._counting(function))
        return self

    def _counting(self, function):
        def counted(*args, **kwargs):
            self.count += 1
            return function(*args, **kwargs)
        return counted

    def __exit__(self, *exc):
        for name, function in self._saved.items():
            setattr(velmora5, name, function)
        self._saved.clear()


class Install:
    """One private copy of terminal64 and its data folder for every run of a
    benchmark, as a user's installation: what a terminal keeps between runs
    (the daily bars of the generated symbols) stays there too."""

    def __init__(self, factory):
        self.factory = factory
        self.exe = factory.install()

    @contextlib.contextmanager
    def stepped(self, history, clock):
        """A terminal with EURUSD from `history`, its clock stepped and
        standing at `clock`; the module is connected to it."""
        terminal = self.factory(exe=self.exe, clock=clock, stepped=True, history="EURUSD", history_dir=str(history))
        try:
            yield terminal
        finally:
            terminal.stop()

    def fill_days(self, history, limit):
        """Runs a terminal until its background fill of daily bars (its one
        thread at idle priority) has ended, at most `limit` seconds; returns
        the seconds it took, or None when it had not ended."""
        with self.stepped(history, FIRST_CLOCK) as terminal:
            began = time.perf_counter()
            while any(idle for _, idle in thread_cpu(terminal.process.pid).values()):
                if time.perf_counter() - began > limit:
                    return None
                time.sleep(0.2)
            return time.perf_counter() - began


@contextlib.contextmanager
def installed(program):
    with pytest.MonkeyPatch.context() as patch:
        factory = TerminalFactory(patch, program)
        try:
            yield Install(factory)
        finally:
            factory.cleanup()


def raw_mover(terminal):
    """next_bar over a connection of our own: the move's moment in ms, or
    None when no bar is ahead; one exchange a call."""
    client = RawClient(terminal.address)
    payload = _counted("EURUSD") + struct.pack("<i", M15)

    def next_bar():
        status, body = client.call(CLOCK_NEXT_BAR, payload)
        if status == NOT_FOUND:
            return None
        if status != SUCCESS:
            raise RuntimeError(f"next_bar: status {status}")
        return struct.unpack("<q", body)[0]

    return next_bar, client.close


def sim_mover(sim):
    """The same through velmora5.sim; its exchanges are counted as the
    module's are, plus one for its own request."""
    def next_bar():
        try:
            return round(sim.next_bar("EURUSD", M15).timestamp() * 1000)
        except sim.SimError as error:
            if error.status == NOT_FOUND:
                return None
            raise

    return lambda terminal: (next_bar, lambda: None)


def run_terminal(install, history, end_ms, make_mover):
    """step() after every M15 bar from FIRST_CLOCK to end_ms on a fresh
    terminal. Returns the loop's figures and the sides decided."""
    with install.stepped(history, FIRST_CLOCK) as terminal:
        pid = terminal.process.pid
        next_bar, close = make_mover(terminal)
        try:
            rss_start, sides, moves = rss_mib(pid), [], 0
            with Exchanges() as exchanges:
                client, served, wall = time.process_time(), thread_cpu(pid), time.perf_counter()
                while True:
                    moment = next_bar()
                    moves += 1
                    if moment is None or moment > end_ms:
                        break
                    sides.append(step(velmora5))
                wall = time.perf_counter() - wall
                client, (served, filling) = time.process_time() - client, cpu_between(served, thread_cpu(pid))
            return {"wall": wall, "client": client, "terminal": served, "fill": filling, "steps": len(sides),
                    "requests": exchanges.count + moves, "rss_start": rss_start, "rss_end": rss_mib(pid)}, sides
        finally:
            close()


def call_costs(install, history, repeat):
    """[(call, [wall, client CPU, terminal CPU] seconds)] of each call a step
    makes, repeated at a clock that stands still: the clock's request is
    ClockNow there, which moves nothing."""
    vl = velmora5
    with install.stepped(history, FIRST_CLOCK + 3 * 86400) as terminal:
        pid, client = terminal.process.pid, RawClient(terminal.address)
        try:
            rates = vl.copy_rates_from_pos("EURUSD", vl.TIMEFRAME_M15, 1, SLOW)
            deal = {"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "volume": 0.1, "magic": MAGIC}

            def turn():  # a position opened and closed: two order_send
                opened = vl.order_send({**deal, "type": vl.ORDER_TYPE_BUY})
                vl.order_send({**deal, "type": vl.ORDER_TYPE_SELL, "position": opened.order})

            calls = [("clock request (raw ClockNow)", 1, lambda: client.call(CLOCK_NOW)),
                     ("copy_rates_from_pos(M15, 1, 48)", 1,
                      lambda: vl.copy_rates_from_pos("EURUSD", vl.TIMEFRAME_M15, 1, SLOW)),
                     ("['close'] + target(): NumPy", 1, lambda: target(rates["close"])),
                     ("positions_get(symbol=)", 1, lambda: vl.positions_get(symbol="EURUSD")),
                     ("order_send (a market deal)", 2, turn)]
            costs = []
            for name, per_call, call in calls:
                call()
                cpu, threads, wall = time.process_time(), thread_cpu(pid), time.perf_counter()
                for _ in range(repeat):
                    call()
                wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
                served, _ = cpu_between(threads, thread_cpu(pid))
                costs.append((name, [x / repeat / per_call for x in (wall, cpu, served)]))
            return costs
        finally:
            client.close()
