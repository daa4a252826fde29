"""Ctrl-C while the module waits on a terminal that stopped answering: the
call ends with KeyboardInterrupt, the connection is dropped, and the next
initialize() works. Other signals' handlers run and the call goes on."""
import signal
import subprocess
import sys
import time

import pytest

from conftest import HELLO_REQUEST, READY, STATE_REQUEST, hello_reply, state_reply

# Runs initialize() against the first terminal, then against the second.
CHILD = """
import signal, sys, time, velmora5
stuck, ready = sys.argv[1:3]
signal.signal(signal.SIGUSR1, lambda *_: print("handled", flush=True))
# Ctrl-C raises here even when this run inherited it ignored (a background job).
signal.signal(signal.SIGINT, signal.default_int_handler)
started = time.monotonic()
try:
    print("first", velmora5.initialize(stuck), velmora5.last_error(), flush=True)
except KeyboardInterrupt:
    print("interrupted", velmora5.last_error(), flush=True)
print("ended after", round(time.monotonic() - started, 3), file=sys.stderr)
print("second", velmora5.initialize(ready), velmora5.last_error(), flush=True)
"""


def wait_for_state_poll(peer):
    poll = STATE_REQUEST.hex()
    peer.wait_for(poll, "unexpected " + poll)


def run_child(stuck, ready):
    return subprocess.Popen([sys.executable, "-c", CHILD, stuck.exe, ready.exe],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def finish(child):
    out, err = child.communicate(timeout=30)
    assert child.returncode == 0, err
    print(err)  # how long the interrupted call took, for the record
    return out.splitlines()


@pytest.mark.parametrize("stuck_steps, requests", [
    # The state poll is never answered: the module waits in a read.
    ([hello_reply()], [HELLO_REQUEST, STATE_REQUEST]),
    # The terminal is never ready: the module mostly waits between polls.
    ([hello_reply()] + [state_reply(0)] * 200, None),
], ids=["no reply", "never ready"])
def test_sigint_ends_a_blocked_call(start_peer, tmp_path, stuck_steps, requests):
    stuck = start_peer(stuck_steps, exe=tmp_path / "stuck" / "terminal64")
    ready = start_peer(READY, exe=tmp_path / "ready" / "terminal64")
    child = run_child(stuck, ready)
    wait_for_state_poll(stuck)
    time.sleep(0.3)  # well inside the wait
    child.send_signal(signal.SIGINT)
    assert finish(child) == ["interrupted (-10002, 'IPC recv failed')", "second True (1, 'Success')"]
    stuck.wait_for("disconnect", "done")
    if requests is not None:
        assert stuck.requests() == requests


def test_handler_that_does_not_raise_lets_the_call_go_on(start_peer, tmp_path):
    stuck = start_peer([hello_reply()] + [state_reply(0)] * 15 + [state_reply(2)], exe=tmp_path / "slow" / "terminal64")
    ready = start_peer(READY, exe=tmp_path / "ready" / "terminal64")
    child = run_child(stuck, ready)
    wait_for_state_poll(stuck)
    for _ in range(3):
        child.send_signal(signal.SIGUSR1)
        time.sleep(0.2)
    lines = finish(child)
    assert lines.count("handled") == 3
    assert [line for line in lines if line != "handled"] == [
        "first True (1, 'Success')", "second True (1, 'Success')"]
