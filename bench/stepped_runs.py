"""examples/test_sma_strategy.py's step() on terminal64's stepped clock, over
EURUSD loaded from a history folder, measured: wall, the client's CPU, the
terminal's CPU and the exchanges made; and the cost of each call a step makes.
Used by backtest_bench.py."""
import contextlib
import struct
import time

import pytest

import velmora5
from velmora5.testing import TerminalFactory

from history_files_bench import YEAR_START
from module_calls import Exchanges
from proc_stats import cpu_between, rss_mib, thread_cpu
from raw_client import RawClient, _counted
from step_calls import measure, step_calls
from test_sma_strategy import SLOW, step

CLOCK_NOW = 9001
CLOCK_NEXT_BAR = 9003
NOT_FOUND = -4
SUCCESS = 1
M15 = 15
FIRST_CLOCK = YEAR_START + SLOW * 15 * 60  # 48 bars closed when the clock starts


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


def step_until(next_bar, end_ms):
    """step() after every bar next_bar() reaches up to end_ms: (the sides
    decided, the moves made)."""
    sides, moves = [], 0
    while True:
        moment = next_bar()
        moves += 1
        if moment is None or moment > end_ms:
            return sides, moves
        sides.append(step(velmora5))


def run_terminal(install, history, end_ms, make_mover):
    """step() after every M15 bar from FIRST_CLOCK to end_ms on a fresh
    terminal. Returns the loop's figures and the sides decided."""
    with install.stepped(history, FIRST_CLOCK) as terminal:
        pid = terminal.process.pid
        next_bar, close = make_mover(terminal)
        try:
            rss_start = rss_mib(pid)
            with Exchanges() as exchanges:
                client, served, wall = time.process_time(), thread_cpu(pid), time.perf_counter()
                sides, moves = step_until(next_bar, end_ms)
                wall = time.perf_counter() - wall
                client, (served, _) = time.process_time() - client, cpu_between(served, thread_cpu(pid))
            return {"wall": wall, "client": client, "terminal": served, "steps": len(sides),
                    "requests": exchanges.count + moves, "rss_start": rss_start, "rss_end": rss_mib(pid)}, sides
        finally:
            close()


def call_costs(install, history, repeat):
    """step_calls.measure over the pipe, at a clock that stands still (the
    clock's request is ClockNow there, which moves nothing); the terminal's
    share is its CPU."""
    with install.stepped(history, FIRST_CLOCK + 3 * 86400) as terminal:
        pid, client = terminal.process.pid, RawClient(terminal.address)

        def meter():
            before = thread_cpu(pid)
            return lambda: cpu_between(before, thread_cpu(pid))[0]

        try:
            return measure(step_calls(lambda: client.call(CLOCK_NOW)), meter, repeat)
        finally:
            client.close()
