"""Typed trade requests: mypy flags every deliberate mistake of
tests/typecheck/order_requests.py (the lines ending in "# wrong") and nothing
else, and the literal types hold exactly the values of their constants."""
import os
import re
import site
import subprocess
import sys
import typing
from pathlib import Path

import pytest

import velmora5
from velmora5 import constants, order_request

pytest.importorskip("mypy")

SAMPLE = Path(__file__).resolve().parent / "typecheck" / "order_requests.py"


def test_mypy_flags_each_mistake_and_nothing_else(tmp_path):
    package_root = Path(velmora5.__file__).resolve().parent.parent
    env = dict(os.environ)
    if str(package_root) not in {str(Path(p).resolve()) for p in site.getsitepackages()}:
        env["MYPYPATH"] = str(package_root)
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(SAMPLE)],
                          capture_output=True, text=True, cwd=tmp_path, env=env, timeout=300)
    flagged = {int(n) for n in re.findall(r"^[^\n]*order_requests\.py:(\d+): error:", done.stdout, re.M)}
    expected = {n for n, line in enumerate(SAMPLE.read_text().splitlines(), 1) if line.endswith("# wrong")}
    assert len(expected) >= 15
    assert flagged == expected, done.stdout + done.stderr


@pytest.mark.parametrize("alias, prefix, leave_out", [
    (order_request.TradeAction, "TRADE_ACTION_", ()),
    (order_request.OrderType, "ORDER_TYPE_", ("ORDER_TYPE_CLOSE_BY",)),  # only the terminal books it
    (order_request.OrderFilling, "ORDER_FILLING_", ()),
    (order_request.OrderTime, "ORDER_TIME_", ()),
])
def test_literals_are_the_constants(alias, prefix, leave_out):
    values = {value for name, value in vars(constants).items() if name.startswith(prefix) and name not in leave_out}
    assert set(typing.get_args(alias)) == values
