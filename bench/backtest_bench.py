"""Steps per second of examples/test_sma_strategy.py's step() on terminal64's
stepped clock, over EURUSD M1 bars of 2024 loaded from CSV, one step after
each M15 bar: with the engine inside this process (velmora5.sim.embedded)
and with the terminal64 program over its pipe, against the wake-up floor of
the same run and, on the same bars resampled to M15, backtesting.py and
backtrader running the same rule.

In-process a request costs no wake-up: a step's time is the script's own
Python and NumPy, the module's work and the engine's (its stats()); an extra
round times the module's calls with a thin wrapper to split the first two.
Over the pipe every request is a round trip that wakes the terminal and then
the client, so a step can go no faster than its round trips times the cost
of a round trip in which neither side works. That cost is measured here
(wakeup_pingpong.py), rounds interleaved with everything else; the floor is
1 / (round trips a step x that cost). The pipe's time is split into the
client's CPU, the terminal's CPU and the rest (waiting: wake-ups, and the
other work of a shared machine). The terminal moves with a plain client of
the clock's control request (raw_client.py) and, when velmora5.sim is there
(installed, or given with --sim), with it as a second row. Then the cost of
each call a step makes both ways, the memory an engine with the year takes
in this process (made twice in a row) and terminal64's resident memory with
the year loaded and without (history_files_bench.py's start).

    pip install -r bench/requirements-backtest.txt
    python bench/backtest_bench.py [--days N] [--rounds N] [--terminal PATH] [--sim PATH/TO/sim.py]
"""
import argparse
import importlib.util
import os
import statistics
import sys
import tempfile
import time
from pathlib import Path

from velmora5.terminal import executable_path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
import backtest_rivals  # noqa: E402
import stepped_runs  # noqa: E402
from history_files_bench import YEAR_START, write_year  # noqa: E402
from history_files_bench import start as start_and_measure  # noqa: E402
from test_sma_strategy import SLOW  # noqa: E402
from wakeup_pingpong import round_trip_seconds  # noqa: E402

PING_PONGS = 20_000
CALL_REPEAT = 2000


def load_sim(path):
    """velmora5.sim: installed, or loaded from `path`; None when neither."""
    if path:
        spec = importlib.util.spec_from_file_location("velmora5.sim", path)
        module = importlib.util.module_from_spec(spec)
        sys.modules["velmora5.sim"] = module
        spec.loader.exec_module(module)
        return module
    try:
        from velmora5 import sim
    except ImportError:
        return None
    return sim


def spread(values, scale=1.0, digits=0):
    """median [min-max]"""
    values = [v * scale for v in values]
    return f"{statistics.median(values):,.{digits}f} [{min(values):,.{digits}f}-{max(values):,.{digits}f}]"


def per_step(runs, key):
    return statistics.median(r[key] / r["steps"] for r in runs)


def rate(runs):
    return statistics.median(r["steps"] / r["wall"] for r in runs)


def against(mine, rivals, key):
    """Steps per second (of `key`: wall or cpu) of `mine` over the faster of
    `rivals`, round by round."""
    return [min(c[i][key] / c[i]["steps"] for c in rivals) / (r[key] / r["steps"]) for i, r in enumerate(mine)]


def print_steps(rows, rounds, round_trip):
    print(f"\n{'':42} {'steps/s median [min-max]':>25} {'us/step':>8} {'client':>7} {'terminal':>9} "
          f"{'waiting':>8} {'req/step':>9} {'floor/s':>8} {'floor/actual':>13}")
    rt = statistics.median(r[0] for r in round_trip)
    for name, runs in rows:
        line = f"{name:42} {spread([r['steps'] / r['wall'] for r in runs]):>25} {per_step(runs, 'wall') * 1e6:8.1f}"
        if "client" not in runs[0]:  # a rival: its CPU, set-up and feed included as in its wall
            cpu = per_step(runs, "cpu")
            line += f" {cpu * 1e6:7.1f} {'':9} {(per_step(runs, 'wall') - cpu) * 1e6:8.1f}"
        else:
            waiting = statistics.median((r["wall"] - r["client"] - r["terminal"]) / r["steps"] for r in runs)
            requests = per_step(runs, "requests")
            line += (f" {per_step(runs, 'client') * 1e6:7.1f} {per_step(runs, 'terminal') * 1e6:9.1f}"
                     f" {waiting * 1e6:8.1f} {requests:9.3f}")
            if "rss_start" in runs[0]:  # over the pipe: each request is a round trip
                floor = 1 / (requests * rt)
                line += f" {floor:8,.0f} {floor / rate(runs):12.2f}x"
        print(line)
    print(f"(us a step: wall, client CPU, terminal CPU, waiting = wall - both; medians of {rounds} interleaved "
          "rounds. In-process: client is this process's CPU less the engine's time (stats()), terminal that "
          "time, waiting the time off the CPU on a shared machine; no wake-up floor. Rivals: their CPU)")


def print_split(plain, timed):
    """The in-process step as script, module and engine, from runs whose
    module calls were timed."""
    engine = per_step(timed, "terminal")
    module = statistics.median((r["inside"] - r["terminal"]) / r["steps"] for r in timed)
    script = statistics.median((r["wall"] - r["inside"] - r["wrapping"]) / r["steps"] for r in timed)
    print(f"\nin-process, where a step's time goes (us, medians of an extra run each round whose module calls "
          f"went through a timing wrapper): script {script * 1e6:.1f} (the strategy's Python and NumPy, and the "
          f"loop's), module {module * 1e6:.1f} (inside velmora5's calls and sim.next_bar, less the engine's), "
          f"engine {engine * 1e6:.1f} (its stats()); together {(script + module + engine) * 1e6:.1f}, against "
          f"{per_step(plain, 'wall') * 1e6:.1f} without the wrapper (whose measured cost, "
          f"{per_step(timed, 'wrapping') * 1e6:.1f} a step, is taken out of the script's share)")
    print(f"  {'the calls of a step':34} {'calls':>6} {'us a step':>10} {'module':>7} {'engine':>7}")
    for name in timed[0]["calls"]:
        mine = [r["calls"].get(name, (0, 0.0, 0.0)) for r in timed]
        count, inside, served = (statistics.median(c[k] / r["steps"] for c, r in zip(mine, timed)) for k in range(3))
        if count < 5e-4:  # not once in most runs (symbol_info: at the end of the history)
            continue
        print(f"  {name:34} {count:6.3f} {inside * 1e6:10.1f} {(inside - served) * 1e6:7.1f} {served * 1e6:7.1f}")


def print_costs(pipe, inside, repeat):
    print(f"\nwhat a step is made of, each call {repeat:,} times at a clock standing still (us, median):")
    print(f"  {'':34} {'over the pipe':^25}   {'in-process':^25}")
    print(f"  {'':34} {'wall':>7} {'client':>7} {'terminal':>9}   {'wall':>7} {'CPU':>7} {'engine':>9} "
          f"{'CPU / pipe client':>18}")
    for i, (name, _) in enumerate(pipe[0]):
        wall, client, served = (statistics.median(c[i][1][k] for c in pipe) * 1e6 for k in range(3))
        line = f"  {name:34} {wall:7.1f} {client:7.1f} {served:9.1f}"
        if inside:
            mine = [statistics.median(c[i][1][k] for c in inside) * 1e6 for k in range(3)]
            line += f"   {mine[0]:7.1f} {mine[1]:7.1f} {mine[2]:9.1f} {mine[1] / client:17.2f}x"
        print(line)
    if inside:
        print("  (in-process CPU is the client's and the engine's together, one thread; the engine's column is "
              "its time within it. Goal for small requests: within 2x of the client's CPU over the pipe)")


def print_memory(fresh, later, trimmed, engines):
    before, first, closed, second, closed_again = fresh
    print(f"\nthis process's RSS with engines holding the year (MiB): {before:.1f} before the first, "
          f"{first:.1f} with it (+{first - before:.1f}), {closed:.1f} after it closed, {second:.1f} with a "
          f"second (+{second - closed:.1f}), {closed_again:.1f} after that closed")
    before, first, closed, second, closed_again = later
    given_back = "" if trimmed is None else f"; {trimmed:.1f} after malloc_trim(0): what the allocator kept went back"
    print(f"  after {engines} engines had been made and closed: {before:.1f}, then {first:.1f} and {second:.1f} "
          f"with two more, {closed_again:.1f} after them{given_back}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--days", type=int, default=366, help="days of 2024 to run over (default: the year)")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--terminal", default=os.environ.get("VL5_TERMINAL") or str(executable_path()))
    parser.add_argument("--sim", help="velmora5/sim.py to load when velmora5.sim is not installed")
    args = parser.parse_args()
    import backtesting
    import backtrader

    sim = load_sim(args.sim)
    embedded_runs = None
    if sim is not None and hasattr(sim, "embedded"):
        import embedded_runs
    end_second = YEAR_START + args.days * 86400
    inside_name = "in-process: sim.next_bar + step()"
    movers = [("pipe: raw next_bar + step()", stepped_runs.raw_mover)]
    if sim is not None:
        movers.append(("pipe: sim.next_bar + step()", stepped_runs.sim_mover(sim)))
    rivals = [(f"backtesting.py {backtesting.__version__}", backtest_rivals.run_backtesting),
              (f"backtrader {backtrader.__version__} (stdstats off)", backtest_rivals.run_backtrader)]
    names = ([inside_name] if embedded_runs else []) + [name for name, _ in movers + rivals]
    results = {name: [] for name in names}
    decisions, round_trip, memory, costs, inside_costs, timed = {}, [], [], [], [], []
    with tempfile.TemporaryDirectory() as folder, stepped_runs.installed(args.terminal) as install:
        root = Path(folder)
        os.chmod(root, 0o700)
        history = root / "history"
        (history / "EURUSD").mkdir(parents=True)
        csv = history / "EURUSD" / "M1.csv"
        minutes = write_year(csv)
        bars = backtest_rivals.m15_bars(csv, YEAR_START, end_second)
        print(f"EURUSD M1 of 2024 from CSV: {minutes:,} bars, {csv.stat().st_size / 1e6:.1f} MB; run over "
              f"{args.days} days: {len(bars):,} M15 bars, a decision after each from the {SLOW + 1}th")
        print("load average at the start: " + ", ".join(f"{x:.2f}" for x in os.getloadavg())
              + f" ({os.cpu_count()} cores)")
        print(f"terminal64: {args.terminal}; backtesting {backtesting.__version__}, "
              f"backtrader {backtrader.__version__}; velmora5.sim: {sim.__file__ if sim else 'absent'}"
              + ("" if embedded_runs else " (without embedded(): no in-process rows)"))
        if embedded_runs:
            fresh_memory = embedded_runs.memory(history)
        for _ in range(args.rounds):  # interleaved, so drift hits every row alike
            round_trip.append(round_trip_seconds(PING_PONGS))
            if embedded_runs:
                figures, decisions[inside_name] = embedded_runs.run_embedded(history, end_second * 1000)
                results[inside_name].append(figures)
                timed.append(embedded_runs.run_embedded(history, end_second * 1000, timed=True)[0])
            for name, mover in movers:
                figures, decisions[name] = stepped_runs.run_terminal(install, history, end_second * 1000, mover)
                results[name].append(figures)
            for name, runner in rivals:
                cpu = time.process_time()
                decisions[name], wall = runner(bars)
                results[name].append({"wall": wall, "cpu": time.process_time() - cpu, "steps": len(decisions[name])})
            costs.append(stepped_runs.call_costs(install, history, CALL_REPEAT))
            if embedded_runs:
                inside_costs.append(embedded_runs.call_costs(history, CALL_REPEAT))
            memory.append([start_and_measure(args.terminal, root, extra)[1] / 1024
                           for extra in ([], ["--history", "EURUSD", "--history-dir", str(history)])])
        if embedded_runs:
            later_memory, trimmed = embedded_runs.memory(history), embedded_runs.trimmed_rss()

    print("load average at the end: " + ", ".join(f"{x:.2f}" for x in os.getloadavg()))
    print(f"round trip with no work (2 wake-ups, Unix socket, {PING_PONGS:,} ping-pongs): "
          f"{spread([r[0] for r in round_trip], 1e6, 1)} us; CPU in it: "
          f"{spread([r[1] for r in round_trip], 1e6, 1)} us on the asking side, "
          f"{spread([r[2] for r in round_trip], 1e6, 1)} us on the answering side")
    print_steps([(name, results[name]) for name in results], args.rounds, round_trip)
    if embedded_runs:
        mine, contenders = results[inside_name], [results[name] for name, _ in rivals]
        made = [r["made"] for r in mine]
        print(f"  {inside_name}: making the engine (loading the year) and connecting took "
              f"{spread(made, digits=2)} s, not in the row; with it "
              f"{statistics.median(r['steps'] / (r['wall'] + r['made']) for r in mine):,.0f} steps/s "
              "(the rivals' rows hold their own set-up, not the M15 bars' resampling)")
        print(f"in-process against the faster rival, round by round: "
              f"{spread(against(mine, contenders, 'wall'), digits=2)}x its steps per second (goal: 1.0x or more), "
              f"{spread(against(mine, contenders, 'cpu'), digits=2)}x its steps per CPU second")
    reference = decisions[names[0]]
    for name, sides in decisions.items():
        same = sum(a == b for a, b in zip(sides, reference))
        print(f"  {name:42} {len(sides):,} decisions, {same:,} the same as the first row's")
    if embedded_runs:
        print_split(results[inside_name], timed)

    print_costs(costs, inside_costs, CALL_REPEAT)

    plain, loaded = (statistics.median(m[i] for m in memory) for i in (0, 1))
    print(f"\nterminal64 RSS at start (history_files_bench.start, median): without history {plain:.1f} MiB, "
          f"with the year {loaded:.1f} MiB: +{loaded - plain:.1f} MiB, {(loaded - plain) * 2**20 / minutes:.0f} bytes "
          "an M1 bar")
    for name, _ in movers:
        runs = results[name]
        print(f"stepped terminal ({name}): RSS {spread([r['rss_start'] for r in runs], digits=1)} MiB at start, "
              f"{spread([r['rss_end'] for r in runs], digits=1)} MiB after its run")
    if embedded_runs:
        print_memory(fresh_memory, later_memory, trimmed, 3 * args.rounds + 2)


if __name__ == "__main__":
    main()
