"""Client cost of the extension against a plain-Python client of the same
protocol, both talking to the same server in the same run.

Prints, side by side:
- symbol_info_tick repeated many times and a million-bar query against the
  simulated terminal: wall, CPU (user + system) and user time of each client,
  the rounds of the two clients interleaved so that machine noise hits both;
- symbols_get of 10,000 records against a canned-reply server (records taken
  from the simulated terminal), with the transfer alone into a fresh buffer
  as the floor;
- with --callgrind, the instructions per symbol_info_tick under callgrind
  (bench/callgrind_client.sh), which no machine noise moves.
A cross-process wake-up costs tens of microseconds on these machines, so for
small exchanges the CPU ratio and the instruction counts are the ones to read.

    python3 bench/bench_client.py [--repeat N] [--rounds R] [--callgrind]
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import struct
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


def sample(action):
    wall, usage = time.perf_counter(), resource.getrusage(resource.RUSAGE_SELF)
    action()
    after = resource.getrusage(resource.RUSAGE_SELF)
    user = after.ru_utime - usage.ru_utime
    return time.perf_counter() - wall, user + after.ru_stime - usage.ru_stime, user


def measure(actions, rounds):
    """Per action: median and spread (min-max) of wall, CPU and user seconds,
    the actions' rounds interleaved."""
    samples = [[] for _ in actions]
    for _ in range(rounds):
        for column, action in zip(samples, actions):
            column.append(sample(action))
    return [[(statistics.median(c), min(c), max(c)) for c in zip(*column)] for column in samples]


def report(name, labels, figures, rounds):
    print(f"{name}  ({rounds} interleaved rounds; median [min-max])")
    for label, row in zip(labels, figures):
        cells = "   ".join(f"{what} {m * 1e3:8.2f} [{lo * 1e3:.2f}-{hi * 1e3:.2f}] ms"
                           for what, (m, lo, hi) in zip(("wall", "cpu", "user"), row))
        print(f"  {label:9}  {cells}")
    ours, plain = figures[0], figures[1]
    ratios = "   ".join(f"{what} {a[0] / max(b[0], 1e-9):.3f}" for what, a, b in zip(("wall", "cpu", "user"), ours, plain))
    print(f"  {'ratio':9}  velmora5 / plain: {ratios}")


def canned_symbols(raw, folder, count):
    """A file of `count` symbol records (count first), the terminal's own
    records repeated, and a canned server started on it."""
    body = raw.symbols_get_bytes()
    (n,) = struct.unpack_from("<I", body)
    records = body[4:]
    data = struct.pack("<I", count) + (records * (count // n + 1))[:count * (len(records) // n)]
    path = folder / "symbols.bin"
    path.write_bytes(data)
    exe = folder / "canned" / "terminal64"
    server = subprocess.Popen([sys.executable, str(Path(__file__).resolve().parent / "canned_server.py"), str(exe),
                               str(path)], stdout=subprocess.PIPE)
    address = re.search(r"serving (.+)$", server.stdout.readline().decode().strip()).group(1)
    return exe, server, address


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=5000, help="small exchanges per round")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--symbols", type=int, default=10_000, help="records of the symbols_get reply")
    parser.add_argument("--callgrind", action="store_true", help="also count instructions per small call")
    options = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="vl5-bench-") as temp:
        folder = Path(temp)
        os.environ["XDG_RUNTIME_DIR"] = str(folder)
        os.environ["XDG_DATA_HOME"] = str(folder / "data")
        exe, process, address = start_terminal(folder)
        server = None
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
            report(f"symbol_info_tick x {options.repeat}", ("velmora5", "plain"),
                   measure((ours_ticks, plain_ticks), options.rounds), options.rounds)
            report("copy_rates_from_pos, 1,000,000 M1 bars", ("velmora5", "plain"),
                   measure((ours_bars, plain_bars), options.rounds), options.rounds)

            canned_exe, server, canned_address = canned_symbols(raw, folder, options.symbols)
            raw.close()
            velmora5.shutdown()
            assert velmora5.initialize(str(canned_exe)), velmora5.last_error()
            canned = RawClient(canned_address)
            assert len(velmora5.symbols_get()) == len(canned.symbols_get()) == options.symbols
            figures = measure((velmora5.symbols_get, canned.symbols_get, canned.symbols_get_floor), options.rounds)
            report(f"symbols_get of {options.symbols:,} records (canned server)", ("velmora5", "plain", "floor"),
                   figures, options.rounds)
            ours, plain, floor = (row[0][0] for row in figures)
            print(f"  plain / velmora5 wall: {plain / ours:.1f}x faster;  velmora5 / floor wall: {ours / floor:.1f}x")
            canned.close()
        finally:
            velmora5.shutdown()
            process.terminate()
            process.wait(timeout=10)
            if server is not None:
                server.terminate()
                server.wait(timeout=10)
    if options.callgrind:
        subprocess.run(["bash", str(Path(__file__).resolve().parent / "callgrind_client.sh")], check=True)


if __name__ == "__main__":
    main()
