"""What a step of examples/test_sma_strategy.py is made of: each call it
makes, repeated at a clock standing still, as wall time, this process's CPU
and the terminal's share (its own CPU in another process, or the engine's
time inside this one). Used by stepped_runs.py and embedded_runs.py."""
import time

import velmora5

from test_sma_strategy import MAGIC, SLOW, target


def step_calls(clock_request):
    """[(name, calls made a repetition, callable)] on the connected module,
    with one of the strategy's positions open, as during a run."""
    vl = velmora5
    rates = vl.copy_rates_from_pos("EURUSD", vl.TIMEFRAME_M15, 1, SLOW)
    deal = {"action": vl.TRADE_ACTION_DEAL, "symbol": "EURUSD", "volume": 0.1, "magic": MAGIC}
    vl.order_send({**deal, "type": vl.ORDER_TYPE_BUY})

    def turn():  # a position opened and closed: two order_send
        opened = vl.order_send({**deal, "type": vl.ORDER_TYPE_BUY})
        vl.order_send({**deal, "type": vl.ORDER_TYPE_SELL, "position": opened.order})

    return [("clock request (raw ClockNow)", 1, clock_request),
            ("copy_rates_from_pos(M15, 1, 48)", 1,
             lambda: vl.copy_rates_from_pos("EURUSD", vl.TIMEFRAME_M15, 1, SLOW)),
            ("['close'] + target(): NumPy", 1, lambda: target(rates["close"])),
            ("symbol_info_tick", 1, lambda: vl.symbol_info_tick("EURUSD")),
            ("positions_get(symbol=), one open", 1, lambda: vl.positions_get(symbol="EURUSD")),
            ("order_send (a market deal)", 2, turn)]


def measure(calls, meter, repeat):
    """[(name, [wall, CPU of this process, terminal's share] seconds a call)].
    `meter()` starts a reading of the terminal's share and returns a function
    giving the seconds spent since."""
    costs = []
    for name, per_call, call in calls:
        call()
        cpu, served, wall = time.process_time(), meter(), time.perf_counter()
        for _ in range(repeat):
            call()
        wall, cpu, served = time.perf_counter() - wall, time.process_time() - cpu, served()
        costs.append((name, [x / repeat / per_call for x in (wall, cpu, served)]))
    return costs
