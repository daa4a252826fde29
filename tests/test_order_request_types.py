"""Typed trade requests: mypy flags every deliberate mistake of
tests/typecheck/order_requests.py (the lines ending in "# wrong") and nothing
else; every constant of a request's families is typed with its family, and
is a plain int at run time."""
import os
import re
import site
import subprocess
import sys
from pathlib import Path

import pytest

import velmora5
from velmora5 import constants

pytest.importorskip("mypy")

SAMPLE = Path(__file__).resolve().parent / "typecheck" / "order_requests.py"
FAMILIES = [("TradeAction", "TRADE_ACTION_"), ("OrderType", "ORDER_TYPE_"), ("OrderFilling", "ORDER_FILLING_"),
            ("OrderTime", "ORDER_TIME_")]
NOT_IN_REQUESTS = {"ORDER_TYPE_CLOSE_BY"}  # only the terminal books it


def family_constants(prefix):
    return {name: value for name, value in vars(constants).items()
            if name.startswith(prefix) and name not in NOT_IN_REQUESTS}


def errors_by_line(output, name):
    return {int(n) for n in re.findall(rf"^[^\n]*{re.escape(name)}:(\d+): error:", output, re.M)}


def test_mypy_flags_each_mistake_and_nothing_else(tmp_path):
    # Each constant assigned to a variable of its family: a constant declared
    # without its family's type is flagged here.
    typed = tmp_path / "family_constants.py"
    typed.write_text("from velmora5 import constants as c\n" + "".join(
        f"{name.lower()}: c.{family} = c.{name}\n" for family, prefix in FAMILIES for name in family_constants(prefix)))
    package_root = Path(velmora5.__file__).resolve().parent.parent
    env = dict(os.environ)
    if str(package_root) not in {str(Path(p).resolve()) for p in site.getsitepackages()}:
        env["MYPYPATH"] = str(package_root)
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(SAMPLE), str(typed)],
                          capture_output=True, text=True, cwd=tmp_path, env=env, timeout=300)
    expected = {n for n, line in enumerate(SAMPLE.read_text().splitlines(), 1) if line.endswith("# wrong")}
    assert len(expected) >= 18
    assert errors_by_line(done.stdout, "order_requests.py") == expected, done.stdout + done.stderr
    assert errors_by_line(done.stdout, typed.name) == set(), done.stdout + done.stderr
    assert len(typed.read_text().splitlines()) == 1 + 6 + 8 + 3 + 4


@pytest.mark.parametrize("family, prefix", FAMILIES)
def test_family_constants_are_plain_ints(family, prefix):
    assert {type(value) for value in family_constants(prefix).values()} == {int}
