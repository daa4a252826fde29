"""Every example of the user guide (docs/guide) and of examples/ runs against
private simulated terminals; together the guide's examples call every
function of the module. Run by tests/docs/run.sh, which installs pandas and
matplotlib first.

A page's python blocks run in order in one namespace, against one terminal
started for the page with the vl5 fixture's deterministic settings (not yet
connected: the examples call initialize() as a user would). A block whose
first line is "# file: NAME" is a test file: written out and run by pytest.
"""
import inspect
import linecache
import re
import subprocess
import sys
from pathlib import Path

import pytest

import velmora5
from velmora5 import _core, frames
from velmora5.testing import DEFAULTS

REPO = Path(__file__).resolve().parents[2]
GUIDE = REPO / "docs" / "guide"
EXAMPLES = REPO / "examples"
BLOCK = re.compile(r"^```python\n(.*?)^```", re.M | re.S)
PAGES = sorted(GUIDE.glob("*.md"))


def blocks(page):
    return BLOCK.findall(page.read_text())


def run_pytest(folder, *args):
    done = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", *args], cwd=folder,
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout


@pytest.mark.parametrize("page", PAGES, ids=lambda page: page.stem)
def test_the_examples_of_a_page_run(page, vl5_terminal, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    vl5_terminal(**DEFAULTS, connect=False)
    namespace = {"__name__": "__guide__"}
    for number, code in enumerate(blocks(page), 1):
        first = code.split("\n", 1)[0]
        if first.startswith("# file: "):
            (tmp_path / first[len("# file: "):]).write_text(code)
            run_pytest(tmp_path, first[len("# file: "):])
        else:
            name = f"{page.name}, example {number}"
            linecache.cache[name] = (len(code), None, code.splitlines(True), name)  # for tracebacks
            exec(compile(code, name, "exec"), namespace)
    velmora5.shutdown()


def test_the_guide_calls_every_function():
    code = "\n".join(block for page in PAGES for block in blocks(page))
    called = set(re.findall(r"\b(?:vl|vl5|velmora5)\.(\w+)\(", code))
    functions = {name for name, value in vars(_core).items() if inspect.isbuiltin(value)}
    assert len(functions) == 32 and functions - called == set()
    helpers = {name for name in frames.__all__ if inspect.isfunction(getattr(frames, name))}
    assert helpers - set(re.findall(r"\bframes\.(\w+)\(", code)) == set()


# ---- examples/ ------------------------------------------------------------------------------


def run_example(name, *args):
    done = subprocess.run([sys.executable, str(EXAMPLES / name), *args], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout


def test_the_chart_example_draws_a_png(vl5_terminal, tmp_path):
    terminal = vl5_terminal(**DEFAULTS, connect=False)
    out = tmp_path / "chart.png"
    printed = run_example("chart_signal.py", "--terminal", terminal.path, "--out", str(out))
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert re.match(r"200 bars, \d+ buy and \d+ sell signals drawn to ", printed), printed


def test_the_polling_example_sees_new_ticks(vl5_terminal):
    terminal = vl5_terminal(clock=DEFAULTS["clock"], clock_speed=600, connect=False)
    printed = run_example("poll_ticks.py", "--terminal", terminal.path, "--seconds", "1")
    received = int(re.search(r"^(\d+) ticks in 1 s$", printed, re.M).group(1))
    assert received > 0 and len(printed.splitlines()) == received + 1


def test_the_strategy_example_passes(vl5_terminal):
    assert "4 passed" in run_pytest(EXAMPLES, "test_sma_strategy.py")


def test_the_demo_runs(vl5_terminal):
    """The demo starts the bundled terminal itself; the fixture stops it."""
    printed = run_example("demo.py")
    assert "version: (500, 5100, '5.00 build 5100')" in printed


def test_the_backtest_example_prints_a_summary():
    printed = run_example("backtest_sma.py", "--start", "2024-03-04", "--end", "2024-03-06")
    assert re.search(r"^Backtest EURUSD M15 2024-03-04 00:00 to .* UTC, \d+ bars$", printed, re.M), printed
    assert "net profit" in printed and "last closed trades" in printed


def test_the_sweep_example_prints_the_best_pair(tmp_path):
    printed = run_example("sweep_crossing.py", "--end", "2024-03-09", "--heatmap", str(tmp_path / "map.png"))
    assert re.search(r"^best by Sharpe ratio: fast \d+, slow \d+ \(-?[\d.]+\)$", printed, re.M), printed
    assert len(re.findall(r"^ +\d+ +\d+ ", printed, re.M)) == 6 and (tmp_path / "map.png").exists()
