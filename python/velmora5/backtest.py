"""Backtests: a strategy stepped bar by bar through a private terminal64.

``run`` starts a terminal64 of its own with a stepped clock at ``start`` (its
engine inside this process unless ``transport="pipe"``),
moves the clock to the end of each bar of ``timeframe`` (``velmora5.sim``) and
calls ``strategy(vl)`` there with the connected ``velmora5`` module; the
strategy trades as it would live. Pending orders, stops, swaps and stop-out
happen at the ticks the steps cross. At ``end`` the terminal is stopped, its
folders removed, and a ``BacktestResult`` holds the deals, the orders, the
equity after each step and the usual statistics::

    from velmora5 import backtest

    result = backtest.run(my_strategy, "EURUSD", vl.TIMEFRAME_M15, "2024-03-04", "2024-03-09")
    print(result.summary())
    result.plot("equity.png")

Needs pandas; ``plot`` needs matplotlib, the progress bar tqdm (``pip install
velmora5[backtest]``). While it runs the module is connected to the run's
terminal: a connection the script had before is closed.
"""
from __future__ import annotations

import contextlib
import dataclasses
import datetime
import math
import os
import signal
import tempfile
from pathlib import Path
from typing import TYPE_CHECKING, Any, Callable, Dict, Iterator, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

import velmora5
from velmora5 import sim
from velmora5.frames import Moment, _pandas, to_seconds

if TYPE_CHECKING:
    import pandas as pd
    from matplotlib.figure import Figure

__all__ = ["run", "BacktestResult", "statistics", "daily_returns", "STATISTICS", "LOWER_IS_BETTER"]

TRADING_DAYS = 252  # annualises the daily Sharpe and Sortino ratios
CLOSE_TO_END = 4 * 86400  # seconds before the end from which the steps go bar by bar
_TIMEFRAMES = {getattr(velmora5, name) for name in dir(velmora5) if name.startswith("TIMEFRAME_")}
_CLOSING = (velmora5.DEAL_ENTRY_OUT, velmora5.DEAL_ENTRY_INOUT, velmora5.DEAL_ENTRY_OUT_BY)
_TRADES = (velmora5.DEAL_TYPE_BUY, velmora5.DEAL_TYPE_SELL)
_LAST_DATE = 2**31 - 1  # the module's last date: every deal lies before it

# The names of a result's ``stats``, in the order they are reported.
STATISTICS = ("start", "end", "initial_equity", "final_equity", "net_profit", "return_pct", "max_drawdown_pct",
              "max_drawdown_duration", "sharpe", "sortino", "trades", "win_rate", "profit_factor", "exposure_pct",
              "bars")
# The statistics for which less is better; every other ranks highest first.
LOWER_IS_BETTER = frozenset({"max_drawdown_pct", "max_drawdown_duration"})


@dataclasses.dataclass
class BacktestResult:
    """What a run did.

    ``deals`` and ``orders``: DataFrames of ``history_deals_get`` and
    ``history_orders_get`` (one row a record, its fields as columns, times
    as UTC ``Timestamp``s), the deposit among the deals. ``equity``: the
    account's equity at the start and after the strategy's call at the end
    of each bar, and at the end of the run when the clock went on over a
    closed market after the last bar (a Series with a UTC index).
    ``stats``: ``statistics`` of these, and ``bars``, the strategy's calls.
    ``partial``: Ctrl-C stopped the run and this is what was done until then.
    """

    deals: "pd.DataFrame"
    orders: "pd.DataFrame"
    equity: "pd.Series"
    stats: Dict[str, Any]
    partial: bool = False
    symbol: str = ""
    timeframe: int = 0

    def summary(self) -> str:
        """The statistics as readable lines."""
        s = self.stats
        lines = [
            f"Backtest {self.symbol} {sim._timeframe_name(self.timeframe)} "
            f"{s['start']:%Y-%m-%d %H:%M} to {s['end']:%Y-%m-%d %H:%M} UTC, {s['bars']} bars"
            + (" (stopped early)" if self.partial else ""),
            f"  equity          {s['initial_equity']:,.2f} -> {s['final_equity']:,.2f}",
            f"  net profit      {s['net_profit']:,.2f} ({s['return_pct']:+.2f} %)",
            f"  max drawdown    {s['max_drawdown_pct']:.2f} % (longest {s['max_drawdown_duration']})",
            f"  sharpe, sortino {s['sharpe']:.2f}, {s['sortino']:.2f} (daily, annualised)",
            f"  trades          {s['trades']}, won {s['win_rate']:.1%}, profit factor {s['profit_factor']:.2f}",
            f"  exposure        {s['exposure_pct']:.1f} % of the steps",
        ]
        return "\n".join(lines)

    def plot(self, path: Union[str, "os.PathLike[str]", None] = None) -> "Figure":
        """Equity and drawdown, one above the other. Written to `path` as PNG
        when given; returns the matplotlib Figure either way (no pyplot, no
        display needed)."""
        try:
            from matplotlib.backends.backend_agg import FigureCanvasAgg
            from matplotlib.figure import Figure
        except ImportError:
            raise ImportError("plots need matplotlib: pip install velmora5[backtest]") from None
        figure = Figure(figsize=(10, 6))
        FigureCanvasAgg(figure)
        top, bottom = figure.subplots(2, 1, sharex=True, gridspec_kw={"height_ratios": [3, 1]})
        equity = self.equity
        top.plot(equity.index, equity.to_numpy(), color="tab:blue", linewidth=1)
        top.set_ylabel("equity")
        top.set_title(f"{self.symbol}: net {self.stats['return_pct']:+.2f} %, "
                      f"max drawdown {self.stats['max_drawdown_pct']:.2f} %")
        drawdown = _drawdown_pct(equity)
        bottom.fill_between(equity.index, -drawdown.to_numpy(), 0, color="tab:red", alpha=0.4, step="post")
        bottom.set_ylabel("drawdown %")
        bottom.set_xlabel("UTC")
        figure.autofmt_xdate()
        if path is not None:
            figure.savefig(os.fspath(path), format="png", dpi=100)
        return figure


# ---- statistics ---------------------------------------------------------------------


def _drawdown_pct(equity: "pd.Series") -> "pd.Series":
    peak = equity.cummax()
    return (peak - equity) / peak * 100


def _drawdown_duration(equity: "pd.Series") -> datetime.timedelta:
    """Longest time from a peak until the equity is back at it (or the last
    sample, while it never was)."""
    longest = datetime.timedelta(0)
    peak, peak_at, below = -math.inf, None, False
    for at, value in equity.items():
        if value >= peak:
            if below:
                longest = max(longest, at - peak_at)
            peak, peak_at, below = value, at, False
        else:
            below = True
    if below:
        longest = max(longest, equity.index[-1] - peak_at)
    return datetime.timedelta(seconds=longest.total_seconds())


def daily_returns(equity: "pd.Series") -> "pd.Series":
    """Returns of the equity at each day's last sample (UTC days with samples),
    each against the day before; the first day's against the first sample."""
    days = equity.groupby(equity.index.normalize()).last()
    base = days.shift(1)
    base.iloc[0] = equity.iloc[0]
    return (days / base - 1).rename("return")


def _ratio(numerator: float, denominator: float) -> float:
    if denominator > 0:
        return numerator / denominator
    return math.inf if numerator > 0 else math.nan


def statistics(equity: "pd.Series", deals: "pd.DataFrame", exposed: Sequence[bool]) -> Dict[str, Any]:
    """The statistics of a run from its equity samples (the first the
    starting equity), its deals and, per step, whether a position was open.

    - net_profit: final minus starting equity (open positions at their
      value); return_pct: that in percent of the starting equity.
    - max_drawdown_pct: the largest fall from a peak of the sampled equity,
      in percent of the peak (a positive number); max_drawdown_duration: the
      longest time the equity stayed below a peak (``timedelta``).
    - sharpe, sortino: of the daily returns (``daily_returns``), risk-free
      rate 0, annualised with sqrt(252); Sortino's downside deviation is the
      root mean square of the returns below 0 over all days.
    - trades: closing deals (out, in/out, out by); win_rate: the fraction of
      them whose profit + swap + commission + fee is above 0; profit_factor:
      their gains over their losses.
    - exposure_pct: the percentage of samples after the first at which a
      position was open.
    - start, end: the first and last sample's moments; initial_equity,
      final_equity: their equity.
    """
    first, last = float(equity.iloc[0]), float(equity.iloc[-1])
    returns = daily_returns(equity).to_numpy()
    mean = float(returns.mean()) if len(returns) else math.nan
    spread = float(returns.std(ddof=1)) if len(returns) > 1 else math.nan
    downside = float(np.sqrt(np.mean(np.minimum(returns, 0.0) ** 2))) if len(returns) else math.nan
    annual = math.sqrt(TRADING_DAYS)
    closing = deals[deals["type"].isin(_TRADES) & deals["entry"].isin(_CLOSING)] if len(deals) else deals
    results = (closing[["profit", "swap", "commission", "fee"]].sum(axis=1).to_numpy() if len(closing)
               else np.zeros(0))
    gains, losses = float(results[results > 0].sum()), float(-results[results < 0].sum())
    return {
        "start": equity.index[0].to_pydatetime(),
        "end": equity.index[-1].to_pydatetime(),
        "initial_equity": first,
        "final_equity": last,
        "net_profit": last - first,
        "return_pct": (last - first) / first * 100 if first else math.nan,
        "max_drawdown_pct": float(_drawdown_pct(equity).max()),
        "max_drawdown_duration": _drawdown_duration(equity),
        "sharpe": mean / spread * annual if spread > 0 else math.nan,  # NaN compares False
        "sortino": _ratio(mean, downside) * annual if len(returns) else math.nan,
        "trades": int(len(results)),
        "win_rate": float((results > 0).mean()) if len(results) else math.nan,
        "profit_factor": _ratio(gains, losses) if len(results) else math.nan,
        "exposure_pct": float(np.mean(exposed)) * 100 if len(exposed) else math.nan,
    }


# ---- records as DataFrames ------------------------------------------------------------


def _records_frame(records: Optional[Sequence[Any]], kind: Any, what: str) -> "pd.DataFrame":
    pandas = _pandas()
    if records is None:
        raise sim.SimError(f"{what} failed: {velmora5.last_error()}")
    frame = pandas.DataFrame([tuple(r) for r in records], columns=list(kind.__match_args__))
    for column in frame.columns:
        if column.startswith("time"):
            unit = "ms" if column.endswith("_msc") else "s"
            values = frame[column].astype("int64")
            # An order without expiry has time 0: no moment.
            frame[column] = pandas.to_datetime(values.where(values != 0), unit=unit, utc=True)
    return frame


# ---- the run --------------------------------------------------------------------------


def _write_history(bars: "pd.DataFrame", folder: Path, symbol: str) -> None:
    """M1 bars in the layout of ``frames.bars_frame`` as terminal64's
    ``<folder>/<SYMBOL>/M1.csv``, private to this user."""
    pandas = _pandas()
    index = bars.index
    if not isinstance(index, pandas.DatetimeIndex):
        raise TypeError("history bars need a DatetimeIndex (the layout of velmora5.frames.bars_frame)")
    missing = [name for name in ("open", "high", "low", "close") if name not in bars.columns]
    if missing:
        raise ValueError(f"history bars lack the columns {missing}")
    if index.tz is None:  # without a time zone a moment is UTC
        index = index.tz_localize("UTC")
    times = (index - pandas.Timestamp(0, tz="UTC")) // pandas.Timedelta(seconds=1)
    defaults = {"tick_volume": 1, "spread": 0, "real_volume": 0}
    columns = [bars[name].to_numpy() for name in ("open", "high", "low", "close")]
    counts = [bars[name].to_numpy() if name in bars.columns else [value] * len(bars)
              for name, value in defaults.items()]
    (folder / symbol).mkdir(mode=0o700, parents=True)
    descriptor = os.open(folder / symbol / "M1.csv", os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(descriptor, "w") as out:
        out.write("time,open,high,low,close,tick_volume,spread,real_volume\n")
        for row in zip(times, *columns, *counts):
            prices = ",".join(repr(float(p)) for p in row[1:5])  # shortest form: a price keeps its digits
            out.write(f"{int(row[0])},{prices},{int(row[5])},{int(row[6])},{int(row[7])}\n")


def _pandas_frame(history: Any) -> bool:
    return history is not None and not isinstance(history, (str, os.PathLike))


def _history_settings(history: Union[str, "os.PathLike[str]", "pd.DataFrame", None], symbol: str,
                      root: Optional[Path]) -> Dict[str, Any]:
    if history is None:
        return {}
    if not _pandas_frame(history):
        folder = Path(history)
    else:
        assert root is not None
        folder = root / "history"
        _write_history(history, folder, symbol)
    return {"history": symbol, "history_dir": str(folder.resolve())}


@contextlib.contextmanager
def _sigint_held() -> Iterator[None]:
    """SIGINT blocked while the terminal starts: it keeps the mask, so Ctrl-C
    in the console interrupts the run and not the terminal, which must still
    answer for the result. Stopping it takes SIGTERM."""
    if not hasattr(signal, "pthread_sigmask"):
        yield
        return
    previous = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)


def _progress(enabled: bool, days: float, what: str) -> Any:
    if not enabled:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        return None
    return tqdm(total=round(days, 2), unit="day", desc=what,
                bar_format="{l_bar}{bar}| {n:.2f}/{total:.2f} days [{elapsed}]")


class _Session:
    """The run's terminal, however it is carried: whether it still lives, and
    how the module connects to it again (Ctrl-C in a module call over the
    pipe drops the connection)."""

    def __init__(self, alive: Callable[[], bool], connect: Callable[[], Any]):
        self.alive = alive
        self.connect = connect


@contextlib.contextmanager
def _engine_session(keys: Dict[str, Any], balance: float, history: Any, symbol: str) -> Iterator[_Session]:
    with contextlib.ExitStack() as stack:
        # A folder only for a DataFrame's files: a run from a folder leaves nothing to remove.
        root = Path(stack.enter_context(tempfile.TemporaryDirectory(prefix="vl5"))) if _pandas_frame(history) else None
        keys = {**keys, **_history_settings(history, symbol, root)}
        with sim.embedded(balance=balance, **keys):
            yield _Session(lambda: True, velmora5.initialize)


@contextlib.contextmanager
def _pipe_session(keys: Dict[str, Any], balance: float, history: Any, symbol: str) -> Iterator[_Session]:
    # The plugin's machinery starts private terminals; it takes a MonkeyPatch
    # for the environment variables that point into its folders.
    import pytest
    from velmora5.testing import TerminalFactory

    environment = pytest.MonkeyPatch()
    factory: Optional[TerminalFactory] = None
    try:
        factory = TerminalFactory(environment)
        keys = {**keys, **_history_settings(history, symbol, factory.root)}
        with _sigint_held():
            terminal = factory(balance=balance, **keys)
        yield _Session(lambda: terminal.process.poll() is None, terminal.connect)
    finally:
        if factory is not None:
            factory.cleanup()
        environment.undo()


_SESSIONS = {"engine": _engine_session, "pipe": _pipe_session}


def run(strategy: Callable[[Any], Any], symbol: str, timeframe: int, start: Moment, end: Moment, *,
        history: Union[str, "os.PathLike[str]", "pd.DataFrame", None] = None, seed: int = 1,
        balance: float = 10_000, settings: Optional[Mapping[str, Any]] = None,
        progress: bool = True, transport: str = "engine") -> BacktestResult:
    """Backtests `strategy` on `symbol` from `start` to `end` (moments as
    ``frames.to_seconds`` takes them; without a time zone UTC).

    A private terminal64 (market `seed`, login account with `balance`,
    stepped clock at `start`) is started; after each bar of `timeframe` that
    completes by `end`, ``strategy(vl)`` is called with the connected module.
    The clock does not pass `end`: it stops at the last bar end before it
    (or, over a market closed at `end`, at the last bar end of the closed
    time, where a last equity sample is taken); only a market closed for
    more than four days up to `end` is stepped over to its reopening.
    `history`: a folder in terminal64's history layout
    (``<folder>/<SYMBOL>/M1.csv``) or a DataFrame of M1 bars as
    ``frames.bars_frame`` gives them (prices with at most the symbol's
    digits); `symbol` then trades on it. `settings`: further terminal64 keys
    (as the ``vl5_terminal`` fixture takes them).

    `transport`: "engine" (the default) runs terminal64's engine inside this
    process (``sim.embedded``), so requests cost no process wake-up;
    "pipe" starts the terminal64 program and talks to it over its pipe, as
    to a live terminal. Both give the same deals, orders and equity.

    The terminal and its folders are removed at the end, also when the
    strategy raises (the exception goes on) or Ctrl-C stops the run (the
    result then has ``partial`` set). Raises ``velmora5.testing.TerminalError``
    when the terminal cannot start, ``velmora5.sim.SimError`` when a step
    fails or the engine refuses its settings.
    """
    pandas = _pandas()
    first, last = to_seconds(start), to_seconds(end)
    if last <= first:
        raise ValueError(f"the run ends ({end!r}) before it starts ({start!r})")
    _check_run_arguments(symbol, timeframe)
    if transport not in _SESSIONS:
        raise ValueError(f"transport must be one of {sorted(_SESSIONS)}, not {transport!r}")
    keys = {"seed": seed, **dict(settings or {}), "clock": first, "stepped": True}
    bar = None
    try:
        with _SESSIONS[transport](keys, balance, history, symbol) as session:
            bar = _progress(progress, (last - first) / 86400, f"{symbol} {sim._timeframe_name(timeframe)}")
            return _run_steps(strategy, symbol, timeframe, first, last, session, bar, pandas)
    finally:
        if bar is not None:
            bar.close()


def _check_run_arguments(symbol: Any, timeframe: Any) -> None:
    if timeframe not in _TIMEFRAMES:
        raise ValueError(f"timeframe {timeframe!r} is not a TIMEFRAME_* value")
    if not isinstance(symbol, str):
        raise TypeError(f"symbol must be str, not {type(symbol).__name__}")


def _run_steps(strategy: Callable[[Any], Any], symbol: str, timeframe: int, first: int, last: int,
               session: _Session, bar: Any, pandas: Any) -> BacktestResult:
    times: List[datetime.datetime] = [sim.now()]
    values: List[float] = [_equity()]
    exposed: List[bool] = []
    calls, clock, partial = 0, times[0], False

    def sample(moment: datetime.datetime) -> None:
        times.append(moment)
        values.append(_equity())
        exposed.append(bool(velmora5.positions_total()))

    try:
        for clock, completed in _steps(symbol, timeframe, first, last):
            if completed:
                strategy(velmora5)
                calls += 1
                sample(clock)
            if bar is not None:
                bar.update((clock - _utc(first)).total_seconds() / 86400 - bar.n)
        if clock > times[-1]:  # the steps over a closed market after the last bar
            sample(clock)
        if bar is not None:
            bar.update(bar.total - bar.n)
    except KeyboardInterrupt:
        # What was done lives in the terminal: without it there is no result.
        if not session.alive():
            raise
        partial = True
        if velmora5.terminal_info() is None:  # Ctrl-C in a module call drops its connection
            session.connect()
    deals = _records_frame(velmora5.history_deals_get(0, _LAST_DATE), velmora5.TradeDeal, "history_deals_get")
    orders = _records_frame(velmora5.history_orders_get(0, _LAST_DATE), velmora5.TradeOrder, "history_orders_get")
    equity = pandas.Series(values, index=pandas.DatetimeIndex(times, name="time"), name="equity")
    stats = {**statistics(equity, deals, exposed), "bars": calls}
    return BacktestResult(deals, orders, equity, stats, partial, symbol, timeframe)


def _utc(seconds: int) -> datetime.datetime:
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)


def _steps(symbol: str, timeframe: int, start: int, last: int) -> Iterator[Tuple[datetime.datetime, bool]]:
    """Moves the clock from `start` to the end of each bar of `symbol` that
    completes by `last`, never past it, and yields (moment, whether a bar
    with ticks completed there).

    Far from `last` the terminal steps over a closed market at once
    (``sim.next_bar``); within CLOSE_TO_END of it the steps go bar by bar,
    so that a market still closed at `last` is not walked into its reopening.
    """
    now = start
    while True:
        opened = sim._bar_open(now, timeframe)
        ends = sim._bar_end(opened, timeframe)
        if ends > last:
            return
        if last - now > CLOSE_TO_END:
            try:
                now = sim._next_bar_ms(symbol, timeframe) // 1000
            except sim.SimError as error:
                if error.status == -4 and velmora5.symbol_info(symbol) is not None:
                    return  # the market (a loaded history) ends
                raise
            if now > last:  # closed for longer than CLOSE_TO_END
                return
            yield _utc(now), True
        else:
            reached = sim.advance_to(ends)
            bars = velmora5.copy_rates_range(symbol, timeframe, opened, ends - 1)
            if bars is None:
                raise sim.SimError(f"copy_rates_range failed: {velmora5.last_error()}")
            yield reached, len(bars) > 0
            now = to_seconds(reached)


def _equity() -> float:
    account = velmora5.account_info()
    if account is None:
        raise sim.SimError(f"account_info failed: {velmora5.last_error()}")
    return float(account.equity)
