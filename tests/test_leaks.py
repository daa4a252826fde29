"""Repeated calls, failing and succeeding, must not leave objects behind."""
import pytest

import velmora5
from conftest import CMD_VERSION, READY, hello_reply, reply, state_reply, version_reply
from frames import SHAPES, shape_replies

WARM_UP = 50  # calls assert_no_leak makes before it counts


@pytest.mark.parametrize("call", [
    lambda: velmora5.version(),                                   # not connected
    lambda: velmora5.last_error(),
    lambda: velmora5.shutdown(),
    lambda: velmora5.initialize(),                                # nothing found
    lambda: velmora5.initialize("a", "b"),
    lambda: velmora5.initialize(path=1, login=2),
    lambda: velmora5.initialize(server="s" * 300),
    lambda: velmora5.initialize(portable=object(), timeout="x"),
    lambda: velmora5.login(),
    lambda: velmora5.login(1, "p", 3),
    lambda: velmora5.login(-1),
    lambda: velmora5.login(5),                                    # not connected
    lambda: velmora5.Tick(range(8))._asdict(),
    lambda: velmora5.OrderSendResult(list(range(10)) + [velmora5.TradeRequest(range(17))])._asdict(),
], ids=["version", "last_error", "shutdown", "initialize not found", "initialize two paths",
        "initialize bad keywords", "initialize long server", "initialize bad timeout", "login none",
        "login bad server", "login negative", "login not connected", "Tick._asdict",
        "OrderSendResult._asdict"])
def test_calls_without_a_terminal(assert_no_leak, call):
    assert_no_leak(call, repeat=2000)


REPEAT = 1000


@pytest.mark.parametrize("answer, expected", [
    (version_reply(500, 2400, "Build 2400"), (500, 2400, "Build 2400")),
    (reply(CMD_VERSION, -4), (0, 0, "")),
    (version_reply(1, 2, "abc", echo=2), (0, 0, "")),
    (version_reply(1, 2, "x" * 200), (1, 2, "")),
], ids=["success", "refused", "wrong echo", "text too long"])
def test_version_exchanges(connected, assert_no_leak, answer, expected):
    connected([answer] * (REPEAT + WARM_UP))

    def call():
        assert velmora5.version() == expected

    assert_no_leak(call, repeat=REPEAT)


def test_initialize_cycles(start_peer, assert_no_leak):
    repeat = 300
    peer = start_peer(READY * (repeat + WARM_UP))

    def call():
        assert velmora5.initialize(peer.exe) is True

    assert_no_leak(call, repeat=repeat)


def test_login_exchanges(connected, assert_no_leak):
    connected([reply(5, 0), state_reply(2)] * (REPEAT + WARM_UP))
    assert_no_leak(lambda: velmora5.login(7, "password", "server"), repeat=REPEAT)
    assert velmora5.last_error() == (1, "Success")


def test_hello_refused_repeatedly(start_peer, assert_no_leak):
    repeat = 300
    peer = start_peer([hello_reply(status=-5)] * (repeat + WARM_UP))
    assert_no_leak(lambda: velmora5.initialize(peer.exe), repeat=repeat)


# Every function's byte-exact exchanges, good and failing, under the check.
EXCHANGE_CASES = [(name, case) for name, (_, command, shape, size, _) in SHAPES.items()
                  for case in ["good reply", *shape_replies(command, shape, size)[1]]]


@pytest.mark.parametrize("name, case", EXCHANGE_CASES, ids=[f"{n}: {c}" for n, c in EXCHANGE_CASES])
def test_every_exchange(connected, assert_no_leak, name, case):
    args, command, shape, size, failed = SHAPES[name]
    good, failures = shape_replies(command, shape, size)
    answer = good if case == "good reply" else failures[case][0]
    repeat = 200
    connected([answer] * (repeat + WARM_UP))
    call = getattr(velmora5, name)

    def once():
        assert (call(*args) is failed) == (case != "good reply")

    assert_no_leak(once, repeat=repeat)
