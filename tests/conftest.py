"""Shared test machinery.

- Isolation: every test gets its own XDG_RUNTIME_DIR (where pipes live) and
  XDG_DATA_HOME (where data folders are probed); the module reads both at each
  connect, so monkeypatching the environment is enough. XDG_CACHE_HOME, where
  terminals keep daily bars for later ones, is one folder for the whole run:
  never the user's own, and each day is computed once per run.
- The scripted peer runs in a process of its own: the module never releases
  the interpreter lock while it waits on the pipe, so an in-process peer would
  deadlock.
- Frame builders, so that tests read as the bytes they exchange.
- A reference-leak check that repeats a call and compares object counts.
"""
import gc
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import tracemalloc
from pathlib import Path

import pytest

import velmora5

REPO = Path(__file__).resolve().parent.parent


# ---- wire frames -------------------------------------------------------------

CMD_VERSION = 1
CMD_HELLO = 4
CMD_LOGIN = 5
CMD_STATE = 109

STATE_READY = 2
STATE_AUTH_FAILED = 3


def u32(value):
    return struct.pack("<I", value)


def counted(text):
    """A counted string: unit count, then UTF-16LE units, no terminator."""
    units = text.encode("utf-16-le", "surrogatepass")
    return u32(len(units) // 2) + units


def frame(body):
    """Prefixes a frame body with its length."""
    return u32(len(body)) + body


def request(command, payload=b""):
    return frame(u32(command) + payload)


def reply(echo, status, data=b""):
    return frame(struct.pack("<Ii", echo, status) + data)


def value_reply(echo, value, status=0):
    return reply(echo, status, u32(value))


def hello_reply(build=2400, status=0):
    return value_reply(CMD_HELLO, build, status)


def state_reply(state):
    return value_reply(CMD_STATE, state)


def login_reply(status=0):
    return reply(CMD_LOGIN, status)


def version_reply(first, second, text, status=1, echo=CMD_VERSION):
    return reply(echo, status, struct.pack("<ii", first, second) + counted(text))


HELLO_REQUEST = request(CMD_HELLO, u32(3) + counted("Python"))
STATE_REQUEST = request(CMD_STATE)
VERSION_REQUEST = request(CMD_VERSION, u32(0))


def login_request(login, password="", server=""):
    return request(CMD_LOGIN, struct.pack("<IQ", 0, login) + counted(password) + counted(server))


# Script lines of a session that connects and is ready at once.
READY = [hello_reply(), state_reply(STATE_READY)]

# ---- the scripted peer ------------------------------------------------------------


class PeerLog:
    """The log a scripted peer writes: one line per event, one hex line per request."""

    def __init__(self, path):
        self.path = Path(path)

    def lines(self):
        try:
            return self.path.read_text().splitlines()
        except FileNotFoundError:
            return []

    def requests(self):
        """Every request received, in order, as bytes (also those past the script)."""
        found = []
        for line in self.lines():
            word = line.split(" ")[-1]
            if line.startswith("unexpected ") or (line and all(c in "0123456789abcdef" for c in line)):
                found.append(bytes.fromhex(word))
        return found

    def wait_for(self, *prefixes, timeout=5.0):
        """Waits until a line starts with one of `prefixes`; returns that line."""
        deadline = time.monotonic() + timeout
        while True:
            for line in self.lines():
                if line.startswith(prefixes):
                    return line
            if time.monotonic() > deadline:
                raise AssertionError(f"peer log has no {prefixes}: {self.lines()}")
            time.sleep(0.01)

    def args(self):
        """The command-line arguments the peer was started with."""
        return self.wait_for("args").split(" ")[1:]


def script_text(steps):
    """Script lines: bytes become `reply HEX`, text is taken as written."""
    return "".join((f"reply {s.hex()}" if isinstance(s, bytes) else s) + "\n" for s in steps)


class Peer(PeerLog):
    """A scripted peer started by the test, serving the pipe of `exe`."""

    def __init__(self, binary, folder, exe, steps):
        folder.mkdir(parents=True, exist_ok=True)
        super().__init__(folder / "peer.log")
        self.exe = str(exe)
        script = folder / "peer.script"
        script.write_text(script_text(steps))
        self.process = subprocess.Popen(
            [str(binary), "--exe", self.exe, "--script", str(script), "--log", str(self.path),
             "--lifetime", "20"],  # a call left waiting for a reply fails within that
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        line = self.wait_for("listening", "listen failed")
        assert line.startswith("listening"), line

    def finish(self):
        """Disconnects the module and returns every request the peer received."""
        velmora5.shutdown()
        self.wait_for("done", "disconnect")
        return self.requests()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


class Installation(PeerLog):
    """A folder holding a copy of the peer as `terminal64`, for initialize to launch.

    The launched copy serves the pipe of its own path and reads `peer.script`
    beside itself.
    """

    def __init__(self, binary, folder, steps):
        folder.mkdir(parents=True, exist_ok=True)
        super().__init__(folder / "peer.log")
        self.folder = folder
        self.exe = str(folder / "terminal64")
        shutil.copy2(binary, self.exe)
        (folder / "peer.script").write_text(script_text(steps))


@pytest.fixture(scope="session")
def peer_binary():
    given = os.environ.get("VL5_SCRIPTED_PEER")
    if given:
        return Path(given)
    build = REPO / "build" / "peer"
    for command in (["cmake", "-S", str(REPO), "-B", str(build), "-DVL5_PYTHON=OFF", "-DVL5_TESTS=ON"],
                    ["cmake", "--build", str(build), "--target", "scripted_peer", "-j2"]):
        done = subprocess.run(command, capture_output=True, text=True)
        assert done.returncode == 0, done.stdout + done.stderr
    found = sorted(build.rglob("scripted_peer"), key=lambda p: p.stat().st_mtime)
    found = [p for p in found if p.is_file() and os.access(p, os.X_OK)]
    assert found, "scripted_peer was not built"
    return found[-1]


def _processes_running_from(folder):
    """Ids of the processes whose executable lies under `folder`."""
    folder = str(folder)
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                exe = os.readlink(f"/proc/{entry}/exe")
            except OSError:
                continue
            if exe.startswith(folder + "/"):
                yield int(entry)


@pytest.fixture(scope="session")
def cache_home(tmp_path_factory):
    folder = tmp_path_factory.mktemp("cache")
    folder.chmod(0o700)
    return folder


@pytest.fixture(autouse=True)
def isolated(tmp_path, monkeypatch, cache_home):
    # Socket paths are limited to about 107 bytes, too short for tmp_path plus
    # a 77-character pipe name, so the runtime folder is a short one of its own.
    runtime = Path(tempfile.mkdtemp(prefix="vl5-", dir="/tmp"))
    data = tmp_path / "data"
    data.mkdir()
    monkeypatch.setenv("XDG_RUNTIME_DIR", str(runtime))
    monkeypatch.setenv("XDG_DATA_HOME", str(data))
    monkeypatch.setenv("XDG_CACHE_HOME", str(cache_home))
    velmora5.shutdown()
    yield
    velmora5.shutdown()
    # Terminals launched by initialize are detached; they are found by the
    # place their executable was copied to.
    for pid in _processes_running_from(tmp_path):
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass
    shutil.rmtree(runtime, ignore_errors=True)


@pytest.fixture
def start_peer(peer_binary, tmp_path):
    """start_peer(steps, exe=None) -> Peer serving the pipe of `exe`.

    `exe` defaults to a terminal path inside tmp_path that need not exist.
    """
    started = []

    def start(steps, exe=None):
        folder = tmp_path / f"peer{len(started)}"
        peer = Peer(peer_binary, folder, exe or tmp_path / "terminal" / "terminal64", steps)
        started.append(peer)
        return peer

    yield start
    for peer in started:
        peer.stop()


@pytest.fixture
def connected(start_peer):
    """connected(steps=(), **initialize_kwargs) -> Peer: initialize() against a peer
    that answers hello and one ready poll, then runs `steps`."""

    def connect(steps=(), **kwargs):
        peer = start_peer(READY + list(steps))
        assert velmora5.initialize(peer.exe, **kwargs) is True, velmora5.last_error()
        assert velmora5.last_error() == (1, "Success")
        assert peer.requests() == [HELLO_REQUEST, STATE_REQUEST]
        return peer

    return connect


@pytest.fixture
def install(peer_binary, tmp_path):
    """install(name, steps) -> Installation: a terminal for initialize to launch."""

    def make(name, steps):
        return Installation(peer_binary, tmp_path / name, steps)

    return make


def run_python(code, *args, timeout=30):
    """Runs `code` in a fresh interpreter with the test's environment; returns stdout."""
    done = subprocess.run([sys.executable, "-c", code, *args], capture_output=True, text=True,
                          timeout=timeout)
    assert done.returncode == 0, done.stderr
    return done.stdout


# ---- reference leaks -----------------------------------------------------------


def _live_counts():
    gc.collect()
    return len(gc.get_objects()), sys.getallocatedblocks(), tracemalloc.get_traced_memory()[0]


@pytest.fixture
def assert_no_leak():
    """assert_no_leak(call, repeat=1000): `call()` repeated must not grow the
    number of live objects, allocated blocks or traced memory in proportion
    to the repetitions."""

    def check(call, repeat=1000):
        tracemalloc.start()
        try:
            for _ in range(50):  # caches and interned values settle first
                call()
            objects, blocks, memory = _live_counts()
            for _ in range(repeat):
                call()
            objects_after, blocks_after, memory_after = _live_counts()
        finally:
            tracemalloc.stop()
        # One leaked object per call shows as `repeat` objects or blocks and
        # at least 16 bytes each; the allowance absorbs incidental noise.
        assert objects_after - objects < repeat // 10, (objects, objects_after)
        assert blocks_after - blocks < repeat // 10, (blocks, blocks_after)
        assert memory_after - memory < repeat * 4, (memory, memory_after)

    return check
