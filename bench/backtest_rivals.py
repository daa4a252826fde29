"""The SMA rule of examples/test_sma_strategy.py (its own `target`) on two
backtesting libraries from PyPI, over M15 bars in a DataFrame. Each runner
returns the side decided at every bar from the 49th on (the first with 48
closed bars before the next one opens) and the wall seconds of the whole run,
feed and set-up included. Orders fill at the next bar's open, as a market
order sent at a bar's end fills in the terminal; one position, long or short,
10,000 units (0.1 lot).

    pip install -r bench/requirements-backtest.txt
"""
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
from test_sma_strategy import SLOW, target  # noqa: E402

UNITS = 10_000
CASH = 1_000_000  # enough for the position without leverage, which the two model differently


def m15_bars(m1_csv, first_second, end_second):
    """The M1 file merged into M15 bars opening in [first_second, end_second),
    as terminal64 merges loaded minutes: bars without minutes left out."""
    import pandas as pd

    m1 = pd.read_csv(m1_csv)
    m1 = m1[(m1["time"] >= first_second) & (m1["time"] < end_second)]
    m1.index = pd.to_datetime(m1["time"], unit="s")
    m15 = m1.resample("15min", label="left", closed="left").agg(
        {"open": "first", "high": "max", "low": "min", "close": "last", "tick_volume": "sum"})
    return m15.dropna().rename(columns={"tick_volume": "volume"})


def run_backtesting(bars):
    from backtesting import Backtest, Strategy

    sides = []

    class Sma(Strategy):
        def init(self):
            pass

        def next(self):
            if len(self.data) <= SLOW:
                return
            side = target(np.asarray(self.data.Close[-SLOW:]))
            sides.append(side)
            if side > 0 and not self.position.is_long:
                self.position.close()
                self.buy(size=UNITS)
            elif side < 0 and not self.position.is_short:
                self.position.close()
                self.sell(size=UNITS)

    import backtesting.backtesting as engine

    progress = engine._tqdm
    engine._tqdm = lambda steps, **_: steps  # no progress bar: the run as without tqdm installed
    try:
        began = time.perf_counter()
        frame = bars.rename(columns=str.capitalize)
        Backtest(frame, Sma, cash=CASH, commission=0.0, finalize_trades=True).run()
        return sides, time.perf_counter() - began
    finally:
        engine._tqdm = progress


def run_backtrader(bars):
    import backtrader as bt

    sides = []

    class Sma(bt.Strategy):
        def next(self):
            if len(self.data) <= SLOW:
                return
            side = target(np.asarray(self.data.close.get(size=SLOW)))
            sides.append(side)
            held = self.position.size
            if (side > 0 and held <= 0) or (side < 0 and held >= 0):
                self.order_target_size(target=side * UNITS)

    began = time.perf_counter()
    cerebro = bt.Cerebro(stdstats=False)  # no observers: the lightest run it offers
    cerebro.adddata(bt.feeds.PandasData(dataname=bars))
    cerebro.addstrategy(Sma)
    cerebro.broker.setcash(CASH)
    cerebro.run()
    return sides, time.perf_counter() - began
