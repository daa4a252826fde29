"""initialize, login and shutdown against the scripted peer: the bytes of
hello and login, state polling, and which failures close the connection."""
import time

import pytest

import velmora5
from conftest import (CMD_HELLO, CMD_LOGIN, CMD_STATE, HELLO_REQUEST, READY, STATE_AUTH_FAILED,
                      STATE_READY, STATE_REQUEST, VERSION_REQUEST, hello_reply, login_reply,
                      login_request, reply, run_python, state_reply, version_reply)

OTP_MESSAGE = "Unsupported authorization mode, OTP or certificate password needed"
INCOMPATIBLE = (-5, "Terminal: Incompatible versions, please install the latest version of Terminal and Python module")


def still_connected():
    """True when a version exchange still reaches the peer (the peer must have
    a version reply scripted next)."""
    ok = velmora5.version() == (1, 2, "alive")
    assert velmora5.last_error()[0] in (1, -10004)
    return ok


def test_hello_request_bytes(start_peer):
    peer = start_peer(READY)
    assert velmora5.initialize(peer.exe) is True
    assert velmora5.last_error() == (1, "Success")
    assert HELLO_REQUEST == (b"\x18\x00\x00\x00\x04\x00\x00\x00\x03\x00\x00\x00\x06\x00\x00\x00"
                             + "Python".encode("utf-16-le"))
    assert peer.finish() == [HELLO_REQUEST, STATE_REQUEST]


@pytest.mark.parametrize("kwargs", [{}, {"login": 0}, {"login": False}, {"server": ""}, {"password": ""},
                                    {"timeout": 0}, {"timeout": 2**32 - 1}, {"tiket": 5, "bogus": object()}])
def test_initialize_without_credentials_skips_login(start_peer, kwargs):
    peer = start_peer(READY)
    assert velmora5.initialize(peer.exe, **kwargs) is True
    assert peer.finish() == [HELLO_REQUEST, STATE_REQUEST]


@pytest.mark.parametrize("kwargs, sent", [
    ({"server": "x"}, (0, "", "x")),
    ({"password": "secret"}, (0, "secret", "")),
    ({"login": 1234}, (1234, "", "")),
    ({"login": True}, (1, "", "")),
    ({"login": 2**64 - 1, "password": "pw", "server": "Srv-Demo"}, (2**64 - 1, "pw", "Srv-Demo")),
    ({"login": 7, "password": "p\U0001F600", "server": "\u00e9"}, (7, "p\U0001F600", "\u00e9")),
])
def test_initialize_with_credentials_sends_login(start_peer, kwargs, sent):
    peer = start_peer([hello_reply(), login_reply(), state_reply(STATE_READY)])
    assert velmora5.initialize(peer.exe, **kwargs) is True, velmora5.last_error()
    assert peer.finish() == [HELLO_REQUEST, login_request(*sent), STATE_REQUEST]


def test_login_request_layout():
    # Non-BMP characters count two units in the counted strings.
    assert login_request(0x0102030405060708, "a\U0001F600", "s") == (
        b"\x20\x00\x00\x00" b"\x05\x00\x00\x00" b"\x00\x00\x00\x00"
        b"\x08\x07\x06\x05\x04\x03\x02\x01"
        b"\x03\x00\x00\x00" b"a\x00\x3d\xd8\x00\xde"
        b"\x01\x00\x00\x00" b"s\x00")


@pytest.mark.parametrize("args, kwargs, sent", [
    ((123,), {}, (123, "", "")),
    ((123, "pw"), {}, (123, "pw", "")),
    ((123, "pw", "srv"), {}, (123, "pw", "srv")),          # 2nd is the password, 3rd the server
    ((123,), {"server": "srv"}, (123, "", "srv")),
    ((), {"login": 5, "password": "x"}, (5, "x", "")),
    ((123, "pw", "srv"), {"login": 7, "password": "p2", "server": "s2"}, (7, "p2", "s2")),
    ((123, "pw"), {"login": 9}, (9, "pw", "")),
    ((0,), {"login": 4}, (4, "", "")),                      # a keyword rescues a zero login
    ((True,), {}, (1, "", "")),
    ((123,), {"tiket": 1, "path": 5, "portable": 1}, (123, "", "")),  # unknown keywords ignored
])
def test_login_request_for_each_argument_form(connected, args, kwargs, sent):
    peer = connected([login_reply(), state_reply(STATE_READY)])
    assert velmora5.login(*args, **kwargs) is True, velmora5.last_error()
    assert velmora5.last_error() == (1, "Success")
    assert peer.finish()[2:] == [login_request(*sent), STATE_REQUEST]


@pytest.mark.parametrize("args, kwargs", [((), {}), ((0,), {}), ((), {"login": 0}), ((5,), {"login": 0}),
                                          ((), {"server": "s", "password": "p"})])
def test_login_without_account_is_refused_without_exchange(connected, args, kwargs):
    peer = connected()
    assert velmora5.login(*args, **kwargs) is False
    assert velmora5.last_error() == (-2, 'Invalid "login" argument')
    assert peer.finish()[2:] == []


def test_login_while_not_connected():
    assert velmora5.login(123) is False
    assert velmora5.last_error() == (-10004, "No IPC connection")
    assert velmora5.login("bad") is False  # arguments are checked first
    assert velmora5.last_error() == (-2, "Invalid 1st unnamed argument")


def test_state_polled_until_ready(start_peer):
    peer = start_peer([hello_reply(), state_reply(0), state_reply(1), state_reply(7), state_reply(STATE_READY)])
    started = time.monotonic()
    assert velmora5.initialize(peer.exe) is True
    assert time.monotonic() - started >= 0.3  # one 100 ms pause after each busy answer
    assert peer.finish() == [HELLO_REQUEST] + [STATE_REQUEST] * 4


@pytest.mark.parametrize("timeout, polls", [(1, 1), (50, 1), (100, 1), (101, 2), (250, 3)])
def test_initialize_timeout_closes_the_pipe(start_peer, timeout, polls):
    peer = start_peer([hello_reply()] + [state_reply(0)] * polls + [version_reply(1, 2, "alive")])
    started = time.monotonic()
    assert velmora5.initialize(peer.exe, timeout=timeout) is False
    assert time.monotonic() - started >= 0.1 * polls  # each busy answer is followed by a pause
    assert velmora5.last_error() == (-10005, "IPC timeout")
    assert not still_connected()
    peer.wait_for("disconnect", "done")
    assert peer.requests() == [HELLO_REQUEST] + [STATE_REQUEST] * polls


def test_authorization_refused_during_initialize(start_peer):
    peer = start_peer([hello_reply(), state_reply(0), state_reply(STATE_AUTH_FAILED),
                       version_reply(1, 2, "alive")])
    assert velmora5.initialize(peer.exe) is False
    assert velmora5.last_error() == (-6, "Terminal: Authorization failed")
    assert not still_connected()
    peer.wait_for("disconnect", "done")
    assert peer.requests() == [HELLO_REQUEST, STATE_REQUEST, STATE_REQUEST]


@pytest.mark.parametrize("poll_reply, code", [
    (reply(CMD_STATE, -1), -1),
    (reply(CMD_HELLO, 0, b"\x02\x00\x00\x00"), -10000),
    (reply(CMD_STATE, 0), -10002),
])
def test_failed_state_poll_during_initialize(start_peer, poll_reply, code):
    peer = start_peer([hello_reply(), poll_reply, version_reply(1, 2, "alive")])
    assert velmora5.initialize(peer.exe) is False
    assert velmora5.last_error()[0] == code
    assert not still_connected()
    peer.wait_for("disconnect", "done")


@pytest.mark.parametrize("login_status, message", [
    (-7, OTP_MESSAGE),
    (-6, "Terminal: Authorization failed"),
    (-8, "Terminal: Call failed"),
])
def test_login_refused_during_initialize_closes_the_pipe(start_peer, login_status, message):
    peer = start_peer([hello_reply(), reply(CMD_LOGIN, login_status), version_reply(1, 2, "alive")])
    assert velmora5.initialize(peer.exe, login=42, password="x") is False
    assert velmora5.last_error() == (login_status, message)
    assert not still_connected()
    peer.wait_for("disconnect", "done")
    assert peer.requests() == [HELLO_REQUEST, login_request(42, "x")]


@pytest.mark.parametrize("login_status, message", [
    (-7, OTP_MESSAGE),
    (-6, "Terminal: Authorization failed"),
    (-1, "Terminal: Call failed"),
])
def test_login_refused_keeps_the_pipe(connected, login_status, message):
    peer = connected([reply(CMD_LOGIN, login_status), version_reply(1, 2, "alive")])
    assert velmora5.login(42) is False
    assert velmora5.last_error() == (login_status, message)
    assert still_connected()
    assert peer.finish()[2:] == [login_request(42), VERSION_REQUEST]


@pytest.mark.parametrize("steps, kwargs, code", [
    ([state_reply(STATE_AUTH_FAILED)], {}, -6),
    ([state_reply(0)], {"timeout": 50}, -10005),
    ([reply(CMD_STATE, -3)], {}, -3),
])
def test_login_wait_failure_keeps_the_pipe(connected, steps, kwargs, code):
    peer = connected([login_reply()] + steps + [version_reply(1, 2, "alive")])
    assert velmora5.login(42, **kwargs) is False
    assert velmora5.last_error()[0] == code
    assert still_connected()
    assert peer.finish()[2:] == [login_request(42), STATE_REQUEST, VERSION_REQUEST]


@pytest.mark.parametrize("hello, expected", [
    (hello_reply(status=-5), INCOMPATIBLE),
    (reply(CMD_HELLO, -5), INCOMPATIBLE),
    (reply(CMD_HELLO, -7), (-7, "Terminal: Unsupported function")),  # the OTP text belongs to login
    (reply(CMD_HELLO, -2), (-2, "Terminal: Invalid params")),
])
def test_hello_refused_keeps_the_pipe(start_peer, hello, expected):
    peer = start_peer([hello, version_reply(1, 2, "alive")])
    assert velmora5.initialize(peer.exe, login=5) is False
    assert velmora5.last_error() == expected
    assert still_connected()
    assert peer.finish() == [HELLO_REQUEST, VERSION_REQUEST]


def test_hello_with_wrong_echo(start_peer):
    peer = start_peer([reply(CMD_STATE, 0, b"\x00\x09\x00\x00")])
    assert velmora5.initialize(peer.exe) is False
    assert velmora5.last_error() == (-10000, "IPC call failed")
    assert peer.finish() == [HELLO_REQUEST]


def test_shutdown_twice(connected):
    peer = connected()
    velmora5.login("x")  # a failure to be reset, without an exchange
    assert velmora5.shutdown() is True
    assert velmora5.last_error() == (1, "Success")
    assert velmora5.shutdown() is True
    assert velmora5.last_error() == (1, "Success")
    assert velmora5.version() == (0, 0, "")
    assert velmora5.last_error() == (-10004, "No IPC connection")
    peer.wait_for("disconnect", "done")


def test_initialize_again_replaces_the_connection(connected, start_peer, tmp_path):
    first = connected()
    second = start_peer(READY + [version_reply(1, 2, "second")], exe=tmp_path / "other" / "terminal64")
    assert velmora5.initialize(second.exe) is True
    first.wait_for("disconnect", "done")
    assert velmora5.version() == (1, 2, "second")
    assert first.requests() == [HELLO_REQUEST, STATE_REQUEST]


def test_argument_error_still_closes_the_previous_connection(connected):
    peer = connected()
    assert velmora5.initialize("a", "b") is False
    assert velmora5.last_error() == (-2, "Invalid number of arguments")
    assert velmora5.version() == (0, 0, "")
    assert velmora5.last_error() == (-10004, "No IPC connection")
    peer.wait_for("disconnect", "done")
    assert peer.requests() == [HELLO_REQUEST, STATE_REQUEST]


def test_reentered_initialize_is_reported(start_peer):
    # Evaluating `portable` runs Python code, which may connect behind the
    # outer call's back.
    peer = start_peer(READY)

    class Sneaky:
        def __bool__(self):
            assert velmora5.initialize(peer.exe) is True
            return False

    assert velmora5.initialize(peer.exe, portable=Sneaky()) is False
    assert velmora5.last_error() == (-10003, "IPC initialize failed, CInterClient already initialized")


def test_portable_whose_truth_test_raises(start_peer):
    class Broken:
        def __bool__(self):
            raise RuntimeError("no truth")

    peer = start_peer(READY)
    assert velmora5.initialize(peer.exe, portable=Broken()) is True
    assert velmora5.last_error() == (1, "Success")


def test_build_is_zero_before_any_hello():
    out = run_python("import velmora5; print(velmora5.symbols_total(), velmora5.last_error())")
    assert out.strip() == f"None {INCOMPATIBLE}"


def test_build_is_kept_after_shutdown(start_peer, tmp_path):
    old = start_peer([hello_reply(2363), state_reply(STATE_READY)], exe=tmp_path / "old" / "terminal64")
    assert velmora5.initialize(old.exe) is True
    assert velmora5.symbols_total() is None
    assert velmora5.last_error() == INCOMPATIBLE

    new = start_peer([hello_reply(2364), state_reply(STATE_READY)], exe=tmp_path / "new" / "terminal64")
    assert velmora5.initialize(new.exe) is True
    velmora5.shutdown()
    assert velmora5.symbols_total() is None  # passes the build check, then finds no connection
    assert velmora5.last_error() == (-10004, "No IPC connection")
