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


STARTED_BY_INITIALIZE = '''
import os

import velmora5
from velmora5.terminal import executable_path


def test_initialize_starts_the_bundled_terminal(vl5_terminal):
    with open(os.environ["RUNTIME_NOTE"], "w") as note:
        note.write(os.environ["XDG_RUNTIME_DIR"])
    assert velmora5.initialize(executable_path()), velmora5.last_error()
'''


def terminals_with_runtime(folder):
    """Ids of the processes whose XDG_RUNTIME_DIR is `folder`."""
    setting = b"XDG_RUNTIME_DIR=" + os.fsencode(folder)
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/environ", "rb") as environ:
                if setting in environ.read().split(b"\0"):
                    yield int(entry)
        except (OSError, ValueError):
            continue


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="processes found through /proc")
def test_a_terminal_initialize_started_is_stopped_under_a_long_tmpdir(tmp_path):
    """A temporary folder too long for socket paths moves the runtime folder
    elsewhere; what runs there is the test's all the same."""
    temp = tmp_path / ("long" * 10)
    temp.mkdir()
    (tmp_path / "test_started.py").write_text(STARTED_BY_INITIALIZE)
    note = tmp_path / "runtime.txt"
    done = subprocess.run([sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-q", "test_started.py"],
                          capture_output=True, text=True, cwd=tmp_path, timeout=300,
                          env=dict(os.environ, TMPDIR=str(temp), RUNTIME_NOTE=str(note)))
    assert done.returncode == 0, done.stdout + done.stderr
    runtime = note.read_text()
    assert not runtime.startswith(str(temp))
    try:
        assert list(terminals_with_runtime(runtime)) == [] and not os.path.exists(runtime)
    finally:
        for pid in terminals_with_runtime(runtime):
            os.kill(pid, 9)


@pytest.mark.parametrize("ini, changes, expected", [
    ("; note\n[Terminal]\nseed=1\n\n[Account 10001]\npassword=demo\nbalance=10000\n\n[Account 10002]\nbalance=50000\n",
     {10001: {"balance": 2500.5, "otp": True}, 20001: {"password": "p=[x]"}},
     "[Terminal]\nseed=1\n\n[Account 10001]\npassword=demo\nbalance=2500.5\notp=1\n\n"
     "[Account 10002]\nbalance=50000\n\n[Account 20001]\npassword=p=[x]\n\n"),
    # terminal64's syntax: lines trimmed (an indented line is no continuation),
    # only "=" splits, values taken as written, section names and keys without
    # case (the last of equal keys wins, so one is left), [DEFAULT] a section
    # like any other.
    ("\ufeff# n\n[Terminal]\nseed=1\n  idle_exit = 30\n[DEFAULT]\nx=1\n[account 10001]\nname=a: b%c;d\n"
     "  Balance=7\n[Account 10002]\nbalance=1\n[ACCOUNT 10001]\nBALANCE=8\n",
     {10001: {"balance": 5.0, "password": "50%;x:y"}},
     "[Terminal]\nseed=1\nidle_exit=30\n\n[DEFAULT]\nx=1\n\n[account 10001]\nname=a: b%c;d\nBalance=5.0\n"
     "password=50%;x:y\n\n[Account 10002]\nbalance=1\n\n[ACCOUNT 10001]\n\n"),
])
def test_account_settings_change_only_what_they_name(ini, changes, expected):
    from velmora5.terminal import with_accounts as _with_accounts

    assert _with_accounts(ini, changes) == expected


@pytest.mark.parametrize("ini, changes", [
    ("[Account 10001]\n", {10001: {"password": "x\nbalance=1e9"}}),
    ("[Account 10001]\n", {10001: {"bal ance": 1}}),
    ("seed=1\n[Account 10001]\n", {10001: {"balance": 1}}),  # a key before any section
    ("[Account 10001]\nbalance\n", {10001: {"balance": 1}}),  # a line without "="
])
def test_what_cannot_be_read_or_written_is_refused(ini, changes):
    from velmora5.terminal import TerminalError, with_accounts as _with_accounts

    with pytest.raises(TerminalError):
        _with_accounts(ini, changes)
