"""pytest fixtures that run strategies against a private simulated terminal.

Installed as a pytest plugin (entry point ``pytest11``), so a test only names
the fixture:

``vl5``
    The ``velmora5`` module, connected to a fresh terminal64 whose market and
    clock are fixed (seed 1, clock frozen at ``FROZEN``), so the same test
    gives the same numbers on every run. ``@pytest.mark.vl5(seed=7, ...)``
    changes its settings (the keywords of ``vl5_terminal``).

``vl5_terminal``
    A factory: ``vl5_terminal(seed=..., clock=..., ...)`` starts a terminal
    with the settings a test wants and returns its ``SimulatedTerminal``;
    ``vl5_terminal.install()`` only prepares a private copy of the program.

Every terminal runs in throw-away folders of its own: a runtime folder for
its pipe and a data folder (``XDG_RUNTIME_DIR`` and ``XDG_DATA_HOME`` point
there for the duration of the test). After the test, also a failed one, the
module is disconnected, each terminal is asked to stop (SIGTERM), killed if
it does not within ``STOP_TIMEOUT`` seconds, and the folders are removed.
"""
from __future__ import annotations

import datetime
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Any, Dict, Iterator, List, Mapping, Optional

import pytest

import velmora5
from velmora5.terminal import TerminalError, account_changes, command_line, executable_path, with_accounts

__all__ = ["FROZEN", "SimulatedTerminal", "TerminalFactory", "TerminalError", "vl5", "vl5_terminal"]

# Tuesday 2024-03-05 14:30:00 UTC: a working day, every market open.
FROZEN = int(datetime.datetime(2024, 3, 5, 14, 30, tzinfo=datetime.timezone.utc).timestamp())
DEFAULTS: Dict[str, Any] = {"seed": 1, "clock": FROZEN}
START_TIMEOUT = 30.0
STOP_TIMEOUT = 10.0
# Without clients for this long a terminal stops by itself: the last resort
# when the test process dies before its clean-up runs.
IDLE_EXIT = 300
_SOCKET_PATH_MAX = 107

def _terminals_of(folders: List[Path]) -> Iterator[int]:
    """Ids of the terminals that belong to the test's `folders` (Linux): run
    from a program under one of them, or started with its runtime or data
    folder one of them or under one, such as the bundled terminal that a
    script's initialize() launched. The folder itself counts, not only what
    lies below it: a long temporary folder gets a runtime folder of its own."""
    roots = [os.fsencode(str(folder)) for folder in folders]

    def within(path: bytes) -> bool:
        return any(path == root or path.startswith(root + os.sep.encode()) for root in roots)

    try:
        entries = os.listdir("/proc")
    except OSError:
        return
    for entry in entries:
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            exe = os.fsencode(os.readlink(f"/proc/{entry}/exe"))
            if within(exe):
                yield int(entry)
            elif os.path.basename(exe).startswith(b"terminal64"):
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    variables = environ.read().split(b"\0")
                if any(within(v.split(b"=", 1)[1]) for v in variables
                       if v.startswith((b"XDG_RUNTIME_DIR=", b"XDG_DATA_HOME="))):
                    yield int(entry)
        except OSError:
            continue


class SimulatedTerminal:
    """One running terminal64: its program, pipe address, data folder and process."""

    def __init__(self, exe: Path, data_path: Path, process: "subprocess.Popen[bytes]", address: str,
                 log: Path):
        self.exe = exe
        self.data_path = data_path
        self.process = process
        self.address = address
        self.log = log

    @property
    def path(self) -> str:
        """The program's path as ``initialize`` takes it."""
        return str(self.exe)

    def connect(self, **kwargs: Any) -> None:
        """``initialize`` this terminal (keywords as ``initialize`` takes them)."""
        if not velmora5.initialize(self.path, **kwargs):
            raise TerminalError(f"initialize failed: {velmora5.last_error()}")

    def stop(self, timeout: Optional[float] = None) -> Optional[int]:
        """Disconnects the module, stops the terminal (SIGTERM, then a kill
        after `timeout` seconds, STOP_TIMEOUT by default) and returns its
        exit status."""
        velmora5.shutdown()
        if self.process.poll() is None:
            self.process.terminate()
            try:
                return self.process.wait(timeout=STOP_TIMEOUT if timeout is None else timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
        return self.process.wait()


class TerminalFactory:
    """Starts terminals in folders of one test; `cleanup` removes them all."""

    def __init__(self, monkeypatch: pytest.MonkeyPatch, program: Optional[str] = None):
        self.program = Path(program or os.environ.get("VL5_TERMINAL") or executable_path())
        if not self.program.is_file():
            raise TerminalError(f"terminal64 not found at {self.program}")
        self.root = Path(tempfile.mkdtemp(prefix="vl5"))
        self.runtime = self.root / "r"
        self.data_home = self.root / "d"
        for folder in (self.runtime, self.data_home):
            folder.mkdir(mode=0o700)
        # The pipe is a socket in the runtime folder, and a socket path holds
        # at most 107 bytes, 78 of them the pipe's name; a long temporary
        # folder gets a runtime folder of its own under /tmp.
        self._extra: Optional[Path] = None
        if os.name == "posix" and len(os.fsencode(str(self.runtime))) > _SOCKET_PATH_MAX - 78:
            self._extra = self.runtime = Path(tempfile.mkdtemp(prefix="vl5", dir="/tmp"))
        monkeypatch.setenv("XDG_RUNTIME_DIR", str(self.runtime))
        monkeypatch.setenv("XDG_DATA_HOME", str(self.data_home))
        self.terminals: List[SimulatedTerminal] = []
        self._installed = 0

    def install(self) -> Path:
        """A private copy of terminal64 (its own pipe and data folder); returns its path."""
        folder = self.root / f"t{self._installed}"
        self._installed += 1
        folder.mkdir()
        exe = folder / self.program.name
        shutil.copy2(self.program, exe)
        return exe

    def _data_dir_args(self, exe: Path) -> List[str]:
        """On Windows the data folder is named explicitly: the application data
        folder the terminal would register in is the user's own, not the test's."""
        return [] if os.name == "posix" else ["--data-dir", str(self.data_home / exe.parent.name)]

    def register(self, exe: Path) -> Path:
        """Runs ``exe --register`` and returns the data folder it wrote."""
        done = subprocess.run([str(exe), "--register", *self._data_dir_args(exe)], capture_output=True,
                              timeout=START_TIMEOUT, stdin=subprocess.DEVNULL)
        if done.returncode != 0:
            raise TerminalError(f"{exe} --register failed: {done.stderr.decode(errors='replace')}")
        if os.name != "posix":
            return self.data_home / exe.parent.name
        origin = "\ufeff" + str(exe.parent)
        for folder in (self.data_home / "Orbisco" / "Terminal").iterdir():
            try:
                if (folder / "origin.txt").read_bytes().decode("utf-16-le") == origin:
                    return folder
            except (OSError, UnicodeDecodeError):
                continue
        raise TerminalError(f"no data folder names {exe.parent}")

    def __call__(self, *, connect: bool = True, balance: Optional[float] = None,
                 accounts: Optional[Mapping[int, Mapping[str, Any]]] = None, exe: Optional[Path] = None,
                 **settings: Any) -> SimulatedTerminal:
        """Starts a terminal and, unless ``connect=False``, initializes the module with it.

        ``settings`` are terminal64's own keys with underscores: ``seed``,
        ``clock`` (a moment as ``frames.to_seconds`` takes it, or "live"),
        ``clock_speed``, ``build``, ``maxbars``, ``login``, ``trade_allowed``,
        ``trade_api_disabled``, ``idle_exit`` and any other key terminal64 takes.
        ``accounts`` maps a login to account keys (``password``, ``server``,
        ``name``, ``balance``, ``leverage``, ``otp``) to change or add;
        ``balance`` is a shorthand for the balance of the login account.
        """
        exe = exe or self.install()
        data_path = self.register(exe)
        changes = account_changes(accounts, balance, settings)
        if changes:
            ini = data_path / "config" / "terminal.ini"
            ini.write_text(with_accounts(ini.read_text(encoding="utf-8"), changes), encoding="utf-8")
        settings = {"idle_exit": IDLE_EXIT, **settings}
        command = [str(exe), *command_line(settings), *self._data_dir_args(exe)]
        log = exe.parent / "terminal.log"
        with open(log, "wb") as out:
            process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        terminal = SimulatedTerminal(exe, data_path, process, "", log)
        self.terminals.append(terminal)
        terminal.address = self._wait_serving(terminal)
        if connect:
            terminal.connect()
        return terminal

    @staticmethod
    def _wait_serving(terminal: SimulatedTerminal) -> str:
        """The pipe address from the terminal's first line; fails on a
        warning about its settings or when it exits instead."""
        deadline = time.monotonic() + START_TIMEOUT
        while True:
            text = terminal.log.read_text(errors="replace")
            found = re.search(r"serving (.+)\n", text)
            if found:
                if "terminal.ini" in text:  # a setting it could not take
                    raise TerminalError(text)
                return found.group(1).strip()
            if terminal.process.poll() is not None or time.monotonic() > deadline:
                raise TerminalError(f"terminal64 did not start (status {terminal.process.poll()}): {text}")
            time.sleep(0.01)

    def cleanup(self) -> None:
        velmora5.shutdown()
        for terminal in self.terminals:
            terminal.stop()
        # Terminals that initialize() started on its own are detached: found
        # by where their program lies.
        folders = [folder for folder in (self.root, self._extra) if folder is not None]
        for pid in set(_terminals_of(folders)):
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        for folder in folders:
            shutil.rmtree(folder, ignore_errors=True)


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line("markers", "vl5(**settings): settings of the terminal behind the vl5 fixture")


@pytest.fixture
def vl5_terminal(monkeypatch: pytest.MonkeyPatch) -> Iterator[TerminalFactory]:
    """Factory of private simulated terminals, all stopped and removed after the test."""
    factory = TerminalFactory(monkeypatch)
    try:
        yield factory
    finally:
        factory.cleanup()


@pytest.fixture
def vl5(request: pytest.FixtureRequest, vl5_terminal: TerminalFactory) -> Any:
    """The velmora5 module connected to a deterministic terminal (seed 1, clock
    frozen at FROZEN); ``@pytest.mark.vl5(...)`` overrides the settings."""
    settings = dict(DEFAULTS)
    for mark in reversed(list(request.node.iter_markers("vl5"))):
        settings.update(mark.kwargs)
    vl5_terminal(**settings)
    return velmora5
