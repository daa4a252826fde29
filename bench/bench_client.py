"""Client cost of the extension against a plain-Python client of the same
protocol, both talking to one simulated terminal in the same run.

Prints, for a small exchange repeated many times and for a million-bar
query, the wall time and the client's CPU time of each, and the ratio
extension / baseline. A cross-process wake-up costs tens of microseconds on
these machines, so for small exchanges the CPU ratio is the one to read.

    python3 bench/bench_client.py [--repeat N]
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import velmora5
from velmora5.terminal import executable_path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from raw_client import RawClient  # noqa: E402

FROZEN = 1_700_000_000


def start_terminal(folder):
    exe = folder / "terminal64"
    shutil.copy2(executable_path(), exe)
    process = subprocess.Popen([str(exe), "--clock", str(FROZEN), "--idle-exit", "30"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = process.stdout.readline().decode()
    address = re.search(r"serving (.+)$", line.strip()).group(1)
    return exe, process, address


def measure(action, rounds):
    """Median wall, CPU (user + system) and user-only seconds of `action`."""
    samples = []
    for _ in range(rounds):
        wall, usage = time.perf_counter(), resource.getrusage(resource.RUSAGE_SELF)
        action()
        after = resource.getrusage(resource.RUSAGE_SELF)
        user = after.ru_utime - usage.ru_utime
        samples.append((time.perf_counter() - wall, user + after.ru_stime - usage.ru_stime, user))
    return tuple(statistics.median(column) for column in zip(*samples))


def report(name, ours, baseline):
    print(name)
    for label, figures in (("velmora5", ours), ("plain", baseline)):
        print(f"  {label:9}  wall {figures[0] * 1e3:9.2f} ms   cpu {figures[1] * 1e3:9.2f} ms"
              f"   user {figures[2] * 1e3:9.2f} ms")
    ratios = [a / max(b, 1e-9) for a, b in zip(ours, baseline)]
    print(f"  {'ratio':9}  wall {ratios[0]:9.2f}      cpu {ratios[1]:9.2f}      user {ratios[2]:9.2f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=5000, help="small exchanges per round")
    parser.add_argument("--rounds", type=int, default=5)
    options = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="vl5-bench-") as temp:
        folder = Path(temp)
        os.environ["XDG_RUNTIME_DIR"] = str(folder)
        os.environ["XDG_DATA_HOME"] = str(folder / "data")
        exe, process, address = start_terminal(folder)
        try:
            assert velmora5.initialize(str(exe)), velmora5.last_error()
            raw = RawClient(address)
            dtype = velmora5.copy_rates_from_pos("EURUSD", 1, 0, 1).dtype

            def ours_ticks():
                for _ in range(options.repeat):
                    velmora5.symbol_info_tick("EURUSD")

            def plain_ticks():
                for _ in range(options.repeat):
                    raw.symbol_info_tick("EURUSD")

            def ours_bars():
                velmora5.copy_rates_from_pos("EURUSD", 1, 0, 1_000_000)

            def plain_bars():
                raw.copy_rates_from_pos("EURUSD", 1, 0, 1_000_000, dtype)

            for action in (ours_ticks, plain_ticks, ours_bars, plain_bars):
                action()  # warm caches on both sides
            report(f"symbol_info_tick x {options.repeat}", measure(ours_ticks, options.rounds),
                   measure(plain_ticks, options.rounds))
            report("copy_rates_from_pos, 1,000,000 M1 bars", measure(ours_bars, options.rounds),
                   measure(plain_bars, options.rounds))
            raw.close()
        finally:
            velmora5.shutdown()
            process.terminate()
            process.wait(timeout=10)


if __name__ == "__main__":
    main()
