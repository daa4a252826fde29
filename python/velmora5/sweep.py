"""Parameter sweeps and walk-forward analysis: many backtests at once, each in
a private stepped terminal of its own, run by Dask.

``run`` backtests ``strategy_factory(**params)`` for every parameter set of
a grid and gathers one row per set::

    from velmora5 import sweep

    result = sweep.run(make_strategy, {"fast": [5, 10], "slow": [20, 50]},
                       symbol="EURUSD", timeframe=vl.TIMEFRAME_H1, start="2024-03-04", end="2024-03-30")
    print(result.best("sharpe", n=3))

The tasks run on local worker processes (one per core) unless a
``dask.distributed.Client`` is given: of a ``LocalCluster`` or of a cluster of
several machines. Whatever runs them, the same sweep gives the same table.
Needs Dask and pandas; ``heatmap`` needs matplotlib (``pip install
velmora5[sweep]``).
"""
from __future__ import annotations

import dataclasses
import datetime
import inspect
import itertools
import math
import os
import tempfile
from pathlib import Path
from typing import TYPE_CHECKING, Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from velmora5 import _history_files, _sweep_cluster, backtest
from velmora5._sweep_tasks import Outcome, Task
from velmora5.frames import Moment, _pandas, to_seconds

if TYPE_CHECKING:
    import pandas as pd
    from matplotlib.figure import Figure

__all__ = ["run", "walk_forward", "SweepResult", "WalkForwardResult", "SweepError"]

History = Union[str, "os.PathLike[str]", "pd.DataFrame", None]
# What backtest.run takes besides the strategy, the span and the history.
_SETTINGS = {name for name, parameter in inspect.signature(backtest.run).parameters.items()
             if parameter.kind is parameter.KEYWORD_ONLY} - {"history", "progress"}
_BALANCE = inspect.signature(backtest.run).parameters["balance"].default


class SweepError(RuntimeError):
    """A walk-forward window with no parameter set to choose or a test span
    that failed."""


# ---- the grid ---------------------------------------------------------------------------


def _parameter_sets(grid: Union[Mapping[str, Any], Sequence[Mapping[str, Any]]]) -> List[Dict[str, Any]]:
    """Every combination of a mapping of name to values (in the order given,
    the last name varying fastest; a lone value or a string is one value), or
    the mappings of a list as they are."""
    if isinstance(grid, Mapping):
        names = list(grid)
        values = [list(v) if _iterable(v) else [v] for v in grid.values()]
        sets = [dict(zip(names, combination)) for combination in itertools.product(*values)]
    elif isinstance(grid, Sequence) and not isinstance(grid, (str, bytes)):
        if not all(isinstance(params, Mapping) for params in grid):
            raise TypeError("a grid list holds mappings of parameter name to value")
        sets = [dict(params) for params in grid]
    else:
        raise TypeError(f"grid must be a mapping of name to values or a list of mappings, not {type(grid).__name__}")
    if not sets:
        raise ValueError("the grid holds no parameter set")
    for params in sets:
        for name in params:
            if not isinstance(name, str) or not name.isidentifier():
                raise ValueError(f"parameter names are keyword names: {name!r} is not one")
    return sets


def _iterable(value: Any) -> bool:
    if isinstance(value, (str, bytes, Mapping)):
        return False
    try:
        iter(value)
    except TypeError:
        return False
    return True


def _settings(backtest_settings: Mapping[str, Any]) -> Dict[str, Any]:
    unknown = set(backtest_settings) - _SETTINGS
    if unknown:
        raise TypeError(f"backtest settings not taken by backtest.run: {sorted(unknown)} "
                        f"(it takes {sorted(_SETTINGS)})")
    return dict(backtest_settings)


def _history(history: History, symbol: str, shared: bool) -> Tuple[Optional[_history_files.HistoryFiles],
                                                                   Optional[str]]:
    """What the workers get: the history's files (sent once), or the path of
    a folder they all read themselves."""
    if history is None:
        return None, None
    if backtest._pandas_frame(history):
        if shared:
            raise ValueError("history_shared is for a folder every worker reads, not a DataFrame")
        with tempfile.TemporaryDirectory(prefix="vl5") as root:
            backtest._write_history(history, Path(root), symbol)
            return _history_files.read(root, symbol), None
    if shared:
        return None, os.path.abspath(os.fspath(history))
    return _history_files.read(history, symbol), None


# ---- the result -------------------------------------------------------------------------


def _check_statistic(statistic: str) -> None:
    if statistic not in backtest.STATISTICS or statistic in ("start", "end"):
        raise ValueError(f"{statistic!r} is not a statistic to rank by")


def _ranked(table: "pd.DataFrame", statistic: str) -> "pd.DataFrame":
    """Rows without error, best first by `statistic` (lowest first for those
    where less is better), rows without a value last, ties in grid order."""
    _check_statistic(statistic)
    done = table[table["error"] == ""]
    return done.sort_values(statistic, ascending=statistic in backtest.LOWER_IS_BETTER, kind="stable",
                            na_position="last")


@dataclasses.dataclass
class SweepResult:
    """A sweep's rows. ``table``: one row per parameter set in the grid's
    order, its parameters, then every statistic of ``backtest.STATISTICS``,
    then ``error`` (empty, or the text of what failed the row). ``partial``:
    Ctrl-C stopped the sweep; rows it did not finish have ``error``
    "cancelled"."""

    table: "pd.DataFrame"
    parameters: List[str]
    partial: bool = False
    _deals: List[Any] = dataclasses.field(default_factory=list, repr=False)

    def best(self, statistic: str, n: int = 1) -> "pd.DataFrame":
        """The `n` best rows by `statistic`: highest first, lowest first for
        drawdowns and durations; failed rows never, rows without a value last."""
        return _ranked(self.table, statistic).head(n)

    def deals(self, **params: Any) -> "pd.DataFrame":
        """The deals of the backtest with these parameters (all of them, or
        enough to tell one row)."""
        unknown = set(params) - set(self.parameters)
        if unknown:
            raise KeyError(f"no parameters {sorted(unknown)} in this sweep (it has {self.parameters})")
        rows = [row for row, values in enumerate(self.table[self.parameters].to_dict("records"))
                if all(_same(values[name], value) for name, value in params.items())]
        if len(rows) != 1:
            raise KeyError(f"{len(rows)} rows have the parameters {params}: name one")
        error = self.table["error"].iloc[rows[0]]
        if error:
            raise LookupError(f"the backtest with {params} failed: {error}")
        return self._deals[rows[0]]

    def heatmap(self, x: str, y: str, statistic: str,
                path: Union[str, "os.PathLike[str]", None] = None) -> "Figure":
        """`statistic` over two parameters, `x` across and `y` up (over any
        further parameters, the best value of each cell). Written to `path` as
        PNG when given; returns the matplotlib Figure either way."""
        for name in (x, y):
            if name not in self.parameters:
                raise KeyError(f"no parameter {name!r} in this sweep (it has {self.parameters})")
        try:
            from matplotlib.backends.backend_agg import FigureCanvasAgg
            from matplotlib.figure import Figure
        except ImportError:
            raise ImportError("heat maps need matplotlib: pip install velmora5[sweep]") from None
        ranked = _ranked(self.table, statistic)
        best = ranked.drop_duplicates([x, y], keep="first")  # ranked: the first of a cell is its best
        values = best[statistic]
        if values.dtype.kind == "m":  # durations in hours
            values = values.dt.total_seconds() / 3600
        grid = best.assign(value=values.astype(float)).pivot(index=y, columns=x, values="value").sort_index()
        grid = grid.reindex(sorted(grid.columns), axis=1)
        figure = Figure(figsize=(1.2 * len(grid.columns) + 3, 0.6 * len(grid.index) + 2))
        FigureCanvasAgg(figure)
        axes = figure.subplots()
        image = axes.imshow(grid.to_numpy(), origin="lower", aspect="auto", cmap="viridis")
        axes.set_xticks(range(len(grid.columns)), [str(v) for v in grid.columns])
        axes.set_yticks(range(len(grid.index)), [str(v) for v in grid.index])
        axes.set_xlabel(x)
        axes.set_ylabel(y)
        axes.set_title(statistic + (" (hours)" if ranked[statistic].dtype.kind == "m" else ""))
        for (row, column), value in np.ndenumerate(grid.to_numpy()):
            if not math.isnan(value):
                axes.text(column, row, f"{value:.4g}", ha="center", va="center", color="white", fontsize=8)
        figure.colorbar(image, ax=axes)
        if path is not None:
            figure.savefig(os.fspath(path), format="png", dpi=100)
        return figure


def _same(a: Any, b: Any) -> bool:
    return a == b or (isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b))


def _parameter_names(sets: List[Dict[str, Any]]) -> List[str]:
    return list(dict.fromkeys(name for params in sets for name in params))


def _result(sets: List[Dict[str, Any]], outcomes: Sequence[Outcome], partial: bool) -> SweepResult:
    pandas = _pandas()
    parameters = _parameter_names(sets)
    records = []
    for params, outcome in zip(sets, outcomes):
        stats = outcome.stats or {}
        error = "cancelled" if outcome.cancelled else outcome.error
        records.append({**{name: params.get(name) for name in parameters},
                        **{name: stats.get(name) for name in backtest.STATISTICS}, "error": error})
    table = pandas.DataFrame.from_records(records, columns=[*parameters, *backtest.STATISTICS, "error"])
    for name in ("start", "end"):
        table[name] = pandas.to_datetime(table[name], utc=True)
    table["max_drawdown_duration"] = pandas.to_timedelta(table["max_drawdown_duration"])
    for name in set(backtest.STATISTICS) - {"start", "end", "max_drawdown_duration", "trades", "bars"}:
        table[name] = table[name].astype(float)
    for name in ("trades", "bars"):  # counts, missing on failed rows
        table[name] = table[name].astype("Int64")
    return SweepResult(table, parameters, partial, [outcome.deals for outcome in outcomes])


# ---- sweeps -----------------------------------------------------------------------------


def _checked(factory: Any, grid: Any, symbol: Any, timeframe: Any, start: Moment, end: Moment, history: History,
             history_shared: bool, backtest_settings: Mapping[str, Any]) -> Tuple[
                 List[Dict[str, Any]], Dict[str, Any], Tuple[int, int], Optional[_history_files.HistoryFiles],
                 Optional[str]]:
    """A sweep's arguments checked before any worker starts: its parameter
    sets, backtest settings, span in seconds and history (see _history)."""
    if not callable(factory):
        raise TypeError("strategy_factory must be callable: strategy_factory(**params) gives the strategy")
    sets = _parameter_sets(grid)
    settings = _settings(backtest_settings)
    first, last = to_seconds(start), to_seconds(end)
    if last <= first:
        raise ValueError(f"the sweep ends ({end!r}) before it starts ({start!r})")
    backtest._check_run_arguments(symbol, timeframe)
    return (sets, settings, (first, last), *_history(history, symbol, history_shared))


def run(strategy_factory: Callable[..., Callable[[Any], Any]],
        grid: Union[Mapping[str, Any], Sequence[Mapping[str, Any]]], *, symbol: str, timeframe: int,
        start: Moment, end: Moment, history: History = None, client: Any = None, progress: bool = True,
        workers: Optional[int] = None, history_shared: bool = False, **backtest_settings: Any) -> SweepResult:
    """Backtests ``strategy_factory(**params)`` for every parameter set of
    `grid` (a mapping of name to values, expanded to every combination, or a
    list of mappings), each with ``backtest.run(strategy, symbol, timeframe,
    start, end, history=history, **backtest_settings)`` in a stepped terminal
    of its own with private folders.

    `client`: a ``dask.distributed.Client`` to run the tasks on; without one
    a private cluster of `workers` local processes (default: one per core)
    runs them and is closed at the end. `history` (a folder in terminal64's
    layout or a DataFrame of M1 bars, as ``backtest.run`` takes it) is read
    and checked here and sent to the workers once; with `history_shared` it
    is a folder every worker reads itself (a path they all share), checked
    there as terminal64 checks its files.

    A strategy or factory that raises, or a task whose worker died more
    often than Dask allows, fails its own row (``error``), not the sweep.
    Ctrl-C stops every backtest and returns the rows done (``partial``).
    """
    sets, settings, (first, last), files, shared = _checked(strategy_factory, grid, symbol, timeframe, start, end,
                                                            history, history_shared, backtest_settings)
    tasks = [Task(row, params, symbol, timeframe, first, last, settings, shared) for row, params in enumerate(sets)]
    with _sweep_cluster.client_for(client, workers) as dask_client:
        outcomes, partial = _sweep_cluster.run(dask_client, strategy_factory, tasks,
                                               _sweep_cluster.send(dask_client, files), progress)
    return _result(sets, outcomes, partial)


# ---- walk-forward -----------------------------------------------------------------------


@dataclasses.dataclass
class WalkForwardResult:
    """A walk-forward analysis. ``windows``: one row per window, its spans
    (``train_start``, ``train_end``, ``test_start``, ``test_end``), the
    parameters chosen on the training span, the statistic they were chosen
    by on it (``train_<statistic>``), then every statistic of the test span.
    ``equity``: the test spans' equity joined (each span starts with the
    balance the one before ended with; a later span's starting sample, that
    balance, is left out). ``deals``: the test spans' deals with a ``window``
    column. ``training``: each window's training sweep."""

    windows: "pd.DataFrame"
    equity: "pd.Series"
    deals: "pd.DataFrame"
    training: List[SweepResult]


def _windows(first: int, last: int, train: datetime.timedelta, test: datetime.timedelta) -> List[Tuple[int, int, int]]:
    """(training start, test start, test end) of every window that fits."""
    spans = []
    for name, span in (("train", train), ("test", test)):
        if not isinstance(span, datetime.timedelta) or span.total_seconds() < 1:
            raise ValueError(f"{name} must be a datetime.timedelta of at least a second, not {span!r}")
    train_s, test_s = int(train.total_seconds()), int(test.total_seconds())
    begin = first
    while begin + train_s + test_s <= last:
        spans.append((begin, begin + train_s, begin + train_s + test_s))
        begin += test_s
    if not spans:
        raise ValueError("no window fits: train + test is longer than the span from start to end")
    return spans


def walk_forward(strategy_factory: Callable[..., Callable[[Any], Any]],
                 grid: Union[Mapping[str, Any], Sequence[Mapping[str, Any]]], *, symbol: str, timeframe: int,
                 start: Moment, end: Moment, train: datetime.timedelta, test: datetime.timedelta, statistic: str,
                 history: History = None, client: Any = None, progress: bool = True, workers: Optional[int] = None,
                 history_shared: bool = False, **backtest_settings: Any) -> WalkForwardResult:
    """Rolling windows from `start`: a `train` span followed by a `test` span,
    the next window one `test` span later, as many as end by `end`. On each
    training span the grid is swept (all windows' sweeps at once) and the
    best parameter set by `statistic` (as ``SweepResult.best`` ranks) is run
    on the test span, with the balance the previous test span ended with
    (the first with `balance`, or backtest.run's default).

    Takes what ``run`` takes. Raises ``SweepError`` when every parameter set
    failed on a training span or a test span fails; Ctrl-C stops it
    (``KeyboardInterrupt`` after every backtest has stopped).
    """
    _check_statistic(statistic)
    sets, settings, (first, last), files, shared = _checked(strategy_factory, grid, symbol, timeframe, start, end,
                                                            history, history_shared, backtest_settings)
    windows = _windows(first, last, train, test)
    training_tasks = [Task(len(sets) * w + row, params, symbol, timeframe, begin, test_start, settings, shared)
                      for w, (begin, test_start, _) in enumerate(windows) for row, params in enumerate(sets)]
    with _sweep_cluster.client_for(client, workers) as dask_client:
        sent = _sweep_cluster.send(dask_client, files)
        outcomes, stopped = _sweep_cluster.run(dask_client, strategy_factory, training_tasks, sent, progress)
        if stopped:
            raise KeyboardInterrupt
        training = [_result(sets, outcomes[w * len(sets):(w + 1) * len(sets)], False) for w in range(len(windows))]
        balance = settings.pop("balance", _BALANCE)
        tests: List[Tuple[Dict[str, Any], Any, Outcome]] = []  # chosen set, its training value, test span
        for w, ((begin, test_start, test_end), sweep) in enumerate(zip(windows, training)):
            best = sweep.best(statistic)
            if best.empty:
                raise SweepError(f"window {w}: every parameter set failed on the training span "
                                 f"(first error: {sweep.table['error'].iloc[0]})")
            params = sets[int(best.index[0])]
            task = Task(w, params, symbol, timeframe, test_start, test_end, {**settings, "balance": balance}, shared,
                        keep_equity=True)
            [outcome], stopped = _sweep_cluster.run(dask_client, strategy_factory, [task], sent, False)
            if stopped:
                raise KeyboardInterrupt
            if outcome.error or outcome.stats is None:
                raise SweepError(f"window {w}: the test span with {params} failed: {outcome.error or 'cancelled'}")
            tests.append((params, best[statistic].iloc[0], outcome))
            balance = outcome.stats["final_equity"]
    return _walk_forward_result(windows, training, tests, statistic, sets)


def _walk_forward_result(windows: List[Tuple[int, int, int]], training: List[SweepResult],
                         tests: List[Tuple[Dict[str, Any], Any, Outcome]], statistic: str,
                         sets: List[Dict[str, Any]]) -> WalkForwardResult:
    pandas = _pandas()
    parameters = _parameter_names(sets)

    def moment(seconds: int) -> "pd.Timestamp":
        return pandas.Timestamp(seconds, unit="s", tz="UTC")

    rows = []
    for w, ((begin, test_start, test_end), (params, trained, outcome)) in enumerate(zip(windows, tests)):
        assert outcome.stats is not None  # a failed test span raised
        rows.append({"window": w, "train_start": moment(begin), "train_end": moment(test_start),
                     "test_start": moment(test_start), "test_end": moment(test_end),
                     **{name: params.get(name) for name in parameters}, f"train_{statistic}": trained,
                     **{name: outcome.stats[name] for name in backtest.STATISTICS}})
    equity = pandas.concat([outcome.equity if w == 0 else outcome.equity.iloc[1:]
                            for w, (_, _, outcome) in enumerate(tests)])
    deals = pandas.concat([outcome.deals.assign(window=w) for w, (_, _, outcome) in enumerate(tests)],
                          ignore_index=True)
    return WalkForwardResult(pandas.DataFrame(rows), equity, deals, training)
