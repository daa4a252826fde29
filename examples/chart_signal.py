"""Hourly EURUSD bars with a moving-average crossover signal, drawn to a PNG.

    python3 examples/chart_signal.py [--terminal PATH] [--out chart.png]

Without --terminal it connects to the most recently used terminal (starting
it if needed). Needs pandas and matplotlib.
"""
import argparse
import sys

import matplotlib

matplotlib.use("Agg")  # draws to files, no display needed
import matplotlib.pyplot as plt  # noqa: E402

import velmora5 as vl  # noqa: E402
from velmora5 import frames  # noqa: E402


def crossovers(close, fast=10, slow=30):
    """+1 where the fast average crosses above the slow one, -1 where below, 0 elsewhere."""
    above = close.rolling(fast).mean() > close.rolling(slow).mean()
    valid = close.rolling(slow).mean().notna()
    change = above.astype(int).diff().fillna(0).astype(int)
    return change.where(valid.shift(1, fill_value=False), 0)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--terminal", help="path of the terminal program")
    parser.add_argument("--out", default="chart.png")
    parser.add_argument("--symbol", default="EURUSD")
    args = parser.parse_args(argv)

    connected = vl.initialize(args.terminal) if args.terminal else vl.initialize()
    if not connected:
        print("initialize failed:", vl.last_error())
        return 1
    rates = vl.copy_rates_from_pos(args.symbol, vl.TIMEFRAME_H1, 0, 200)
    vl.shutdown()
    if rates is None:
        print("copy_rates_from_pos failed:", vl.last_error())
        return 1
    bars = frames.bars_frame(rates)
    signal = crossovers(bars["close"])

    figure, axes = plt.subplots(figsize=(10, 5))
    axes.plot(bars.index, bars["close"], color="black", linewidth=1, label="close")
    axes.plot(bars.index, bars["close"].rolling(10).mean(), label="average of 10")
    axes.plot(bars.index, bars["close"].rolling(30).mean(), label="average of 30")
    buys, sells = bars[signal > 0], bars[signal < 0]
    axes.scatter(buys.index, buys["close"], marker="^", color="green", s=80, label="buy", zorder=3)
    axes.scatter(sells.index, sells["close"], marker="v", color="red", s=80, label="sell", zorder=3)
    axes.set_title(f"{args.symbol} H1 (UTC)")
    axes.legend()
    figure.autofmt_xdate()
    figure.savefig(args.out, dpi=80)
    print(f"{len(bars)} bars, {len(buys)} buy and {len(sells)} sell signals drawn to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
