"""Finding the terminal: the path argument, the data folders, starting a
terminal that is not running, and the terminal that started Python."""
import hashlib
import os
import shutil
import socket
import subprocess
import sys
import time
from pathlib import Path

import pytest

import velmora5
from conftest import HELLO_REQUEST, READY, STATE_REQUEST

NOT_FOUND = (-10003, "IPC initialize failed, Velmora 5 x64 not found")
TEN, ELEVEN, NOON = 1_700_000_000 + 36_000, 1_700_000_000 + 39_600, 1_700_000_000 + 43_200


def terminal_base():
    return Path(os.environ["XDG_DATA_HOME"]) / "Orbisco" / "Terminal"


def origin_text(install):
    return b"\xff\xfe" + str(install).encode("utf-16-le")


def touch(path, when):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"")
    os.utime(path, (when, when))


def data_folder(name, install, *, vlms=True, accounts=None, ini=None, portable=None, origin=None,
                base=None):
    """A terminal data folder whose origin.txt names `install`."""
    folder = (base or terminal_base()) / name
    folder.mkdir(parents=True)
    if vlms:
        (folder / "VLMS").mkdir()
    if accounts is not None:
        touch(folder / "config" / "accounts.dat", accounts)
    if ini is not None:
        touch(folder / "config" / "terminal.ini", ini)
    if portable is not None:
        touch(folder / "portable.txt", portable)
    (folder / "origin.txt").write_bytes(origin if origin is not None else origin_text(install))
    return folder


@pytest.fixture
def running(start_peer, tmp_path):
    """running(name) -> Peer: a terminal already serving the pipe of
    tmp_path/name/terminal64 (the file exists, as discovery requires)."""

    def start(name, steps=READY):
        exe = tmp_path / name / "terminal64"
        exe.parent.mkdir(exist_ok=True)
        exe.touch()
        return start_peer(steps, exe=exe)

    return start


def connected_to(peer):
    return "connect" in peer.lines()


# ---- a path given by the caller ----------------------------------------------------


@pytest.mark.parametrize("name", ["terminal64", "Términal 価格 \U0001F600", "100%s %d %%"])
def test_missing_path_cannot_be_started(tmp_path, name):
    path = str(tmp_path / "nowhere" / name)
    assert velmora5.initialize(path) is False
    assert velmora5.last_error() == (-10003, f"IPC initialize failed, Process create failed '{path}'")


def test_path_with_a_lone_surrogate_is_reported(tmp_path):
    assert velmora5.initialize(str(tmp_path / "bad\udc80name")) is False
    code, message = velmora5.last_error()
    assert code == -10003
    assert message.startswith("IPC initialize failed, Process create failed '")


def _plain_file(path):
    path.write_bytes(b"not a program")


def _script_without_interpreter(path):
    path.write_bytes(b"\x00\x01garbage")
    path.chmod(0o755)


def foreign_listener(exe):
    """A socket at the pipe address of `exe` that another user listens on
    (its credentials are those of listen()): the module connects, refuses
    that peer and goes on as if no terminal ran; every connection attempt
    stays queued, to be counted."""
    digest = hashlib.sha256(os.path.realpath(exe).lower().encode("utf-16-le")).hexdigest().upper()
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(os.path.join(os.environ["XDG_RUNTIME_DIR"], "VL5.Terminal." + digest))
    os.seteuid(65534)
    try:
        listener.listen(256)  # room for every poll of a launch wait
    finally:
        os.seteuid(0)
    listener.setblocking(False)
    return listener


def connection_attempts(listener):
    count = 0
    while True:
        try:
            listener.accept()[0].close()
        except BlockingIOError:
            return count
        count += 1


@pytest.mark.skipif(not hasattr(os, "geteuid") or os.geteuid() != 0,
                    reason="a listener of another user needs root")
@pytest.mark.parametrize("make", [_plain_file, _script_without_interpreter, Path.mkdir],
                         ids=["not executable", "not a program", "directory"])
def test_existing_path_that_cannot_run(tmp_path, make):
    path = tmp_path / "terminal64"
    make(path)
    with foreign_listener(path) as listener:
        assert velmora5.initialize(str(path)) is False
        assert velmora5.last_error() == (-10003, f"IPC initialize failed, Process create failed '{path}'")
        # One look for a running terminal before the launch; the failed launch
        # is reported at once, not after a wait that polls the pipe.
        assert connection_attempts(listener) == 1


def test_running_terminal_is_connected_without_starting_anything(running, tmp_path):
    peer = running("install")
    assert velmora5.initialize(str(tmp_path / "install" / "terminal64"), portable=True) is True
    assert peer.finish() == [HELLO_REQUEST, STATE_REQUEST]
    assert peer.args()[:2] == ["--exe", peer.exe]


@pytest.mark.parametrize("spelling", ["{i}/./terminal64", "{i}//terminal64", "{i}/../install/terminal64",
                                      "{link}/terminal64"])
def test_equivalent_paths_reach_the_same_pipe(running, tmp_path, spelling):
    peer = running("install")
    (tmp_path / "link").symlink_to(tmp_path / "install")
    path = spelling.format(i=tmp_path / "install", link=tmp_path / "link")
    assert velmora5.initialize(path) is True, velmora5.last_error()
    assert connected_to(peer)


@pytest.mark.parametrize("kwargs, args", [({}, []), ({"portable": True}, ["/portable"]),
                                          ({"portable": 0}, [])])
def test_terminal_started_from_a_path(install, kwargs, args):
    terminal = install("install", READY)
    assert velmora5.initialize(terminal.exe, **kwargs) is True, velmora5.last_error()
    assert terminal.args() == args
    assert terminal.requests() == [HELLO_REQUEST, STATE_REQUEST]


def test_started_terminal_that_listens_late_is_awaited(install):
    terminal = install("install", ["delay 1500"] + READY)
    started = time.monotonic()
    assert velmora5.initialize(terminal.exe) is True, velmora5.last_error()
    assert time.monotonic() - started >= 1.5
    assert terminal.requests() == [HELLO_REQUEST, STATE_REQUEST]


def test_started_terminal_is_detached(install):
    terminal = install("install", READY)
    assert velmora5.initialize(terminal.exe) is True
    pid = next(int(p) for p in os.listdir("/proc") if p.isdigit() and _exe_of(p) == terminal.exe)
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    parent, session = int(fields[1]), int(fields[3])
    assert parent != os.getpid()       # not our child: no zombie is left behind
    assert session != os.getsid(0)     # a session of its own
    # No descriptor of this process is inherited; the terminal's own sockets
    # and pipes are new objects, which this process does not hold.
    ours = set(_open_files(os.getpid()).values()) - {"/dev/null"}
    for fd, target in _open_files(pid).items():
        assert target not in ours, (fd, target)


def _open_files(pid):
    """Descriptor -> what it refers to, for the descriptors that stay open while listed."""
    found = {}
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            found[fd] = os.readlink(f"/proc/{pid}/fd/{fd}")
        except FileNotFoundError:
            pass  # the listing's own descriptor, closed by now
    return found


def _exe_of(pid):
    try:
        return os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return None


# ---- the data folders ---------------------------------------------------------------


def test_no_data_folders():
    assert velmora5.initialize() is False
    assert velmora5.last_error() == NOT_FOUND


def _unusable_folders(tmp_path):
    install = tmp_path / "install"
    install.mkdir()
    (install / "terminal64").touch()
    good = origin_text(install)
    data_folder("no-vlms", install, vlms=False, accounts=TEN)
    data_folder("no-bom", install, origin=str(install).encode("utf-16-le"))
    data_folder("short", install, origin=b"\xff\xfe/\x00x\x00")
    data_folder("newline", install, origin=good + "\r\n".encode("utf-16-le"))
    data_folder("utf8", install, origin=b"\xef\xbb\xbf" + str(install).encode())
    data_folder("nothing-there", tmp_path / "empty")
    data_folder(".hidden", install)
    (terminal_base() / "plain-file").write_bytes(good)
    no_origin = terminal_base() / "no-origin"
    (no_origin / "VLMS").mkdir(parents=True)


def test_unusable_data_folders_are_skipped(tmp_path):
    _unusable_folders(tmp_path)
    assert velmora5.initialize() is False
    assert velmora5.last_error() == NOT_FOUND


def test_usable_folder_among_unusable_ones(tmp_path, running):
    _unusable_folders(tmp_path)
    peer = running("good")
    data_folder("zz-good", tmp_path / "good")
    assert velmora5.initialize() is True, velmora5.last_error()
    assert peer.finish() == [HELLO_REQUEST, STATE_REQUEST]


@pytest.mark.parametrize("first, second, winner", [
    ({"accounts": TEN}, {"ini": ELEVEN}, "b"),
    ({"ini": ELEVEN}, {"accounts": TEN}, "a"),
    ({"accounts": TEN, "ini": NOON}, {"accounts": ELEVEN}, "a"),   # the later of the two files counts
    ({"accounts": NOON, "ini": TEN}, {"ini": ELEVEN}, "a"),
    ({"accounts": TEN}, {"accounts": TEN}, "a"),                    # a tie keeps the first
    ({}, {}, "a"),
    ({}, {"accounts": TEN}, "b"),
    ({"vlms": False, "portable": NOON}, {"accounts": ELEVEN}, "a"),
    ({"portable": TEN, "ini": NOON}, {"accounts": ELEVEN}, "b"),    # portable.txt alone gives the time
    ({"accounts": TEN}, {"accounts": TEN + 1e-4}, "b"),             # sub-second times are compared
])
def test_most_recently_used_installation_wins(tmp_path, running, first, second, winner):
    peers = {name: running(f"install-{name}") for name in "ab"}
    data_folder("a-data", tmp_path / "install-a", **first)
    data_folder("b-data", tmp_path / "install-b", **second)
    assert velmora5.initialize() is True, velmora5.last_error()
    assert peers[winner].finish() == [HELLO_REQUEST, STATE_REQUEST]
    loser = peers["b" if winner == "a" else "a"]
    assert not connected_to(loser)


def test_origin_with_a_trailing_nul_names_the_installation(tmp_path, running):
    # The folder text ends at its first zero unit.
    peer = running("install")
    data_folder("data", tmp_path / "install", origin=origin_text(tmp_path / "install") + b"\x00\x00")
    assert velmora5.initialize() is True, velmora5.last_error()
    assert peer.finish() == [HELLO_REQUEST, STATE_REQUEST]


@pytest.mark.parametrize("xdg", [None, "relative/data", ""])
def test_data_folders_under_home_without_an_absolute_xdg_data_home(tmp_path, monkeypatch, running, xdg):
    home = tmp_path / "home"
    if xdg is None:
        monkeypatch.delenv("XDG_DATA_HOME")
    else:
        monkeypatch.setenv("XDG_DATA_HOME", xdg)
    monkeypatch.setenv("HOME", str(home))
    peer = running("install")
    data_folder("data", tmp_path / "install", accounts=TEN, base=home / ".local/share/Orbisco/Terminal")
    assert velmora5.initialize() is True, velmora5.last_error()
    assert peer.finish() == [HELLO_REQUEST, STATE_REQUEST]


@pytest.mark.parametrize("folder_kind, args", [({"vlms": False, "portable": TEN}, ["/portable"]),
                                               ({"accounts": TEN}, [])])
def test_discovered_terminal_is_started(tmp_path, install, folder_kind, args):
    terminal = install("install", READY)
    data_folder("data", terminal.folder, **folder_kind)
    # The portable argument is not used for a discovered terminal.
    assert velmora5.initialize(portable=not args) is True, velmora5.last_error()
    assert terminal.args() == args
    assert terminal.requests() == [HELLO_REQUEST, STATE_REQUEST]


# ---- the terminal that started Python ------------------------------------------------

CHILD = """
import velmora5
print(velmora5.initialize(), velmora5.last_error())
velmora5.shutdown()
"""


@pytest.mark.parametrize("through_terminal", [True, False])
def test_terminal_that_started_python_wins(tmp_path, running, through_terminal):
    # A copy of the shell stands in as the older installation's terminal and
    # runs Python as its child; without it the newer installation wins.
    older, newer = running("install-old"), running("install-new")
    shell = Path(older.exe)
    shutil.copy2(os.path.realpath("/bin/sh"), shell)
    data_folder("a-new", tmp_path / "install-new", accounts=NOON)
    data_folder("b-old", tmp_path / "install-old", accounts=TEN)
    data_folder("c-newest", tmp_path / "install-new", accounts=NOON + 60)
    child = tmp_path / "child.py"
    child.write_text(CHILD)
    launcher = str(shell) if through_terminal else "/bin/sh"
    # "; exit" keeps the shell from replacing itself with Python.
    done = subprocess.run([launcher, "-c", '"$1" "$2"; exit $?', "sh", sys.executable, str(child)],
                          capture_output=True, text=True, timeout=30)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "True (1, 'Success')"
    assert connected_to(older) == through_terminal
    assert connected_to(newer) != through_terminal
