"""A moving-average strategy and its tests with the vl5 fixture.

    python3 -m pytest examples/test_sma_strategy.py

The strategy keeps one position per symbol: long while the average of the
last 12 closed quarter-hours is above that of the last 48, short otherwise.
Each test gets a private simulated terminal whose clock is frozen, so the
market, the decisions and the balances are the same on every run.
"""
import pytest

import velmora5

MAGIC = 2024
FAST, SLOW = 12, 48


def target(closes):
    """+1 (long) or -1 (short) for a series of closes, oldest first."""
    return 1 if closes[-FAST:].mean() > closes[-SLOW:].mean() else -1


def send(vl, request):
    result = vl.order_send(request)
    if result is None or result.retcode != vl.TRADE_RETCODE_DONE:
        raise RuntimeError(f"order_send {request}: {result.comment if result else vl.last_error()}")
    return result


def step(vl, symbol="EURUSD", volume=0.1):
    """One decision: turns the strategy's position on `symbol` to the side
    the averages give. Returns that side."""
    closes = vl.copy_rates_from_pos(symbol, vl.TIMEFRAME_M15, 1, SLOW)["close"]  # closed bars only
    side = target(closes)
    wanted = vl.POSITION_TYPE_BUY if side > 0 else vl.POSITION_TYPE_SELL
    mine = [p for p in vl.positions_get(symbol=symbol) if p.magic == MAGIC]
    for position in mine:
        if position.type != wanted:
            opposite = vl.ORDER_TYPE_SELL if position.type == vl.POSITION_TYPE_BUY else vl.ORDER_TYPE_BUY
            send(vl, {"action": vl.TRADE_ACTION_DEAL, "symbol": symbol, "type": opposite,
                      "volume": position.volume, "position": position.ticket, "magic": MAGIC})
    if not any(p.type == wanted for p in mine):
        order_type = vl.ORDER_TYPE_BUY if side > 0 else vl.ORDER_TYPE_SELL
        send(vl, {"action": vl.TRADE_ACTION_DEAL, "symbol": symbol, "type": order_type, "volume": volume,
                  "magic": MAGIC, "comment": "sma"})
    return side


@pytest.mark.parametrize("clock", ["2024-03-05T14:30Z", "2024-03-06T09:00Z", "2024-03-07T20:15Z"])
def test_a_step_holds_the_side_of_the_averages(vl5_terminal, clock):
    vl5_terminal(clock=clock)
    vl = velmora5
    closes = vl.copy_rates_from_pos("EURUSD", vl.TIMEFRAME_M15, 1, SLOW)["close"]
    side = step(vl)
    assert side == target(closes)
    [position] = vl.positions_get(symbol="EURUSD")
    assert position.type == (vl.POSITION_TYPE_BUY if side > 0 else vl.POSITION_TYPE_SELL)
    assert step(vl) == side and vl.positions_get(symbol="EURUSD") == (position,)  # nothing more to do


def test_a_step_turns_a_position_on_the_wrong_side(vl5):
    closes = vl5.copy_rates_from_pos("EURUSD", vl5.TIMEFRAME_M15, 1, SLOW)["close"]
    wrong = vl5.ORDER_TYPE_SELL if target(closes) > 0 else vl5.ORDER_TYPE_BUY
    first = send(vl5, {"action": vl5.TRADE_ACTION_DEAL, "symbol": "EURUSD", "type": wrong, "volume": 0.3,
                       "magic": MAGIC})
    step(vl5)
    [position] = vl5.positions_get()
    assert position.ticket != first.order and position.volume == 0.1
    [closing] = [d for d in vl5.history_deals_get(position=first.order) if d.entry == vl5.DEAL_ENTRY_OUT]
    # The clock stands still: turning around cost exactly the spread on 0.3 lot.
    tick = vl5.symbol_info_tick("EURUSD")
    opened_at, closed_at = (tick.bid, tick.ask) if wrong == vl5.ORDER_TYPE_SELL else (tick.ask, tick.bid)
    assert closing.profit == vl5.order_calc_profit(wrong, "EURUSD", 0.3, opened_at, closed_at) < 0
    assert vl5.account_info().balance == 10_000.0 + closing.profit
