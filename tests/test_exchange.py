"""The rules of one exchange, seen through version(): request bytes, reply
shapes, status codes and their messages, and a peer that goes away; then
every function's reply shape held to the same rules."""
import struct

import pytest

import velmora5
from conftest import CMD_VERSION, READY, VERSION_REQUEST, frame, reply, run_python, version_reply
from frames import SHAPES, shape_replies

FAILED = (0, 0, "")


def test_not_connected():
    assert velmora5.version() == FAILED
    assert velmora5.last_error() == (-10004, "No IPC connection")


def test_request_bytes_and_a_full_reply(connected):
    peer = connected([version_reply(500, 2400, "Build 2400")])
    assert velmora5.version() == (500, 2400, "Build 2400")
    assert velmora5.last_error() == (1, "Success")
    assert peer.requests()[2:] == [b"\x08\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00"]
    assert VERSION_REQUEST == b"\x08\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00"


@pytest.mark.parametrize("status, expected", [
    (1, (-7, 65536, "ok")),
    (7, (-7, 65536, "ok")),  # any positive status delivers the values
    (0, FAILED),             # success without values
])
def test_values_are_taken_only_for_a_positive_status(connected, status, expected):
    connected([version_reply(-7, 65536, "ok", status=status)])
    assert velmora5.version() == expected
    assert velmora5.last_error() == (1, "Success")


@pytest.mark.parametrize("text", [
    "",
    "x" * 127,                      # exactly fills the 127-byte buffer
    "é" * 63,                       # 126 bytes of UTF-8
    "価格" * 21,                     # 126 bytes, three per character
    "\U0001F600" * 31,              # 124 bytes, surrogate pairs on the wire
])
def test_texts_that_fit(connected, text):
    connected([version_reply(5, 6, text)])
    assert velmora5.version() == (5, 6, text)


@pytest.mark.parametrize("text", ["x" * 128, "x" * 130, "é" * 64, "\U0001F600" * 32, "y" * 5000, "z" * 20000])
def test_texts_too_long_for_the_buffer_come_back_empty(connected, text):
    # 20000 units make a reply larger than the 16 KiB reader buffer.
    connected([version_reply(5, 6, text), version_reply(7, 8, "next")])
    assert velmora5.version() == (5, 6, "")
    assert velmora5.last_error() == (1, "Success")
    assert velmora5.version() == (7, 8, "next")


def test_lone_surrogate_in_the_text_does_not_break_the_result(connected):
    connected([version_reply(5, 6, "a\ud800b")])
    first, second, text = velmora5.version()
    assert (first, second) == (5, 6)
    assert text in ("a\ufffdb", "a\ud800b")


# Replies that fail the exchange, and the code each must give.
BAD_REPLIES = {
    "short reply, negative status": (reply(CMD_VERSION, -4), -4),
    "short reply, wrong echo, negative status": (reply(99, -6), -6),
    "short reply, status 0": (reply(CMD_VERSION, 0), -10002),
    "short reply, status 1": (reply(CMD_VERSION, 1), -10002),
    "only the echo": (frame(struct.pack("<I", CMD_VERSION)), -10002),
    "empty body": (frame(b""), -10002),
    "echo of another command": (version_reply(1, 2, "abc", echo=2), -10000),
    "echo mismatch with status 0": (version_reply(1, 2, "abc", status=0, echo=4), -10000),
    "bytes left over": (frame(version_reply(1, 2, "abc")[4:] + b"\x00\x00"), -10002),
    "bytes left over, negative status": (frame(version_reply(1, 2, "abc", status=-3)[4:] + b"\x00"), -3),
    "text count beyond the reply": (frame(version_reply(1, 2, "abc")[4:-2]), -10002),
    "huge text count": (reply(CMD_VERSION, 1, struct.pack("<iiI", 1, 2, 0xFFFFFFFF)), -10002),
    "odd byte in the text": (frame(version_reply(1, 2, "abc")[4:-1]), -10002),
}


@pytest.mark.parametrize("reply_bytes, code", BAD_REPLIES.values(), ids=BAD_REPLIES.keys())
def test_failed_exchange_codes_and_the_link_stays_in_step(connected, reply_bytes, code):
    # A rejected reply of up to 16 KiB is taken out of the pipe whole, so the
    # next exchange on the same connection reads its own reply.
    peer = connected([reply_bytes, version_reply(3, 4, "next")])
    assert velmora5.version() == FAILED
    assert velmora5.last_error()[0] == code
    assert velmora5.version() == (3, 4, "next")
    assert peer.requests()[2:] == [VERSION_REQUEST, VERSION_REQUEST]


STANDARD_MESSAGES = {
    -1: "Terminal: Call failed",
    -2: "Terminal: Invalid params",
    -3: "Terminal: Out of memory",
    -4: "Terminal: Not found",
    -5: "Terminal: Incompatible versions, please install the latest version of Terminal and Python module",
    -6: "Terminal: Authorization failed",
    -7: "Terminal: Unsupported function",
    -8: "Terminal: Call failed",
    -9: "Terminal: Call failed",
    -9999: "Terminal: Call failed",
    -10000: "IPC call failed",
    -10001: "IPC send failed",
    -10002: "IPC recv failed",
    -10003: "IPC initialize failed, ",  # the detail of a clean connect is empty
    -10004: "No IPC connection",
    -10005: "IPC timeout",
    -10006: "Terminal: Call failed",
    -2**31: "Terminal: Call failed",
}


@pytest.mark.parametrize("code, message", STANDARD_MESSAGES.items())
def test_terminal_status_gets_its_standard_message(connected, code, message):
    connected([reply(CMD_VERSION, code)])
    assert velmora5.version() == FAILED
    assert velmora5.last_error() == (code, message)
    assert velmora5.last_error() == (code, message)  # reading it changes nothing


def test_success_resets_an_earlier_failure(connected):
    connected([reply(CMD_VERSION, -4), version_reply(1, 2, "x")])
    velmora5.version()
    assert velmora5.last_error() == (-4, "Terminal: Not found")
    velmora5.version()
    assert velmora5.last_error() == (1, "Success")


def test_peer_closing_the_connection(connected):
    peer = connected(["close"])
    assert velmora5.version() == FAILED
    assert velmora5.last_error() == (-10002, "IPC recv failed")
    # The broken pipe closed the handle: nothing more is sent.
    assert velmora5.version() == FAILED
    assert velmora5.last_error() == (-10004, "No IPC connection")
    peer.wait_for("done")
    assert peer.requests()[2:] == [VERSION_REQUEST]


def test_peer_closing_in_the_middle_of_a_reply(connected):
    # The reply announces its full length, but the peer goes away after 8 bytes.
    peer = connected([version_reply(1, 2, "abcd")[:12], "drop"])
    assert velmora5.version() == FAILED
    assert velmora5.last_error() == (-10002, "IPC recv failed")
    assert velmora5.version() == FAILED
    assert velmora5.last_error() == (-10004, "No IPC connection")
    assert peer.requests()[2:] == [VERSION_REQUEST]


DROP_IN_OWN_PROCESS = r"""
import signal, sys, time
# Python ignores SIGPIPE; the module must not depend on that, so the default
# action (terminate) is restored in this process of its own.
signal.signal(signal.SIGPIPE, signal.SIG_DFL)
import velmora5
exe, log = sys.argv[1:]
assert velmora5.initialize(exe) is True, velmora5.last_error()
while "done" not in open(log).read():  # the peer has closed its end
    time.sleep(0.01)
print(velmora5.version(), velmora5.last_error()[0])
print(velmora5.version(), velmora5.last_error()[0])
"""


def test_peer_gone_before_a_write_does_not_kill_the_process(start_peer):
    peer = start_peer(READY + ["drop"])
    out = run_python(DROP_IN_OWN_PROCESS, peer.exe, str(peer.path))
    first, second = out.splitlines()
    assert first in ("(0, 0, '') -10001", "(0, 0, '') -10002")
    assert second == "(0, 0, '') -10004"


# ---- every function, the same rules -------------------------------------------------------

FAILURE_CASES = [(name, case) for name, (_, command, shape, size, _) in SHAPES.items()
                 for case in shape_replies(command, shape, size)[1]]


@pytest.mark.parametrize("name, case", FAILURE_CASES, ids=[f"{n}: {c}" for n, c in FAILURE_CASES])
def test_every_exchange_fails_by_the_same_rules_and_stays_in_step(connected, name, case):
    args, command, shape, size, failed = SHAPES[name]
    good, failures = shape_replies(command, shape, size)
    bad, error = failures[case]
    connected([bad, good])
    call = getattr(velmora5, name)
    assert call(*args) is failed
    assert velmora5.last_error() == error
    assert call(*args) is not failed
    assert velmora5.last_error() == (1, "Success")


@pytest.mark.parametrize("name", SHAPES)
def test_every_exchange_after_shutdown_fails_unsent(connected, name):
    args, _, _, _, failed = SHAPES[name]
    peer = connected()  # the build stays known, so only the connection is missing
    velmora5.shutdown()
    assert getattr(velmora5, name)(*args) is failed
    assert velmora5.last_error() == (-10004, "No IPC connection")
    assert peer.finish()[2:] == []
