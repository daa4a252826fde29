"""Prints the ticks of a symbol as they arrive, for a number of seconds.

    python3 examples/poll_ticks.py [--terminal PATH] [--symbol EURUSD] [--seconds 5]

The module has no callbacks: the loop asks for the ticks since the last one
it saw. Queries start at whole seconds, so ticks already seen are dropped by
their millisecond time.
"""
import argparse
import datetime
import sys
import time

import velmora5 as vl


def poll(symbol, seconds, interval=0.1):
    last = vl.symbol_info_tick(symbol)
    if last is None:
        print("symbol_info_tick failed:", vl.last_error())
        return None
    seen = last.time_msc
    received = 0
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        time.sleep(interval)
        ticks = vl.copy_ticks_from(symbol, seen // 1000, 10_000, vl.COPY_TICKS_ALL)
        if ticks is None:
            print("copy_ticks_from failed:", vl.last_error())
            return None
        for tick in ticks[ticks["time_msc"] > seen]:
            when = datetime.datetime.fromtimestamp(tick["time_msc"] / 1000, datetime.timezone.utc)
            print(f"{when:%H:%M:%S.%f}"[:-3], f"bid {tick['bid']}", f"ask {tick['ask']}")
            seen = int(tick["time_msc"])
            received += 1
    return received


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--terminal", help="path of the terminal program")
    parser.add_argument("--symbol", default="EURUSD")
    parser.add_argument("--seconds", type=float, default=5.0)
    args = parser.parse_args(argv)
    if not (vl.initialize(args.terminal) if args.terminal else vl.initialize()):
        print("initialize failed:", vl.last_error())
        return 1
    try:
        received = poll(args.symbol, args.seconds)
    finally:
        vl.shutdown()
    if received is None:
        return 1
    print(f"{received} ticks in {args.seconds:g} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
