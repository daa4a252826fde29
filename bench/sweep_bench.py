"""Sweeps on this machine: backtests per hour of a small grid on 1 and 2
workers, on the sweep's own local processes and on a LocalCluster given to
it, against one backtest run in this process (the baseline of the same run);
the fixed cost a task adds (terminal start, history written and loaded,
result sent back); and the workers' memory over a 200-task sweep, with
Dask's defaults and with the sweep's own cluster's settings (whose workers
keep no statistical profile: with one, their memory grows with every task
until Dask's bounded profile history is full).

Each backtest steps a moving-average crossing after every bar of a month of
EURUSD minute bars loaded from CSV (the grid's strategies differ only in
their two averages). Scaling efficiency is the 2-worker rate over twice the
1-worker rate.

    pip install velmora5[sweep]
    python bench/sweep_bench.py [--tasks N] [--rounds N] [--memory-tasks N]
"""
import argparse
import functools
import multiprocessing
import os
import sys
import tempfile
import time
from collections import defaultdict
from statistics import median
from pathlib import Path

import dask
import psutil
from distributed import Client, LocalCluster

import velmora5 as vl
from velmora5 import _sweep_cluster, backtest, sweep

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
import sweep_crossing  # noqa: E402
from history_files_bench import write_year  # noqa: E402

START, END = "2024-03-04", "2024-04-01"  # four weeks of a month
MONTH_START = 1709251200  # 2024-03-01 00:00 UTC, a Friday


def write_month(folder):
    """Every minute of March 2024 that a currency trades, a seeded walk."""
    (folder / "EURUSD").mkdir(mode=0o700, parents=True)
    write_year(folder / "EURUSD" / "M1.csv", start=MONTH_START, days=31)
    os.chmod(folder / "EURUSD" / "M1.csv", 0o600)


# The example's crossing, deciding after every minute.
crossing = functools.partial(sweep_crossing.crossing, timeframe=vl.TIMEFRAME_M1)


def grid(tasks):
    return [{"fast": 5 + n, "slow": 60} for n in range(tasks)]


def timed(call):
    began = time.perf_counter()
    result = call()
    return time.perf_counter() - began, result


def per_hour(tasks, seconds):
    return tasks / seconds * 3600


def backtests(history, params):
    for fast, slow in params:
        backtest.run(crossing(fast, slow), "EURUSD", vl.TIMEFRAME_M1, START, END, history=history, progress=False)


def plain_processes(count, tasks, history):
    """The grid's backtests shared out among `count` processes started as
    the workers are, each importing what a backtest needs first."""
    params = [(p["fast"], p["slow"]) for p in grid(tasks)]
    context = multiprocessing.get_context("spawn")
    processes = [context.Process(target=backtests, args=(history, params[n::count])) for n in range(count)]
    for process in processes:
        process.start()
    for process in processes:
        process.join()
        assert process.exitcode == 0


def start_and_stop(workers):
    def run():
        with _sweep_cluster.client_for(None, workers):
            pass
    return run


def cluster(workers):
    return LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=":0", silence_logs=40)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tasks", type=int, default=8, help="backtests of the grid (default 8)")
    parser.add_argument("--rounds", type=int, default=3, help="rounds of every row (default 3)")
    parser.add_argument("--memory-tasks", type=int, default=200, help="tasks of the memory sweep (default 200)")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as root:
        history = Path(root) / "history"
        write_month(history)
        common = {"symbol": "EURUSD", "timeframe": vl.TIMEFRAME_M1, "start": START, "end": END,
                  "history": history, "progress": False}

        rates, starts, alones, fixed = defaultdict(list), defaultdict(list), [], []
        for _ in range(args.rounds):  # rounds interleaved: the machine's noise falls on every row alike
            took, result = timed(lambda: backtest.run(crossing(5, 60), "EURUSD", vl.TIMEFRAME_M1, START, END,
                                                      history=history, progress=False))
            alones.append(took)
            for workers in (1, 2):  # the machine's own scaling: plain processes, no Dask
                took, _ = timed(lambda: plain_processes(workers, args.tasks, history))
                rates["plain processes (no Dask)", workers].append(per_hour(args.tasks, took))
            for workers in (1, 2):
                with cluster(workers) as local, Client(local) as client:
                    took, table = timed(lambda: sweep.run(crossing, grid(args.tasks), client=client, **common).table)
                    assert (table["error"] == "").all(), table["error"]
                    rates["LocalCluster", workers].append(per_hour(args.tasks, took))
                    if workers == 1:  # what a task adds: a one-hour backtest, as many again minus as many
                        brief = {**common, "end": "2024-03-04T01:00Z"}
                        few, _ = timed(lambda: sweep.run(crossing, grid(args.tasks), client=client, **brief))
                        more, _ = timed(lambda: sweep.run(crossing, grid(2 * args.tasks), client=client, **brief))
                        fixed.append((more - few) / args.tasks)
                took, table = timed(lambda: sweep.run(crossing, grid(args.tasks), workers=workers, **common).table)
                assert (table["error"] == "").all(), table["error"]
                start, _ = timed(start_and_stop(workers))
                starts[workers].append(start)
                rates["processes", workers].append(per_hour(args.tasks, took))
                rates["processes, its start apart", workers].append(per_hour(args.tasks, took - start))
        alone = median(alones)
        print(f"one backtest in this process: {alone:.2f} s, {result.stats['bars']} bars "
              f"({alone / result.stats['bars'] * 1e6:.1f} us a bar); {per_hour(1, alone):,.0f} an hour")
        print(f"fixed cost a task: {median(fixed) * 1e3:.0f} ms = {median(fixed) / alone:.3f} of the month's backtest")
        print(f"medians of {args.rounds} rounds:")
        print("\n| where | 1 worker | 2 workers | scaling efficiency | 2 workers / one in-process |")
        print("|---|---|---|---|---|")
        for where in ("plain processes (no Dask)", "processes", "processes, its start apart", "LocalCluster"):
            one, two = median(rates[where, 1]), median(rates[where, 2])
            print(f"| {where} | {one:,.0f}/h | {two:,.0f}/h | {two / (2 * one):.2f} | "
                  f"{two / per_hour(1, alone):.2f}x |")
        print(f"(processes: the sweep's own cluster, which starts and stops in {median(starts[1]):.2f} s with 1 worker, "
              f"{median(starts[2]):.2f} s with 2; LocalCluster: Dask's defaults, started before)")

        day = {**common, "end": "2024-03-05"}
        chunk = args.memory_tasks // 4
        print(f"\nworkers' resident memory (MiB) after each {chunk} of {args.memory_tasks} one-day tasks:")
        for name, config in (("Dask's defaults", {}), ("the sweep's own cluster's settings", _sweep_cluster.QUIET)):
            print(f"  {name}:")
            with dask.config.set(config), cluster(2) as local, Client(local) as client:
                for done in range(chunk, args.memory_tasks + 1, chunk):
                    table = sweep.run(crossing, grid(chunk), client=client, **day).table
                    assert (table["error"] == "").all(), table["error"]
                    memory = client.run(lambda: psutil.Process().memory_info().rss / 2**20)
                    print(f"    after {done:4d}: " + ", ".join(f"{mib:.0f}" for mib in sorted(memory.values())))

if __name__ == "__main__":
    main()
