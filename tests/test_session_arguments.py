"""Argument checks of initialize and login: every message, the length limits
of the text classes, and that a refused argument never raises."""
import pytest

import velmora5
from conftest import HELLO_REQUEST, STATE_REQUEST, hello_reply, login_reply, login_request, state_reply

SMILE = "\U0001F600"  # two UTF-16 units

NUMBER = 'Invalid number of arguments'
FIRST = "Invalid 1st unnamed argument"
SECOND = "Invalid 2nd unnamed argument"
THIRD = "Invalid 3rd unnamed argument"


def kw(name):
    return f'Invalid "{name}" argument'


class IntLike:
    def __index__(self):
        return 5


INITIALIZE_REFUSED = [
    (("a", "b"), {}, NUMBER),
    (("a", "b"), {"login": "x"}, NUMBER),          # counted before anything else
    ((1,), {}, FIRST),
    ((b"/bytes",), {}, FIRST),
    ((None,), {}, FIRST),
    (("x" * 258,), {}, FIRST),
    ((SMILE * 129,), {}, FIRST),                   # 258 units
    ((1,), {"login": "x"}, FIRST),                 # positional first
    ((), {"login": "1"}, kw("login")),
    ((), {"login": 1.0}, kw("login")),
    ((), {"login": -1}, kw("login")),
    ((), {"login": 2**64}, kw("login")),
    ((), {"login": IntLike()}, kw("login")),
    ((), {"login": None}, kw("login")),
    ((), {"login": "x", "server": 1}, kw("login")),  # keyword order: login first
    ((), {"server": 1}, kw("server")),
    ((), {"server": "s" * 254}, kw("server")),
    ((), {"server": SMILE * 127}, kw("server")),
    ((), {"server": 1, "password": 1}, kw("server")),
    ((), {"password": b"pw"}, kw("password")),
    ((), {"password": "p" * 254}, kw("password")),
    ((), {"password": "p" * 253 + SMILE}, kw("password")),
    ((), {"password": 1, "timeout": "x"}, kw("password")),
    ((), {"timeout": "1"}, kw("timeout")),
    ((), {"timeout": 1.5}, kw("timeout")),
    ((), {"timeout": -1}, kw("timeout")),
    ((), {"timeout": 2**32}, kw("timeout")),
    ((), {"timeout": -1, "path": 1}, kw("timeout")),
    ((), {"path": 1}, kw("path")),
    ((), {"path": "x" * 258}, kw("path")),
    (("ok",), {"path": "p" * 256 + SMILE}, kw("path")),  # the keyword is checked too
]


@pytest.mark.parametrize("args, kwargs, message", INITIALIZE_REFUSED)
def test_initialize_refused_arguments(args, kwargs, message):
    assert velmora5.initialize(*args, **kwargs) is False
    assert velmora5.last_error() == (-2, message)


LOGIN_REFUSED = [
    ((1, "p", "s", "x"), {}, NUMBER),
    (("1",), {}, FIRST),
    ((1.0,), {}, FIRST),
    ((-1,), {}, FIRST),
    ((2**64,), {}, FIRST),
    ((None,), {}, FIRST),
    ((1, 2), {}, SECOND),
    ((1, "p" * 254), {}, SECOND),
    ((1, SMILE * 127), {}, SECOND),
    ((1, None, None), {}, SECOND),
    ((1, "p", 3), {}, THIRD),
    ((1, "p", "s" * 254), {}, THIRD),
    ((1,), {"login": "1"}, kw("login")),
    ((1,), {"login": -5}, kw("login")),
    ((1,), {"server": 5}, kw("server")),
    ((1,), {"server": "s" * 254}, kw("server")),
    ((1,), {"password": 5}, kw("password")),
    ((1,), {"password": 5, "server": 5}, kw("server")),
    ((1,), {"timeout": "5"}, kw("timeout")),
    ((1,), {"timeout": 2**32}, kw("timeout")),
    ((0,), {"timeout": "5"}, kw("timeout")),       # keywords before the zero-login check
]


@pytest.mark.parametrize("args, kwargs, message", LOGIN_REFUSED)
def test_login_refused_arguments(connected, args, kwargs, message):
    peer = connected()
    assert velmora5.login(*args, **kwargs) is False
    assert velmora5.last_error() == (-2, message)
    assert peer.finish()[2:] == []  # nothing was sent


@pytest.mark.parametrize("kwargs", [
    {"server": "s" * 253},
    {"password": "p" * 253},
    {"server": SMILE * 126 + "s", "password": "p" * 251 + SMILE},
])
def test_longest_account_texts_are_sent_whole(start_peer, kwargs):
    peer = start_peer([hello_reply(), login_reply(), state_reply(2)])
    assert velmora5.initialize(peer.exe, login=3, **kwargs) is True, velmora5.last_error()
    sent = login_request(3, kwargs.get("password", ""), kwargs.get("server", ""))
    assert peer.finish() == [HELLO_REQUEST, sent, STATE_REQUEST]


@pytest.mark.parametrize("length", [257, 256])
def test_longest_path_is_accepted(tmp_path, length):
    path = str(tmp_path / "t")
    path += "x" * (length - len(path))
    assert len(path) == length
    assert velmora5.initialize(path) is False
    assert velmora5.last_error() == (-10003, f"IPC initialize failed, Process create failed '{path}'")


def test_longest_path_with_a_non_bmp_character(tmp_path):
    path = str(tmp_path / "t")
    path += "x" * (255 - len(path)) + SMILE  # 257 units
    assert velmora5.initialize(path=path) is False
    assert velmora5.last_error() == (-10003, f"IPC initialize failed, Process create failed '{path}'")


def test_embedded_nul_cuts_the_path(tmp_path):
    path = str(tmp_path / "t")
    assert velmora5.initialize(path + "\0ignored") is False
    assert velmora5.last_error() == (-10003, f"IPC initialize failed, Process create failed '{path}'")


@pytest.mark.parametrize("args, kwargs", [(("",), {}), ((), {"path": ""}), (("/some/terminal64",), {"path": ""})])
def test_empty_path_falls_back_to_discovery(args, kwargs):
    assert velmora5.initialize(*args, **kwargs) is False
    assert velmora5.last_error() == (-10003, "IPC initialize failed, Velmora 5 x64 not found")


def test_text_subclasses_and_int_subclasses_are_accepted(start_peer):
    class Text(str):
        pass

    class Number(int):
        pass

    peer = start_peer([hello_reply(), login_reply(), state_reply(2)])
    assert velmora5.initialize(Text(peer.exe), login=Number(8), server=Text("s")) is True
    assert peer.finish() == [HELLO_REQUEST, login_request(8, "", "s"), STATE_REQUEST]
