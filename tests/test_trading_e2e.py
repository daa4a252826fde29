"""Paper trading end to end: a real terminal64 books positions, orders and
deals, and the module reads them back as the account sees them.

Most tests take the vl5 fixture, whose terminal clock stands still, so
prices repeat; the pending order test runs it at 600 times real time from a
set moment, so the market moves minutes in a fraction of a second and the
order gets triggered.
"""
import re
import subprocess
import time

import numpy as np
import pytest

import velmora5 as vl
from velmora5 import constants as c
from test_terminal_e2e import FROZEN, data_folders

pytestmark = pytest.mark.vl5(clock=FROZEN)

DISABLED = (-8, "Auto-Trading using Python API disabled in Terminal")


def send(**request):
    result = vl.order_send(request)
    assert result is not None, vl.last_error()
    return result


def deal(symbol, order_type, volume, **extra):
    return dict(action=c.TRADE_ACTION_DEAL, symbol=symbol, type=order_type, volume=volume, **extra)


def test_a_position_from_open_to_close(vl5):
    before = vl.account_info()
    tick = vl.symbol_info_tick("EURUSD")
    opened = send(**deal("EURUSD", c.ORDER_TYPE_BUY, 0.1, price=tick.ask, deviation=5, magic=42, comment="e2e"))
    assert (opened.retcode, opened.price, opened.volume, opened.bid, opened.ask) == (
        c.TRADE_RETCODE_DONE, tick.ask, 0.1, tick.bid, tick.ask)
    ticket = opened.order

    [position] = vl.positions_get()
    assert (position.ticket, position.identifier, position.type, position.symbol) == (
        ticket, ticket, c.POSITION_TYPE_BUY, "EURUSD")
    assert (position.magic, position.comment, position.price_open, position.price_current) == (
        42, "e2e", tick.ask, tick.bid)
    assert position.time == FROZEN and position.reason == c.POSITION_REASON_EXPERT
    assert vl.positions_total() == 1
    assert vl.positions_get(ticket=ticket) == (position,)
    assert vl.positions_get(symbol="EURUSD") == (position,) and vl.positions_get(symbol="GBPUSD") == ()
    assert vl.positions_get(group="*USD") == (position,) and vl.positions_get(group="*,!EUR*") == ()

    deals = vl.history_deals_get(FROZEN - 60, FROZEN + 60)
    assert [(d.type, d.entry) for d in deals] == [(c.DEAL_TYPE_BALANCE, c.DEAL_ENTRY_IN), (c.DEAL_TYPE_BUY, c.DEAL_ENTRY_IN)]
    assert deals[0].profit == before.balance
    assert vl.history_deals_get(position=ticket) == deals[1:]
    assert (deals[1].ticket, deals[1].order, deals[1].price, deals[1].magic) == (opened.deal, ticket, tick.ask, 42)

    # The margin and floating profit booked are what the calculators answer.
    account = vl.account_info()
    assert account.margin == vl.order_calc_margin(c.ORDER_TYPE_BUY, "EURUSD", 0.1, tick.ask)
    assert position.profit == vl.order_calc_profit(c.ORDER_TYPE_BUY, "EURUSD", 0.1, tick.ask, tick.bid) < 0
    assert account.profit == position.profit
    assert account.equity == pytest.approx(before.balance + position.profit, abs=0.001)
    assert account.margin_free == pytest.approx(account.equity - account.margin, abs=0.001)

    closed = send(**deal("EURUSD", c.ORDER_TYPE_SELL, 0.1, position=ticket))
    assert (closed.retcode, closed.price) == (c.TRADE_RETCODE_DONE, tick.bid)
    assert vl.positions_total() == 0 and vl.positions_get(ticket=ticket) == ()
    [out] = vl.history_deals_get(ticket=closed.deal)
    assert (out.entry, out.type, out.position_id, out.order, out.profit) == (
        c.DEAL_ENTRY_OUT, c.DEAL_TYPE_SELL, ticket, closed.order, position.profit)
    after = vl.account_info()
    assert after.balance == before.balance + out.profit
    assert (after.margin, after.profit, after.equity) == (0.0, 0.0, after.balance)

    orders = vl.history_orders_get(position=ticket)
    assert [(o.ticket, o.state, o.type) for o in orders] == [
        (ticket, c.ORDER_STATE_FILLED, c.ORDER_TYPE_BUY), (closed.order, c.ORDER_STATE_FILLED, c.ORDER_TYPE_SELL)]
    assert vl.history_orders_get(FROZEN, FROZEN) == orders
    assert vl.history_orders_total(FROZEN, FROZEN) == 2 and vl.history_deals_total(FROZEN, FROZEN) == 3
    assert vl.history_deals_get(position=ticket) == (deals[1], out)


@pytest.mark.parametrize("symbol, order_type, volume", [
    ("USDJPY", c.ORDER_TYPE_BUY, 0.3),     # profit in yen, converted
    ("EURJPY", c.ORDER_TYPE_SELL, 0.2),
    ("XAUUSD", c.ORDER_TYPE_SELL, 0.5),    # 100 ounces a lot
    # whole shares, while the exchange is open (it closes at 21:00 UTC)
    pytest.param("KSTL", c.ORDER_TYPE_BUY, 25.0, marks=pytest.mark.vl5(clock=FROZEN - 3 * 3600)),
])
def test_margin_and_profit_agree_with_the_calculators(vl5, symbol, order_type, volume):
    tick = vl.symbol_info_tick(symbol)
    buy = order_type == c.ORDER_TYPE_BUY
    price, close = (tick.ask, tick.bid) if buy else (tick.bid, tick.ask)
    margin = vl.order_calc_margin(order_type, symbol, volume, price)
    profit = vl.order_calc_profit(order_type, symbol, volume, price, close)
    assert margin > 0 and profit < 0  # the spread is paid on the way in

    check = vl.order_check(deal(symbol, order_type, volume))
    assert (check.retcode, check.comment, check.margin) == (0, "Done", margin)
    assert check.margin_free == pytest.approx(check.equity - margin, abs=0.001)
    assert check.margin_level == pytest.approx(100 * check.equity / margin)

    opened = send(**deal(symbol, order_type, volume))
    assert opened.price == price
    [position] = vl.positions_get(symbol=symbol)
    assert position.profit == profit
    assert vl.account_info().margin == margin
    closed = send(**deal(symbol, c.ORDER_TYPE_SELL if buy else c.ORDER_TYPE_BUY, volume, position=opened.order))
    assert vl.history_deals_get(ticket=closed.deal)[0].profit == profit
    assert vl.account_info().balance == 10000.0 + profit


def test_refused_requests_carry_their_return_code(vl5):
    tick = vl.symbol_info_tick("EURUSD")
    refused = [
        (deal("EURUSD", c.ORDER_TYPE_BUY, 50.0), c.TRADE_RETCODE_NO_MONEY),       # 50 lots need ~50000
        (deal("EURUSD", c.ORDER_TYPE_BUY, 0.015), c.TRADE_RETCODE_INVALID_VOLUME),
        (deal("EURUSD", c.ORDER_TYPE_BUY, 0.1, sl=tick.ask), c.TRADE_RETCODE_INVALID_STOPS),
        (deal("EURUSD", c.ORDER_TYPE_BUY, 0.1, type_filling=c.ORDER_FILLING_RETURN), c.TRADE_RETCODE_INVALID_FILL),
        (deal("EURUSD", c.ORDER_TYPE_BUY, 0.1, price=tick.ask - 0.001, deviation=10), c.TRADE_RETCODE_PRICE_CHANGED),
        (deal("NOWHERE", c.ORDER_TYPE_BUY, 0.1), c.TRADE_RETCODE_INVALID),
        (deal("EURUSD", c.ORDER_TYPE_SELL, 0.1, position=12345), c.TRADE_RETCODE_POSITION_CLOSED),
        (dict(action=c.TRADE_ACTION_PENDING, symbol="EURUSD", type=c.ORDER_TYPE_BUY_LIMIT, volume=0.1,
              price=tick.ask + 0.001), c.TRADE_RETCODE_INVALID_PRICE),
        (dict(action=c.TRADE_ACTION_REMOVE, order=12345), c.TRADE_RETCODE_INVALID_ORDER),
        # numbers that are not finite, whatever the action
        (deal("EURUSD", c.ORDER_TYPE_BUY, 0.1, sl=float("nan")), c.TRADE_RETCODE_INVALID_STOPS),
        (deal("EURUSD", c.ORDER_TYPE_BUY, 0.1, tp=float("inf")), c.TRADE_RETCODE_INVALID_STOPS),
        (deal("EURUSD", c.ORDER_TYPE_BUY, float("inf")), c.TRADE_RETCODE_INVALID_VOLUME),
        (dict(action=c.TRADE_ACTION_PENDING, symbol="EURUSD", type=c.ORDER_TYPE_BUY_STOP, volume=0.1,
              price=float("inf")), c.TRADE_RETCODE_INVALID_PRICE),
    ]
    for request, retcode in refused:
        check = vl.order_check(request)
        assert check.retcode == retcode, request
        assert check.balance == 10000.0 and check.comment
        result = send(**request)
        assert (result.retcode, result.order, result.deal) == (retcode, 0, 0), request
    no_money = vl.order_check(refused[0][0])
    assert no_money.comment == "No money" and no_money.margin_free < 0
    assert vl.positions_total() == 0 and vl.orders_total() == 0
    assert vl.history_orders_total(0, FROZEN + 60) == 0
    assert vl.account_info().balance == 10000.0
    for args in [("EURUSD", float("nan"), tick.ask), ("EURUSD", 1e306, tick.ask)]:
        assert vl.order_calc_margin(c.ORDER_TYPE_BUY, *args) is None
        assert vl.last_error() == (-2, "Terminal: Invalid params")
    assert vl.order_calc_profit(c.ORDER_TYPE_SELL, "EURUSD", 0.1, tick.bid, float("inf")) is None


def wait_for(probe, timeout=5.0):
    """The first truthy result of `probe`, polled while the clock runs."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = probe()
        if result:
            return result
        time.sleep(0.02)
    pytest.fail("the market did not get there in time")


def test_pending_orders_trigger_as_the_market_moves(vl5_terminal):
    vl5_terminal(clock=FROZEN, clock_speed=600)
    tick = vl.symbol_info_tick("EURUSD")
    pending = dict(action=c.TRADE_ACTION_PENDING, symbol="EURUSD", volume=0.1)
    # A straddle close to the market: the path soon reaches one side.
    up = send(**pending, type=c.ORDER_TYPE_BUY_STOP, price=round(tick.ask + 0.0002, 5))
    down = send(**pending, type=c.ORDER_TYPE_SELL_STOP, price=round(tick.bid - 0.0002, 5))
    far = send(**pending, type=c.ORDER_TYPE_BUY_LIMIT, price=round(tick.ask - 0.05, 5),
               type_filling=c.ORDER_FILLING_RETURN)
    assert {up.retcode, down.retcode, far.retcode} == {c.TRADE_RETCODE_PLACED}
    assert vl.orders_total() == 3
    position = wait_for(lambda: vl.positions_get())[0]
    triggered = up if position.ticket == up.order else down
    assert position.ticket == triggered.order

    [order] = vl.history_orders_get(ticket=triggered.order)
    [deal_in] = vl.history_deals_get(position=triggered.order)
    assert order.state == c.ORDER_STATE_FILLED and order.time_done_msc == deal_in.time_msc
    assert (deal_in.order, deal_in.entry, deal_in.price) == (order.ticket, c.DEAL_ENTRY_IN, position.price_open)
    # It filled at the first tick after it was placed that reached its price.
    ticks = vl.copy_ticks_range("EURUSD", order.time_setup, deal_in.time + 1, c.COPY_TICKS_ALL)
    ticks = ticks[(ticks["time_msc"] > order.time_setup_msc) & (ticks["time_msc"] <= deal_in.time_msc)]
    buy = order.type == c.ORDER_TYPE_BUY_STOP
    reached = ticks["ask"] >= order.price_open if buy else ticks["bid"] <= order.price_open
    assert reached[-1] and not np.any(reached[:-1])
    assert ticks["time_msc"][-1] == deal_in.time_msc
    assert deal_in.price == (ticks["ask"][-1] if buy else ticks["bid"][-1])

    # Tight stops on the new position: one of them closes it soon.
    now = vl.symbol_info_tick("EURUSD")
    close = now.bid if buy else now.ask
    sl, tp = (close - 0.0003, close + 0.0003) if buy else (close + 0.0003, close - 0.0003)
    stops = send(action=c.TRADE_ACTION_SLTP, position=position.ticket, sl=round(sl, 5), tp=round(tp, 5))
    assert stops.retcode == c.TRADE_RETCODE_DONE
    wait_for(lambda: vl.positions_get(ticket=position.ticket) == ())
    out = vl.history_deals_get(position=position.ticket)[-1]
    assert out.entry == c.DEAL_ENTRY_OUT and out.reason in (c.DEAL_REASON_SL, c.DEAL_REASON_TP)
    assert (out.reason == c.DEAL_REASON_TP) == (out.profit > 0)
    assert vl.history_orders_get(ticket=out.order)[0].reason == out.reason
    assert vl.account_info().balance == 10000.0 + out.profit

    # The far limit is still waiting; removing it files it as cancelled.
    assert far.order in [o.ticket for o in vl.orders_get()]
    assert send(action=c.TRADE_ACTION_REMOVE, order=far.order).retcode == c.TRADE_RETCODE_DONE
    assert vl.history_orders_get(ticket=far.order)[0].state == c.ORDER_STATE_CANCELED


def test_close_by_books_the_pair_on_the_first_position(vl5):
    buy = send(**deal("GBPUSD", c.ORDER_TYPE_BUY, 0.1))
    sell = send(**deal("GBPUSD", c.ORDER_TYPE_SELL, 0.04))
    closed = send(action=c.TRADE_ACTION_CLOSE_BY, position=buy.order, position_by=sell.order)
    assert (closed.retcode, closed.volume, closed.price) == (c.TRADE_RETCODE_DONE, 0.04, sell.price)
    [left] = vl.positions_get()
    assert (left.ticket, left.volume) == (buy.order, 0.06)
    first = vl.history_deals_get(position=buy.order)[-1]
    second = vl.history_deals_get(position=sell.order)[-1]
    assert first.entry == second.entry == c.DEAL_ENTRY_OUT_BY
    assert first.profit == vl.order_calc_profit(c.ORDER_TYPE_BUY, "GBPUSD", 0.04, buy.price, sell.price)
    assert second.profit == 0.0
    [order] = vl.history_orders_get(ticket=closed.order)
    assert (order.type, order.position_id, order.position_by_id) == (c.ORDER_TYPE_CLOSE_BY, buy.order, sell.order)
    assert vl.account_info().balance == 10000.0 + first.profit


def test_each_account_keeps_its_own_positions(vl5):
    mine = send(**deal("EURUSD", c.ORDER_TYPE_BUY, 0.1))
    assert vl.login(10002, password="demo2"), vl.last_error()
    assert vl.positions_get() == ()
    assert vl.account_info().balance == 50000.0
    assert [d.profit for d in vl.history_deals_get(0, FROZEN + 60)] == [50000.0]
    send(**deal("USDJPY", c.ORDER_TYPE_SELL, 1.0))
    assert vl.login(10001, password="demo"), vl.last_error()
    assert [p.ticket for p in vl.positions_get()] == [mine.order]


@pytest.mark.parametrize("where", ["command line", "terminal.ini"])
def test_the_api_switch_refuses_order_send(vl5_terminal, where):
    if where == "command line":
        vl5_terminal(clock=FROZEN, trade_api_disabled=True)
    else:
        install = vl5_terminal.install()
        done = subprocess.run([str(install), "--register"], capture_output=True, timeout=30)
        assert done.returncode == 0, done.stderr
        [folder] = data_folders()
        ini = folder / "config" / "terminal.ini"
        text, count = re.subn(r"(?m)^trade_api_disabled=0$", "trade_api_disabled=1", ini.read_text())
        assert count == 1
        ini.write_text(text)
        vl5_terminal(exe=install, clock=FROZEN)
    request = deal("EURUSD", c.ORDER_TYPE_BUY, 0.1)
    assert vl.order_send(request) is None
    assert vl.last_error() == DISABLED
    assert vl.order_check(request).retcode == 0
    assert vl.terminal_info().tradeapi_disabled is True
    assert vl.account_info().trade_expert is False
    assert vl.positions_total() == 0


@pytest.mark.vl5(accounts={10001: {"commission_per_lot": 7, "margin_call": 80, "margin_stop_out": 40}})
def test_account_costs_and_levels_from_the_settings(vl5):
    account = vl.account_info()
    assert (account.margin_so_mode, account.margin_so_call, account.margin_so_so) == (
        c.ACCOUNT_STOPOUT_MODE_PERCENT, 80.0, 40.0)
    opened = send(**deal("EURUSD", c.ORDER_TYPE_BUY, 0.1))
    [entry] = vl.history_deals_get(ticket=opened.deal)
    assert (entry.commission, entry.swap) == (-0.7, 0.0)
    assert vl.account_info().balance == account.balance - 0.7


@pytest.mark.vl5(clock=FROZEN, stepped=True, accounts={10001: {"latency_ms": 10000}})
def test_a_stepped_terminal_fills_after_the_latency_and_stays_put(vl5):
    from velmora5 import sim

    opened = send(**deal("EURUSD", c.ORDER_TYPE_BUY, 0.1))
    assert opened.retcode == c.TRADE_RETCODE_DONE
    assert sim.now().timestamp() == FROZEN  # the clock did not move
    sim.advance(30)
    ticks = vl.copy_ticks_range("EURUSD", FROZEN + 10, FROZEN + 30, c.COPY_TICKS_ALL)
    first = ticks[ticks["time_msc"] >= FROZEN * 1000 + 10000][0]
    [fill] = vl.history_deals_get(position=opened.order)
    assert (fill.time_msc, fill.price, opened.price, opened.ask) == (
        first["time_msc"], first["ask"], first["ask"], first["ask"])
