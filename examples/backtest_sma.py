"""The moving-average strategy of test_sma_strategy.py, backtested over a week.

    python3 examples/backtest_sma.py [--start 2024-03-04] [--end 2024-03-09] [--plot equity.png]

velmora5.backtest.run starts a private terminal64 whose clock stands at the
start and moves a quarter-hour at a time; after each bar the strategy's
``step`` decides on the closed bars, as it would live. Then the terminal is
stopped and the summary printed. Ctrl-C stops early and prints what was done.
"""
import argparse
import os
import sys

import velmora5 as vl
from velmora5 import backtest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_sma_strategy import step  # noqa: E402  (the strategy lives beside its tests)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--start", default="2024-03-04", help="first moment (UTC)")
    parser.add_argument("--end", default="2024-03-09", help="last moment (UTC)")
    parser.add_argument("--seed", type=int, default=1, help="market seed of the simulated terminal")
    parser.add_argument("--plot", help="write equity and drawdown to this PNG")
    args = parser.parse_args()

    result = backtest.run(step, "EURUSD", vl.TIMEFRAME_M15, args.start, args.end, seed=args.seed)
    print(result.summary())
    trades = result.deals[result.deals["entry"] == vl.DEAL_ENTRY_OUT]
    print(f"\nlast closed trades:\n{trades[['time', 'type', 'volume', 'price', 'profit']].tail(5).to_string()}")
    if args.plot:
        result.plot(args.plot)
        print(f"\nequity and drawdown drawn to {args.plot}")


if __name__ == "__main__":
    main()
