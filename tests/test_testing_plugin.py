"""The pytest plugin as a user meets it: the README's strategy test, run twice
in a pytest of its own, passes both times (it asserts exact prices and
balances), and nothing the fixtures started or created is left afterwards,
also after failing tests, a terminal deaf to SIGTERM and one that
initialize() launched on its own."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

from conftest import REPO, _processes_running_from

FAILING = '''
import signal
import subprocess

import velmora5
import velmora5.testing


def test_fails_with_its_terminal_running(vl5):
    assert vl5.positions_total() == 1


def test_fails_with_a_terminal_deaf_to_sigterm(vl5_terminal):
    velmora5.testing.STOP_TIMEOUT = 0.5
    vl5_terminal().process.send_signal(signal.SIGSTOP)
    raise AssertionError("on purpose")


def test_fails_with_a_terminal_that_initialize_started(vl5_terminal):
    exe = vl5_terminal.install()
    subprocess.run([str(exe), "--register"], check=True, capture_output=True)
    assert velmora5.initialize(), velmora5.last_error()
    raise AssertionError("on purpose")


def test_refuses_a_setting_the_terminal_does_not_know(vl5_terminal):
    vl5_terminal(colour="blue")
'''


def readme_test():
    section = (REPO / "README.md").read_text().split("## Testing a strategy", 1)[1]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="processes found through /proc")
def test_the_readme_test_repeats_and_nothing_is_left(tmp_path):
    (tmp_path / "test_strategy.py").write_text(readme_test())
    (tmp_path / "test_failing.py").write_text(FAILING)
    temp = Path(tempfile.mkdtemp(prefix="u", dir="/tmp"))  # where the fixtures make their folders
    try:
        for _ in range(2):
            done = subprocess.run([sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-rA", str(tmp_path)],
                                  capture_output=True, text=True, cwd=tmp_path, timeout=300,
                                  env=dict(os.environ, TMPDIR=str(temp)))
            report = done.stdout + done.stderr
            assert "PASSED test_strategy.py::test_a_round_trip_costs_the_spread" in report, report
            assert "4 failed, 1 passed" in report, report
            assert "terminal64: unknown setting 'colour'" in report
            assert list(temp.iterdir()) == [] and list(_processes_running_from(temp)) == []
    finally:
        shutil.rmtree(temp)


def test_account_settings_change_only_what_they_name():
    from velmora5.testing import TerminalError, _with_accounts

    ini = "; note\n[Terminal]\nseed=1\n\n[Account 10001]\npassword=demo\nbalance=10000\n\n[Account 10002]\nbalance=50000\n"
    changed = _with_accounts(ini, {10001: {"balance": 2500.5, "otp": True}, 20001: {"password": "p=[x]"}})
    assert changed == ("[Terminal]\nseed=1\n\n[Account 10001]\npassword=demo\nbalance=2500.5\notp=1\n\n"
                       "[Account 10002]\nbalance=50000\n\n[Account 20001]\npassword=p=[x]\n")
    for bad in ({"password": "x\nbalance=1e9"}, {"bal ance": 1}):
        with pytest.raises(TerminalError):
            _with_accounts(ini, {10001: bad})
