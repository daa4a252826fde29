"""velmora5.sim against terminal64's stepped clock: a step walks the trading
through every tick it crosses, serves nothing past the clock, and fails
cleanly (and changes nothing) on bad steps and broken replies."""
import os
import re
import struct
import subprocess
import sys
import time

import numpy as np
import pytest

import velmora5 as vl
from velmora5 import sim
from velmora5.frames import history_ticks, to_seconds
from velmora5.testing import FROZEN

from conftest import REPO

MONDAY = to_seconds("2024-03-04T00:00Z")
FRIDAY_EVENING = to_seconds("2024-03-08T21:30Z")


def ms(moment):
    return int(moment.timestamp() * 1000)


def send(**request):
    result = vl.order_send(request)
    assert result is not None and result.retcode in (vl.TRADE_RETCODE_DONE, vl.TRADE_RETCODE_PLACED), \
        (result, vl.last_error())
    return result


def test_a_buy_limit_fills_inside_the_step_at_the_tick_that_crosses_it(vl5_terminal):
    terminal = vl5_terminal(seed=1, clock=FROZEN, stepped=True)
    # The pipe computed from the connected module's path is the one terminal64 serves.
    assert sim.pipe_address(os.path.join(vl.terminal_info().path, "terminal64")) == terminal.address
    start = sim.now()
    assert ms(start) == FROZEN * 1000
    limit = round(vl.symbol_info_tick("EURUSD").ask - 10 * vl.symbol_info("EURUSD").point, 5)
    order = send(action=vl.TRADE_ACTION_PENDING, symbol="EURUSD", type=vl.ORDER_TYPE_BUY_LIMIT, volume=0.1,
                 price=limit)
    reached = sim.advance(2 * 3600)

    ticks = history_ticks("EURUSD", start, reached)
    crossing = ticks[(ticks["time_msc"] > ms(start)) & (ticks["ask"] <= limit)][0]
    [position] = vl.positions_get()
    [filled] = vl.history_deals_get(position=position.ticket)
    assert (filled.order, filled.time_msc, filled.price) == (order.order, crossing["time_msc"], crossing["ask"])
    assert ms(start) < filled.time_msc <= ms(reached)


@pytest.mark.vl5(stepped=True, clock=MONDAY + 23 * 3600)  # Monday 23:00
def test_swaps_are_charged_at_each_rollover_a_step_crosses(vl5):
    opened = send(action=vl.TRADE_ACTION_DEAL, symbol="EURUSD", type=vl.ORDER_TYPE_BUY, volume=1.0)
    info = vl.symbol_info("EURUSD")
    price = opened.price
    one_day = vl.order_calc_profit(vl.ORDER_TYPE_BUY, "EURUSD", 1.0, price, price + info.swap_long * info.point)
    assert one_day < 0

    def swap_after(moment):
        sim.advance_to(moment)
        return vl.positions_get()[0].swap

    # EURUSD rolls over at 17:00 New York time, 22:00 UTC in early March.
    tuesday = MONDAY + 86400 + 22 * 3600
    assert swap_after(tuesday - 1) == 0.0
    assert swap_after(tuesday) == one_day  # the rollover at the step's last moment
    assert swap_after(tuesday + 12 * 3600) == one_day
    assert swap_after(tuesday + 86400 + 60) == 4 * one_day  # Wednesday's counts three days
    closed = send(action=vl.TRADE_ACTION_DEAL, symbol="EURUSD", type=vl.ORDER_TYPE_SELL, volume=1.0,
                  position=opened.order)
    assert vl.history_deals_get(ticket=closed.deal)[0].swap == 4 * one_day


def served(symbol, moment):
    """Everything a script can see of `symbol`'s market, asked up to a day past `moment`."""
    second = to_seconds(moment)
    return [
        vl.symbol_info_tick(symbol),
        vl.copy_rates_from_pos(symbol, vl.TIMEFRAME_M1, 0, 5),
        vl.copy_rates_from_pos(symbol, vl.TIMEFRAME_H1, 0, 3),  # the forming hour so far
        vl.copy_rates_range(symbol, vl.TIMEFRAME_M1, second - 300, second + 86400),
        vl.copy_ticks_range(symbol, second - 120, second + 86400, vl.COPY_TICKS_ALL),
        vl.copy_ticks_from(symbol, second - 60, 1000, vl.COPY_TICKS_ALL),
    ]


def test_nothing_after_the_clock_is_served_after_steps(vl5_terminal):
    stepped = vl5_terminal(seed=3, clock=FROZEN, stepped=True)
    steps = [lambda: sim.next_bar("EURUSD", vl.TIMEFRAME_M15), lambda: sim.advance(37),
             lambda: sim.advance_to(FROZEN + 3 * 3600 + 1234), lambda: sim.next_bar("BTCUSD", vl.TIMEFRAME_H1)]
    for step in steps:
        reached = step()
        for symbol in ("EURUSD", "BTCUSD"):
            seen = served(symbol, reached)
            tick, m1, h1, m1_range, ticks, ticks_from = seen
            assert tick.time_msc <= ms(reached)
            assert max(ticks["time_msc"].max(), ticks_from["time_msc"].max()) <= ms(reached)
            assert max(m1["time"].max(), h1["time"].max(), m1_range["time"].max()) <= to_seconds(reached)
            assert (m1[-1]["close"], h1[-1]["close"]) == (tick.bid, tick.bid)
            # A terminal frozen at that moment serves the very same records.
            frozen = vl5_terminal(seed=3, clock=reached)
            assert [np.asarray(x).tobytes() if x is not None else None for x in served(symbol, reached)] == \
                [np.asarray(x).tobytes() if x is not None else None for x in seen], (symbol, reached)
            frozen.stop()
            stepped.connect()


@pytest.mark.parametrize("symbol, expected", [
    # A currency closes Friday 22:00 UTC and reopens Sunday 21:00 UTC, 17:00 in New York both times
    # (summer time began there that Sunday): its next bar then ends Sunday 22:00.
    ("EURUSD", ["2024-03-08T22:00Z", "2024-03-10T22:00Z", "2024-03-10T23:00Z"]),
    ("BTCUSD", ["2024-03-08T22:00Z", "2024-03-08T23:00Z", "2024-03-09T00:00Z"]),
])
def test_next_bar_skips_a_closed_market_only(vl5_terminal, symbol, expected):
    vl5_terminal(clock=FRIDAY_EVENING, stepped=True)
    for end in expected:
        reached = sim.next_bar(symbol, vl.TIMEFRAME_H1)
        assert ms(reached) == to_seconds(end) * 1000
        # The bar that just completed holds ticks; none is left out before it.
        bars = vl.copy_rates_range(symbol, vl.TIMEFRAME_H1, FRIDAY_EVENING - 3600, to_seconds(reached) - 1)
        assert bars[-1]["time"] == to_seconds(reached) - 3600 and bars[-1]["tick_volume"] > 0


def one_bar_flip(vl, symbol="EURUSD"):
    """Holds 0.1 lot on the side of the last closed minute's move."""
    closed = vl.copy_rates_from_pos(symbol, vl.TIMEFRAME_M1, 1, 1)[0]
    wanted = vl.POSITION_TYPE_BUY if closed["close"] >= closed["open"] else vl.POSITION_TYPE_SELL
    for position in vl.positions_get(symbol=symbol):
        if position.type != wanted:
            send(action=vl.TRADE_ACTION_DEAL, symbol=symbol, volume=position.volume, position=position.ticket,
                 type=vl.ORDER_TYPE_SELL if position.type == vl.POSITION_TYPE_BUY else vl.ORDER_TYPE_BUY)
    if not vl.positions_get(symbol=symbol):
        send(action=vl.TRADE_ACTION_DEAL, symbol=symbol, volume=0.1,
             type=vl.ORDER_TYPE_BUY if wanted == vl.POSITION_TYPE_BUY else vl.ORDER_TYPE_SELL)


def test_a_script_stepped_and_replayed_makes_the_same_deals(vl5_terminal):
    """The same loop, once on a stepped clock and once on a clock running 60
    times real time (a minute a second): the same decisions at the same bars."""
    start = FROZEN + 30
    made = []
    for settings in ({"stepped": True}, {"clock_speed": 60}):
        terminal = vl5_terminal(seed=5, clock=start, **settings)
        for _ in range(5):
            sim.wait_next_bar("EURUSD", vl.TIMEFRAME_M1, timeout=30)
            one_bar_flip(vl)
        deals = vl.history_deals_get(0, 2**31 - 1)
        made.append([(d.time // 60 * 60, d.type, d.entry, d.volume) for d in deals if d.type != vl.DEAL_TYPE_BALANCE])
        terminal.stop()
    assert len(made[0]) >= 5 and made[0] == made[1]


NOT_STEPPED = "the terminal's clock is not stepped: start terminal64 with --stepped 1"


@pytest.mark.parametrize("step, status, message", [
    (lambda: sim.advance_to(FROZEN - 60), -2, "cannot step backwards: the clock stands at 2024-03-05 14:30:00+00:00,"
                                              " asked for 2024-03-05 14:29:00+00:00"),
    (lambda: sim.advance(-0.5), -2, "cannot step backwards: asked to advance by -0.5 s"),
    (lambda: sim.advance(76 * 365 * 86400), -2, "cannot step past 2100-01-01: asked for 2100-02-"),
    (lambda: sim.next_bar("NOPE", vl.TIMEFRAME_M15), -4, "unknown symbol 'NOPE'"),
    (lambda: sim.next_bar("EURUSD", 7), -2, "cannot step to the next bar of EURUSD timeframe 7: 7 is not a "
                                            "TIMEFRAME_* value"),
], ids=["backwards", "by-a-negative-time", "past-2100", "unknown-symbol", "bad-timeframe"])
def test_a_bad_step_raises_and_leaves_the_clock(vl5_terminal, step, status, message):
    vl5_terminal(clock=FROZEN, stepped=True)
    tick = vl.symbol_info_tick("EURUSD")
    with pytest.raises(sim.SimError) as refused:
        step()
    assert (refused.value.status, str(refused.value)[:len(message)]) == (status, message)
    assert ms(sim.now()) == FROZEN * 1000 and vl.symbol_info_tick("EURUSD") == tick


def test_a_clock_that_is_not_stepped_or_no_terminal_gives_a_clear_error(vl5_terminal):
    vl5_terminal(clock=FROZEN)
    for step in (sim.now, lambda: sim.advance(60), lambda: sim.next_bar("EURUSD", vl.TIMEFRAME_M1)):
        with pytest.raises(sim.SimError, match=NOT_STEPPED) as refused:
            step()
        assert refused.value.status == -7
    vl.shutdown()
    with pytest.raises(sim.SimError, match="velmora5 is not connected to a terminal: initialize"):
        sim.now()


def test_the_clock_requests_mirror_the_wire_headers():
    commands = (REPO / "src" / "wire" / "commands.h").read_text()
    statuses = (REPO / "src" / "wire" / "status.h").read_text()
    found = {name: int(value) for name, value in re.findall(r"(k\w+) = (-?\d+),", commands + statuses)}
    assert (found["kCmdClockNow"], found["kCmdClockAdvanceTo"], found["kCmdClockNextBar"]) == (
        sim.CLOCK_NOW, sim.CLOCK_ADVANCE_TO, sim.CLOCK_NEXT_BAR)
    assert [found[k] for k in ("kSuccess", "kTerminalCallFailed", "kInvalidParams", "kNotFound",
                               "kUnsupportedFunction")] == [sim._SUCCESS, sim._UNKNOWN_COMMAND, sim._OUT_OF_RANGE,
                                                            sim._NOT_FOUND, sim._NOT_STEPPED]
    assert 'kPipeNamePrefix[] = u"VL5.Terminal.";' in commands


# ---- replies of a broken or hostile peer ---------------------------------------------

PEER = r"""
import socket, struct, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen(1)
print("listening", flush=True)
for reply in sys.argv[2:]:
    connection, _ = server.accept()
    length = struct.unpack("<I", connection.recv(4, socket.MSG_WAITALL))[0]
    connection.recv(length, socket.MSG_WAITALL)
    connection.sendall(bytes.fromhex(reply))
    if reply:
        connection.shutdown(socket.SHUT_WR)  # a short reply ends there
    try:
        while connection.recv(100):  # until the client gives up
            pass
    except ConnectionResetError:  # it left bytes of the reply unread
        pass
    connection.close()
"""


def reply(echo, status, data=b"", length=None):
    body = struct.pack("<Ii", echo, status) + data
    return struct.pack("<I", len(body) if length is None else length) + body


AT = struct.pack("<q", FROZEN * 1000)
HOSTILE = [
    (sim.now, reply(9002, 1, AT), "malformed reply: it answers request 9002, not 9001"),
    (sim.now, reply(9001, 1, AT, length=0xFFFFFFF0), "malformed reply to request 9001: 4294967280 bytes where 16"),
    (sim.now, reply(9001, 1), "malformed reply to request 9001: 8 bytes where 16 are due"),
    (sim.now, reply(9001, -2, AT), "malformed reply to request 9001: 16 bytes where 8 are due"),
    (sim.now, reply(9001, 1, AT)[:14], "the terminal closed the connection in the middle of a reply"),
    (sim.now, b"", "the terminal sent no reply within 0.5 s"),
    (sim.now, reply(9001, 1, struct.pack("<q", -1)), "malformed reply to request 9001: moment -1 ms is outside"),
    (lambda: sim.advance_to(FROZEN + 60), reply(9002, 1, AT), "malformed reply: the clock moved to"),
    (lambda: sim.next_bar("EURUSD", vl.TIMEFRAME_M1), reply(9003, 1, struct.pack("<q", FROZEN * 1000 + 1)),
     "malformed reply: the next bar of EURUSD M1 cannot end at"),
    (sim.now, reply(9001, -3), "now: the terminal answered status -3"),
]


def test_broken_or_hostile_replies_raise_sim_error(tmp_path, monkeypatch):
    address = str(tmp_path / "control")
    peer = subprocess.Popen([sys.executable, "-c", PEER, address, *(r.hex() for _, r, _ in HOSTILE)],
                            stdout=subprocess.PIPE, text=True)
    try:
        assert peer.stdout.readline() == "listening\n"
        monkeypatch.setattr(sim, "_connected_address", lambda: address)
        monkeypatch.setattr(sim, "TIMEOUT", 0.5)
        for call, _, message in HOSTILE:
            with pytest.raises(sim.SimError) as refused:
                call()
            assert str(refused.value).startswith(message)
    finally:
        peer.kill()
        peer.wait()


def test_a_runtime_folder_others_can_enter_is_refused(tmp_path, monkeypatch):
    shared = tmp_path / "shared"
    shared.mkdir(mode=0o755)
    shared.chmod(0o755)
    monkeypatch.setenv("XDG_RUNTIME_DIR", str(shared))
    with pytest.raises(sim.SimError, match=f"the runtime folder {shared} is not a folder private to this user"):
        sim.pipe_address("/opt/terminal/terminal64")
