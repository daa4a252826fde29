"""Sweeps and walk-forward on Dask: the same table wherever the backtests run,
faults kept to their rows, and nothing left behind."""
import datetime
import functools
import json
import os
import signal
import subprocess
import sys
import tempfile
import textwrap
import time
from pathlib import Path

import numpy as np
import pytest

pd = pytest.importorskip("pandas")
distributed = pytest.importorskip("distributed")
cloudpickle = pytest.importorskip("cloudpickle")
psutil = pytest.importorskip("psutil")

import velmora5 as vl  # noqa: E402
from velmora5 import _history_files, backtest, sweep  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
import sweep_crossing  # noqa: E402

# The workers cannot import these files: their strategies travel by value.
cloudpickle.register_pickle_by_value(sys.modules[__name__])
cloudpickle.register_pickle_by_value(sweep_crossing)

START, END = "2024-03-04", "2024-03-09"
GRID = {"fast": [3, 5], "slow": [8, 13]}


def make(fast, slow, kill=None):
    """The example's crossing on H1; (5, 13) raises; with `kill` (a path) the
    first process to run (3, 13) dies at its tenth bar, once."""
    crossing, calls = sweep_crossing.crossing(fast, slow), 0

    def strategy(vl):
        nonlocal calls
        calls += 1
        if (fast, slow) == (5, 13):
            raise ValueError("no such luck")
        if kill and (fast, slow) == (3, 13) and calls == 10 and not os.path.exists(kill):
            open(kill, "x").close()
            os.kill(os.getpid(), signal.SIGKILL)
        crossing(vl)

    return strategy


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0",
                                  silence_logs=50) as cluster, distributed.Client(cluster) as dask_client:
        yield dask_client


@pytest.fixture(scope="module")
def bars():
    """A week of EURUSD minutes, a seeded walk."""
    minutes = pd.date_range(START, END, freq="min", inclusive="left", tz="UTC", name="time")
    walk = np.round(1.08 + np.cumsum(np.random.default_rng(7).normal(0, 0.0002, len(minutes))), 5)
    return pd.DataFrame({"open": walk, "high": np.round(walk + 0.0001, 5), "low": np.round(walk - 0.0001, 5), "close": walk,
                         "tick_volume": 10, "spread": 5, "real_volume": 0}, index=minutes)


def sweep_folders():
    folder = tempfile.gettempdir()
    return {name for name in os.listdir(folder) if name.startswith(("vl5sweep-", "vl5dask"))}


def test_a_grid_gives_one_table_wherever_it_runs(client, bars, tmp_path):
    """Private processes with the history as a DataFrame, a LocalCluster whose
    worker is killed mid-task with the history sent from a folder, and one
    worker reading the shared folder itself: the same rows, the raising
    strategy's alone failed."""
    folder = tmp_path / "history"
    folder.mkdir(mode=0o700)
    backtest._write_history(bars, folder, "EURUSD")
    common = {"symbol": "EURUSD", "timeframe": vl.TIMEFRAME_H1, "start": START, "end": END, "progress": False}
    before = sweep_folders()

    killed = sweep.run(functools.partial(make, kill=str(tmp_path / "killed")), GRID, history=folder, client=client,
                       **common)
    children = {p.pid for p in psutil.Process().children(recursive=True)}
    processes = sweep.run(make, GRID, history=bars, workers=2, **common)
    one = sweep.run(make, GRID, history=folder, history_shared=True, workers=1, **common)

    assert (tmp_path / "killed").exists()  # the task did die once
    table = processes.table
    for other in (killed, one):
        pd.testing.assert_frame_equal(other.table, table)
    assert table["error"].tolist() == ["", "", "", "ValueError: no such luck"]
    assert table[["fast", "slow"]].values.tolist() == [[3, 8], [3, 13], [5, 8], [5, 13]]
    for fast, slow in [(3, 8), (3, 13), (5, 8)]:
        pd.testing.assert_frame_equal(killed.deals(fast=fast, slow=slow), processes.deals(fast=fast, slow=slow))
    with pytest.raises(LookupError, match="no such luck"):
        processes.deals(fast=5, slow=13)

    # A row is that parameter set's backtest, as run here.
    alone = backtest.run(make(3, 13), "EURUSD", vl.TIMEFRAME_H1, START, END, history=bars, progress=False)
    assert table.iloc[1][list(backtest.STATISTICS)].to_dict() == alone.stats
    valid = table[table["error"] == ""]
    assert processes.best("net_profit").index[0] == valid["net_profit"].idxmax()
    assert processes.best("max_drawdown_pct").index[0] == valid["max_drawdown_pct"].idxmin()

    figure = processes.heatmap("fast", "slow", "net_profit", tmp_path / "map.png")
    assert (tmp_path / "map.png").read_bytes()[:4] == b"\x89PNG"
    shown = figure.axes[0].images[0].get_array()
    assert shown[0, 0] == table.loc[0, "net_profit"] and np.ma.is_masked(shown[1, 1])

    assert {p.pid for p in psutil.Process().children(recursive=True)} == children
    assert sweep_folders() == before


def test_walk_forward_chooses_on_training_spans_and_joins_the_test_spans(client):
    before = sweep_folders()
    result = sweep.walk_forward(make, GRID, symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start=START,
                                end="2024-03-09", train=datetime.timedelta(days=2), test=datetime.timedelta(days=1),
                                statistic="net_profit", client=client, progress=False, seed=3)
    windows = result.windows
    assert windows["test_start"].dt.day.tolist() == [6, 7, 8] and len(result.training) == 3

    balance, pieces = 10_000, []
    for window in windows.itertuples():
        training = sweep.run(make, GRID, symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start=window.train_start,
                             end=window.train_end, client=client, progress=False, seed=3)
        best = training.best("net_profit").iloc[0]
        assert (window.fast, window.slow) == (best["fast"], best["slow"])
        tested = backtest.run(make(window.fast, window.slow), "EURUSD", vl.TIMEFRAME_H1, window.test_start,
                              window.test_end, seed=3, balance=balance, progress=False)
        assert window.net_profit == tested.stats["net_profit"]
        pieces.append(tested.equity if not pieces else tested.equity.iloc[1:])
        balance = tested.stats["final_equity"]
    pd.testing.assert_series_equal(result.equity, pd.concat(pieces))
    assert sweep_folders() == before


CTRL_C = """
import json, os, sys, time
import velmora5 as vl
from velmora5 import sweep

def make(slow):
    def strategy(vl):
        open(os.path.join(sys.argv[1], f"{slow}-{os.getpid()}"), "a").close()
        if slow:
            time.sleep(0.1)
    return strategy

def sweep_on(client):
    result = sweep.run(make, {"slow": [0, 1, 2]}, symbol="EURUSD", timeframe=vl.TIMEFRAME_M15,
                       start="2024-03-04", end="2024-03-09", client=client, progress=False)
    # Backtests still running on the workers, cancelled or not:
    busy = sum(client.run(lambda dask_worker: dask_worker.state.executing_count).values()) if client else 0
    print(json.dumps({"partial": result.partial, "errors": result.table["error"].tolist(),
                      "bars": result.table["bars"].fillna(-1).astype(int).tolist(), "busy": busy}))

if __name__ == "__main__":
    if sys.argv[2] == "client":  # a cluster of the script's own, its workers deaf to Ctrl-C
        import distributed
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0",
                                      preload=["velmora5._sweep_tasks"]) as cluster:
            with distributed.Client(cluster) as client:
                sweep_on(client)
    else:
        sweep_on(None)
"""


@pytest.mark.skipif(sys.platform == "win32", reason="Ctrl-C is sent as SIGINT to the process group")
@pytest.mark.parametrize("where", ["processes", "client"])
def test_ctrl_c_keeps_the_rows_done_and_leaves_nothing(tmp_path, where):
    """The first row is done, two backtests that would take a minute are
    running: Ctrl-C to the process group (as a console sends it) ends the
    sweep within seconds with the first row kept, and stops the backtests
    also on a cluster that lives on."""
    marks, scratch = tmp_path / "marks", tmp_path / "tmp"
    marks.mkdir()
    scratch.mkdir()
    script = tmp_path / "sweep_script.py"
    script.write_text(textwrap.dedent(CTRL_C))
    process = subprocess.Popen([sys.executable, str(script), str(marks), where], stdout=subprocess.PIPE, text=True,
                               start_new_session=True, env={**os.environ, "TMPDIR": str(scratch)})
    try:
        deadline = time.monotonic() + 120
        while len({name.split("-")[0] for name in os.listdir(marks)}) < 3 and time.monotonic() < deadline:
            time.sleep(0.2)  # every row has started: the first is done in a second
        time.sleep(1.0)
        session = [p for p in psutil.process_iter(["pid"]) if _session_of(p.pid) == process.pid]
        os.killpg(process.pid, signal.SIGINT)
        stopped = time.monotonic()
        out, _ = process.communicate(timeout=60)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
    assert time.monotonic() - stopped < 20
    done = json.loads(out)
    assert done["partial"] and done["errors"] == ["", "cancelled", "cancelled"] and done["bars"][0] > 400
    assert done["busy"] == 0
    assert psutil.wait_procs(session, timeout=10)[1] == []  # workers and all
    assert os.listdir(scratch) == ([] if where == "processes" else ["dask-scratch-space"])  # the script's cluster


def _session_of(pid):
    try:
        return os.getsid(pid)
    except OSError:
        return None


@pytest.mark.parametrize("call, message", [
    (lambda: sweep.run(make, {"fast": [], "slow": [1]}, symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start=START, end=END),
     "no parameter set"),
    (lambda: sweep.run(make, "fast", symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start=START, end=END),
     "mapping of name to values"),
    (lambda: sweep.run(make, GRID, symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start=START, end=END, speed=2),
     r"not taken by backtest.run: \['speed'\]"),
    (lambda: sweep.run(make, GRID, symbol="EURUSD", timeframe=7, start=START, end=END), "TIMEFRAME_"),
    (lambda: sweep.walk_forward(make, GRID, symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start=START, end=END,
                                train=datetime.timedelta(days=4), test=datetime.timedelta(days=2),
                                statistic="sharpe"), "no window fits"),
    (lambda: sweep.walk_forward(make, GRID, symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start=START, end=END,
                                train=datetime.timedelta(days=1), test=datetime.timedelta(days=1),
                                statistic="start"), "not a statistic to rank by"),
])
def test_bad_arguments_fail_before_any_worker_starts(call, message):
    children = psutil.Process().children(recursive=True)
    with pytest.raises((ValueError, TypeError), match=message):
        call()
    assert psutil.Process().children(recursive=True) == children


def _other_writable(root):
    os.chmod(root, 0o777)


def _linked(root):
    os.rename(root / "EURUSD" / "M1.csv", root / "real.csv")
    os.symlink(root / "real.csv", root / "EURUSD" / "M1.csv")


def _fifo(root):
    os.unlink(root / "EURUSD" / "M1.csv")
    os.mkfifo(root / "EURUSD" / "M1.csv")


@pytest.mark.skipif(not hasattr(os, "geteuid"), reason="owners and modes are POSIX's")
@pytest.mark.parametrize("spoil, symbol, message", [
    (_other_writable, "EURUSD", "is not a folder of this user alone"),
    (lambda root: os.chmod(root / "EURUSD" / "M1.csv", 0o620), "EURUSD", "writable by others"),
    (_linked, "EURUSD", "M1.csv is not a regular file"),
    (_fifo, "EURUSD", "M1.csv is not a regular file"),
    (lambda root: os.unlink(root / "EURUSD" / "M1.csv"), "EURUSD", "M1.csv is missing"),
    (lambda root: None, "../EURUSD", "is not a symbol's folder name"),
])
def test_a_history_is_sent_only_from_files_terminal64_would_trust(tmp_path, bars, spoil, symbol, message):
    root = tmp_path / "history"
    root.mkdir(mode=0o700)
    backtest._write_history(bars.iloc[:10], root, "EURUSD")
    assert _history_files.read(root, "EURUSD").files["M1.csv"].startswith(b"time,open")
    spoil(root)
    with pytest.raises(_history_files.HistoryError, match=message):
        sweep.run(make, GRID, symbol=symbol, timeframe=vl.TIMEFRAME_H1, start=START, end=END, history=root)
