"""examples/test_sma_strategy.py's step() on terminal64's engine inside this
process (velmora5.sim.embedded), over EURUSD loaded from a history folder:
the loop's wall, this process's CPU and the engine's share of it (the
engine's stats()); the same loop with the module's calls timed; the cost of
each call a step makes; and this process's memory as engines holding the
year are made and released. Used by backtest_bench.py."""
import contextlib
import ctypes
import gc
import os
import struct
import time

from velmora5 import sim

from module_calls import TimedCalls
from proc_stats import rss_mib
from step_calls import measure, step_calls
from stepped_runs import CLOCK_NOW, FIRST_CLOCK, sim_mover, step_until


def engine(history, clock=FIRST_CLOCK):
    """An engine with EURUSD from `history`, its clock at `clock`; the module
    is connected to it inside the block."""
    return sim.embedded(clock=clock, history="EURUSD", history_dir=str(history))


def run_embedded(history, end_ms, timed=False):
    """step() after every M15 bar from FIRST_CLOCK to end_ms in a fresh
    engine. Returns the loop's figures (seconds: wall, client = this
    process's CPU outside the engine, terminal = the engine's time; the
    requests it served; made: the seconds making the engine and connecting
    took, not in the others) and the sides decided. `timed`: the module's calls
    (sim.next_bar among them) go through TimedCalls: "inside" is the time
    spent in them, "wrapping" what the wrapper added to the run, "calls" a
    function's (calls, seconds inside, seconds of those in the engine)."""
    next_bar, _ = sim_mover(sim)(None)
    made = time.perf_counter()
    with engine(history):
        made = time.perf_counter() - made
        stats = sim._engine.stats
        calls = (TimedCalls(extra=[(sim, "next_bar")], engine_ns=lambda: stats()[1]) if timed
                 else contextlib.nullcontext())
        with calls:
            (writes, busy), cpu, wall = stats(), time.process_time(), time.perf_counter()
            sides, _ = step_until(next_bar, end_ms)
            wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
            writes, busy = (now - before for now, before in zip(stats(), (writes, busy)))
    served = busy / 1e9
    figures = {"wall": wall, "cpu": cpu, "client": cpu - served, "terminal": served, "requests": writes,
               "steps": len(sides), "made": made}
    if timed:
        figures["inside"] = calls.inside_ns / 1e9
        figures["wrapping"] = calls.count * calls.cost_ns() / 1e9
        figures["calls"] = {name: (count, inside / 1e9, served / 1e9)
                            for name, (count, inside, served) in calls.calls.items() if count}
    return figures, sides


def call_costs(history, repeat):
    """step_calls.measure in an engine at a clock that stands still; the
    terminal's share is the engine's time (part of this process's CPU)."""
    with engine(history, FIRST_CLOCK + 3 * 86400):
        engine_now = sim._engine
        clock_now = struct.pack("<II", 4, CLOCK_NOW)

        def meter():
            before = engine_now.stats()[1]
            return lambda: (engine_now.stats()[1] - before) / 1e9

        return measure(step_calls(lambda: engine_now.exchange(clock_now)), meter, repeat)


def memory(history):
    """This process's RSS (MiB): before an engine, with one that loaded the
    year, after it closed, with a second one, after that closed."""
    def rss():
        gc.collect()
        return rss_mib(os.getpid())

    readings = [rss()]
    for _ in range(2):
        with engine(history):
            readings.append(rss())
        readings.append(rss())
    return readings


def trimmed_rss():
    """This process's RSS (MiB) once glibc's malloc has given back what it
    keeps for reuse; None without glibc."""
    try:
        ctypes.CDLL(None).malloc_trim(0)
    except (OSError, AttributeError):
        return None
    gc.collect()
    return rss_mib(os.getpid())
