"""How long terminal64 takes to start with a year of minute bars loaded from
a CSV file, against the same terminal starting without it, in the same run,
and how much more memory it holds then (a bar takes 64 bytes in memory).

    python bench/history_files_bench.py [--terminal PATH] [--rounds N]
"""
import argparse
import os
import random
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

from velmora5.terminal import executable_path

YEAR_START = 1704067200  # 2024-01-01 00:00 UTC, a Monday


def write_year(path, start=YEAR_START, days=366):
    """Every minute of 2024 (or of `days` from `start`) that a currency
    trades (Sunday 22:00 to Friday 22:00)."""
    rnd = random.Random(5)
    price, count = 108500, 0
    with open(path, "w") as out:
        out.write("time,open,high,low,close,tick_volume,spread,real_volume\n")
        for minute in range(days * 1440):
            t = start + 60 * minute
            weekday, second = (t // 86400 + 4) % 7, t % 86400  # 0: Sunday
            if weekday == 6 or (weekday == 5 and second >= 79200) or (weekday == 0 and second < 79200):
                continue
            close = price + rnd.randint(-20, 20)
            high, low = max(price, close) + rnd.randint(0, 9), min(price, close) - rnd.randint(0, 9)
            out.write(f"{t},{price / 1e5:.5f},{high / 1e5:.5f},{low / 1e5:.5f},{close / 1e5:.5f},"
                      f"{rnd.randint(1, 300)},{rnd.randint(0, 20)},0\n")
            price, count = close, count + 1
    return count


def start(terminal, root, extra):
    """Seconds until the terminal serves, and its resident memory then (KiB)."""
    env = dict(os.environ, XDG_RUNTIME_DIR=str(root), XDG_DATA_HOME=str(root))
    log = root / "log"
    began = time.perf_counter()
    with open(log, "wb") as out:
        process = subprocess.Popen([terminal, "--idle-exit", "5", *extra], stdout=out, stderr=subprocess.STDOUT,
                                   env=env, stdin=subprocess.DEVNULL)
    try:
        while b"serving" not in log.read_bytes():
            if process.poll() is not None:
                raise SystemExit(f"terminal64 stopped: {log.read_text()}")
            time.sleep(0.002)
        took = time.perf_counter() - began
        status = Path(f"/proc/{process.pid}/status").read_text()
        rss = int(next(line for line in status.splitlines() if line.startswith("VmRSS")).split()[1])
        return took, rss
    finally:
        process.terminate()
        process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--terminal", default=str(executable_path()))
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)
        os.chmod(root, 0o700)
        (root / "history" / "EURUSD").mkdir(parents=True)
        bars = write_year(root / "history" / "EURUSD" / "M1.csv")
        size = (root / "history" / "EURUSD" / "M1.csv").stat().st_size
        plain, loaded = [], []
        for _ in range(args.rounds):  # interleaved, so drift hits both alike
            plain.append(start(args.terminal, root, []))
            loaded.append(start(args.terminal, root, ["--history", "EURUSD", "--history-dir", str(root / "history")]))
    base, load = statistics.median(t for t, _ in plain), statistics.median(t for t, _ in loaded)
    extra_kib = statistics.median(r for _, r in loaded) - statistics.median(r for _, r in plain)
    print(f"{bars} M1 bars, {size / 1e6:.1f} MB of CSV")
    print(f"start without history: {base * 1000:.0f} ms (median of {args.rounds})")
    print(f"start with the year:   {load * 1000:.0f} ms, {load / base:.1f}x; loading took {(load - base) * 1000:.0f} ms")
    print(f"memory held for it:    {extra_kib / 1024:.1f} MiB ({extra_kib * 1024 / bars:.0f} bytes a bar)")


if __name__ == "__main__":
    main()
