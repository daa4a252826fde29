"""History from CSV files end to end: terminal64 serves the loaded bars as
they are written, aggregates them, replays them as a live market, and
refuses a malformed file before it starts."""
import random

import numpy as np
import pytest

import velmora5 as vl
from velmora5 import constants as c
from velmora5.testing import TerminalError
from test_trading_e2e import send, wait_for

MONDAY = 1709546400  # 2024-03-04 10:00 UTC
HEADER = "time,open,high,low,close,tick_volume,spread,real_volume"


def bar_lines(count, start=MONDAY, seed=7):
    """`count` minute bars of a random walk, as CSV lines with 5 decimals."""
    rnd = random.Random(seed)
    price, lines = 108500, []
    for i in range(count):
        close = price + rnd.randint(-25, 25)
        high, low = max(price, close) + rnd.randint(0, 9), min(price, close) - rnd.randint(0, 9)
        prices = ",".join(f"{p / 1e5:.5f}" for p in (price, high, low, close))
        lines.append(f"{start + 60 * i},{prices},{rnd.randint(1, 400)},{rnd.randint(0, 20)},{rnd.randint(0, 9)}")
        price = close
    return lines


def write_history(folder, bars, ticks=None, symbol="EURUSD"):
    (folder / symbol).mkdir()
    (folder / symbol / "M1.csv").write_text("\n".join([HEADER, *bars]) + "\n")
    if ticks is not None:
        (folder / symbol / "ticks.csv").write_text("\n".join(ticks) + "\n")
    return folder


def as_rates(lines, dtype):
    """The records a CSV line stands for, each number read as Python reads it."""
    rows = []
    for line in lines:
        t, o, h, l, cl, tv, sp, rv = line.split(",")
        rows.append((int(t), float(o), float(h), float(l), float(cl), int(tv), int(sp), int(rv)))
    return np.array(rows, dtype=dtype)


def test_loaded_bars_come_back_exactly_and_aggregate(vl5_terminal, tmp_path):
    lines = bar_lines(600)  # Monday 10:00 to 19:59
    vl5_terminal(history="EURUSD", history_dir=str(write_history(tmp_path, lines)), clock=MONDAY + 86400)
    m1 = vl.copy_rates_range("EURUSD", c.TIMEFRAME_M1, MONDAY - 86400, MONDAY + 86400)
    assert m1.tobytes() == as_rates(lines, m1.dtype).tobytes()

    h1 = vl.copy_rates_range("EURUSD", c.TIMEFRAME_H1, MONDAY - 86400, MONDAY + 86400)
    hours = m1["time"] // 3600 * 3600
    assert h1["time"].tolist() == sorted(set(hours.tolist()))
    for bar in h1:
        part = m1[hours == bar["time"]]
        assert (bar["open"], bar["close"]) == (part["open"][0], part["close"][-1])
        assert (bar["high"], bar["low"]) == (part["high"].max(), part["low"].min())
        assert (bar["tick_volume"], bar["real_volume"]) == (part["tick_volume"].sum(), part["real_volume"].sum())
        assert bar["spread"] == part["spread"].min()
    [day] = vl.copy_rates_from_pos("EURUSD", c.TIMEFRAME_D1, 0, 5)
    assert (day["time"], day["high"], day["tick_volume"]) == (MONDAY - 10 * 3600, m1["high"].max(),
                                                              m1["tick_volume"].sum())
    # Without a tick file every bar's ticks run open, low, high, close (this bar rose).
    rising = m1[m1["close"] > m1["open"]][0]
    ticks = vl.copy_ticks_range("EURUSD", int(rising["time"]), int(rising["time"]) + 59, c.COPY_TICKS_ALL)
    assert ticks["bid"].tolist() == [rising[k] for k in ("open", "low", "high", "close")]
    assert set((ticks["ask"] - ticks["bid"]).round(5)) == {rising["spread"] / 1e5}
    # Other symbols keep their generated prices.
    assert len(vl.copy_rates_range("GBPUSD", c.TIMEFRAME_M1, MONDAY, MONDAY + 600)) == 11


def test_a_replay_fills_a_pending_order_at_the_loaded_price(vl5_terminal, tmp_path):
    # An hour of ticks every 10 s: the ask stands at 1.08600 and drops to
    # 1.08500 after 45 minutes, 4.5 s into the replay.
    drop = (MONDAY + 2700) * 1000
    ticks = [f"{ms},{'1.08590,1.08600' if ms < drop else '1.08490,1.08500'},0,0,6"
             for ms in range(MONDAY * 1000, (MONDAY + 3600) * 1000, 10000)]
    bars = [f"{MONDAY + 60 * i},{','.join(['1.08590' if i < 45 else '1.08490'] * 4)},6,10,0" for i in range(60)]
    vl5_terminal(history="EURUSD", history_dir=str(write_history(tmp_path, bars, ticks)), clock=MONDAY + 60,
                 clock_speed=600)
    tick = vl.symbol_info_tick("EURUSD")
    assert tick.ask == 1.086 and tick.time_msc % 10000 == 0
    order = send(action=c.TRADE_ACTION_PENDING, symbol="EURUSD", type=c.ORDER_TYPE_BUY_LIMIT, volume=0.1,
                 price=1.0855)
    assert order.retcode == c.TRADE_RETCODE_PLACED
    [position] = wait_for(lambda: vl.positions_get(), timeout=30)
    [deal_in] = vl.history_deals_get(position=position.ticket)
    assert (deal_in.price, deal_in.time_msc) == (1.085, drop)
    assert vl.history_orders_get(ticket=order.order)[0].state == c.ORDER_STATE_FILLED


GOOD = bar_lines(3)


def with_field(line, column, text):
    fields = line.split(",")
    fields[column] = text
    return ",".join(fields)


@pytest.mark.parametrize("line, problem", [
    (with_field(GOOD[2], 2, "1.08q00"), "line 4: bad value '1.08q00' in column high"),
    (GOOD[0], f"line 4: time {MONDAY} is not after the line before"),
    (GOOD[2].rsplit(",", 1)[0], "line 4: missing column real_volume"),
])
def test_a_malformed_history_file_stops_the_start(vl5_terminal, tmp_path, line, problem):
    write_history(tmp_path, [GOOD[0], GOOD[1], line])
    with pytest.raises(TerminalError) as refused:
        vl5_terminal(history="EURUSD", history_dir=str(tmp_path), connect=False)
    assert f"history not loaded: {tmp_path}/EURUSD/M1.csv {problem}" in str(refused.value)
    assert "(status 1)" in str(refused.value)


def day_lines(first_day, count):
    """`count` weekday D1 bars of KSTL from `first_day` (a date's Unix day)."""
    rnd = random.Random(11)
    lines, day, price = [], first_day, 18500
    while len(lines) < count:
        if (day + 4) % 7 not in (0, 6):  # not Sunday or Saturday
            close = price + rnd.randint(-300, 300)
            high, low = max(price, close) + rnd.randint(1, 90), min(price, close) - rnd.randint(1, 90)
            prices = ",".join(f"{p / 100:.2f}" for p in (price, high, low, close))
            lines.append(f"{day * 86400},{prices},{rnd.randint(4, 9000)},{rnd.randint(1, 5)},{rnd.randint(0, 10**6)}")
            price = close
        day += 1
    return lines


def test_daily_bars_serve_days_weeks_months_and_the_market_ends_with_them(vl5_terminal, tmp_path):
    first = 19751  # Monday 2024-01-29
    lines = day_lines(first, 30)
    (tmp_path / "KSTL").mkdir()
    (tmp_path / "KSTL" / "D1.csv").write_text("\n".join([HEADER, *lines]) + "\n")
    end = int(lines[-1].split(",")[0]) + 86400
    after = end + 2 * 86400 + 15 * 3600  # Monday afternoon, in the share's hours, past the data
    vl5_terminal(history="KSTL", history_dir=str(tmp_path), clock=after)
    assert vl.symbol_select("KSTL", True)

    d1 = vl.copy_rates_range("KSTL", c.TIMEFRAME_D1, 0, after)
    assert d1.tobytes() == as_rates(lines, d1.dtype).tobytes()
    for timeframe, period in ((c.TIMEFRAME_W1, lambda t: (t // 86400 + 4) // 7),
                              (c.TIMEFRAME_MN1, lambda t: np.datetime64(int(t), "s").astype("datetime64[M]"))):
        merged = vl.copy_rates_range("KSTL", timeframe, 0, after)
        keys = [period(t) for t in d1["time"]]
        assert len(merged) == len(set(keys))
        for bar in merged:
            part = d1[[k == period(bar["time"]) for k in keys]]
            assert (bar["open"], bar["close"]) == (part["open"][0], part["close"][-1])
            assert (bar["high"], bar["low"]) == (part["high"].max(), part["low"].min())
            assert (bar["tick_volume"], bar["real_volume"]) == (part["tick_volume"].sum(), part["real_volume"].sum())

    # Shorter bars are the day's path, inside the 14:30-21:00 session: four minutes of it.
    day = d1[0]
    m1 = vl.copy_rates_range("KSTL", c.TIMEFRAME_M1, int(day["time"]), int(day["time"]) + 86399)
    assert [int(t) - int(day["time"]) for t in m1["time"]] == [
        (14 * 60 + 30 + k) * 60 for k in (0, 129, 259, 389)]
    rising = day["close"] >= day["open"]
    assert m1["open"].tolist() == [day["open"], *((day["low"], day["high"]) if rising else (day["high"], day["low"])),
                                   day["close"]]
    assert m1["tick_volume"].sum() == day["tick_volume"]

    # Past the data: no new quote, and the market is closed.
    tick = vl.symbol_info_tick("KSTL")
    assert tick.bid == d1["close"][-1] and tick.time_msc < end * 1000
    assert len(vl.copy_ticks_range("KSTL", end, after, c.COPY_TICKS_ALL)) == 0
    result = send(action=c.TRADE_ACTION_DEAL, symbol="KSTL", type=c.ORDER_TYPE_BUY, volume=1.0)
    assert result.retcode == c.TRADE_RETCODE_MARKET_CLOSED
