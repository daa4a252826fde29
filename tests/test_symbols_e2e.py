"""Symbols of the user's own, defined by a [Symbol NAME] section of
terminal.ini: a US stock loaded from a history file is described, served and
traded as a built-in symbol is, with its own contract size and currencies."""
from datetime import date

import pytest

import velmora5 as vl
from velmora5 import constants as c
from velmora5 import sim
from velmora5.testing import TerminalError
from test_history_e2e import HEADER, MONDAY, as_rates, day_lines
from test_trading_e2e import deal, send

STOCK = """
[Symbol ACME]
trade_calc_mode = EXCH_STOCKS
description = Acme Corporation
path = Stocks\\US\\ACME
exchange = NYSE
trade_contract_size = 10
volume_min = 1
volume_max = 500
volume_step = 1
currency_base = USD
currency_profit = USD
"""

# An hour of minute bars rising 0.10 a minute from 100.00, spread 3 points.
# Without a tick file a bar's ticks are open, low, high, close at seconds 0,
# 20, 40, 59, so at second 30 of minute i the bid is 100 + 0.1 * i - 0.02.
BARS = [f"{MONDAY + 60 * i},{100 + 0.1 * i:.2f},{100.12 + 0.1 * i:.2f},{99.98 + 0.1 * i:.2f},"
        f"{100.1 + 0.1 * i:.2f},4,3,100" for i in range(60)]


def prepare(vl5_terminal, tmp_path, section, bars=("M1.csv", BARS)):
    """A terminal program whose terminal.ini ends with `section`, ACME's
    history in `tmp_path`; returns the program and the file's line count."""
    (tmp_path / "ACME").mkdir()
    (tmp_path / "ACME" / bars[0]).write_text("\n".join([HEADER, *bars[1]]) + "\n")
    exe = vl5_terminal.install()
    ini = vl5_terminal.register(exe) / "config" / "terminal.ini"
    ini.write_text(ini.read_text() + section)
    return exe, len(ini.read_text().splitlines())


def test_a_stock_of_ones_own_is_described_served_and_traded(vl5_terminal, tmp_path):
    exe, _ = prepare(vl5_terminal, tmp_path, STOCK)
    vl5_terminal(exe=exe, history="ACME", history_dir=str(tmp_path), clock=MONDAY + 10 * 60 + 30, stepped=True)
    info = vl.symbol_info("ACME")
    assert info is not None, vl.last_error()
    assert (info.custom, info.trade_calc_mode, info.digits, info.trade_contract_size) == (True, 32, 2, 10.0)
    assert (info.currency_base, info.currency_profit, info.currency_margin) == ("USD", "USD", "USD")
    assert (info.volume_min, info.volume_max, info.volume_step) == (1.0, 500.0, 1.0)
    assert (info.description, info.path, info.exchange) == ("Acme Corporation", "Stocks\\US\\ACME", "NYSE")
    assert (info.bid, info.ask, info.trade_tick_value) == (100.98, 101.01, 0.1)
    assert "ACME" in [s.name for s in vl.symbols_get()] and vl.symbol_select("ACME", True)
    # Paid in full, without the account's leverage: 3 lots of 10 shares.
    assert vl.order_calc_margin(c.ORDER_TYPE_BUY, "ACME", 3.0, 101.01) == 3030.3
    assert send(**deal("ACME", c.ORDER_TYPE_SELL, 1.5)).retcode == c.TRADE_RETCODE_INVALID_VOLUME

    bought = send(**deal("ACME", c.ORDER_TYPE_BUY, 3.0))
    assert (bought.retcode, bought.price) == (c.TRADE_RETCODE_DONE, 101.01)
    sim.advance_to(MONDAY + 40 * 60 + 30)  # bid 103.98, ask 104.01
    sold = send(**deal("ACME", c.ORDER_TYPE_SELL, 2.0))
    assert (sold.retcode, sold.price) == (c.TRADE_RETCODE_DONE, 103.98)
    closed = send(**deal("ACME", c.ORDER_TYPE_SELL, 3.0, position=bought.order))
    sim.advance_to(MONDAY + 50 * 60 + 30)  # bid 104.98, ask 105.01
    covered = send(**deal("ACME", c.ORDER_TYPE_BUY, 2.0, position=sold.order))
    profits = {d.order: d.profit for d in vl.history_deals_get(MONDAY, MONDAY + 86400)}
    assert profits[closed.order] == 89.1  # (103.98 - 101.01) x 3 lots x 10
    assert profits[covered.order] == -20.6  # (103.98 - 105.01) x 2 lots x 10
    assert vl.account_info().balance == round(10000 + 89.1 - 20.6, 2)

    sim.advance_to(MONDAY + 2 * 3600)
    m1 = vl.copy_rates_range("ACME", c.TIMEFRAME_M1, MONDAY - 3600, MONDAY + 2 * 3600)
    assert m1.tobytes() == as_rates(BARS, m1.dtype).tobytes()


def test_a_section_it_cannot_take_stops_the_start(vl5_terminal, tmp_path):
    exe, lines = prepare(vl5_terminal, tmp_path, STOCK + "volume_step = 0\n")
    with pytest.raises(TerminalError) as refused:
        vl5_terminal(exe=exe, history="ACME", history_dir=str(tmp_path), connect=False)
    assert f"terminal64: terminal.ini line {lines}: bad value '0' for volume_step" in str(refused.value)


@pytest.mark.parametrize("monday, opens", [(date(2024, 1, 8), 14 * 60 + 30), (date(2024, 7, 8), 13 * 60 + 30)],
                         ids=["winter", "summer"])
def test_a_stock_of_ones_own_from_daily_bars_trades_in_new_york_hours(vl5_terminal, tmp_path, monday, opens):
    first = (monday - date(1970, 1, 1)).days
    lines = day_lines(first, 5)
    hours = "timezone = America/New_York\nhours = Mon-Fri 09:30-16:00\n"
    exe, _ = prepare(vl5_terminal, tmp_path, STOCK + hours, bars=("D1.csv", lines))
    day = first * 86400
    vl5_terminal(exe=exe, history="ACME", history_dir=str(tmp_path), clock=day + (opens - 1) * 60, stepped=True)
    buy = deal("ACME", c.ORDER_TYPE_BUY, 1.0)
    assert send(**buy).retcode == c.TRADE_RETCODE_MARKET_CLOSED  # 09:29 New York
    sim.advance_to(day + opens * 60 + 30)
    assert send(**buy).retcode == c.TRADE_RETCODE_DONE
    sim.advance_to(day + (opens + 390) * 60)  # 16:00 New York
    assert send(**buy).retcode == c.TRADE_RETCODE_MARKET_CLOSED
    sim.advance_to(day + 5 * 86400)
    d1 = vl.copy_rates_range("ACME", c.TIMEFRAME_D1, 0, day + 5 * 86400)
    assert d1.tobytes() == as_rates(lines, d1.dtype).tobytes()
