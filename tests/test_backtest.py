"""velmora5.backtest.run end to end: repeatable runs, fills at the ticks the
steps cross, statistics that agree with the deals and equity, and nothing
left behind however the run ends."""
import os
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest

pd = pytest.importorskip("pandas")  # the runner's results are DataFrames

import velmora5 as vl
import velmora5.testing
from velmora5 import backtest, sim
from velmora5.frames import to_seconds

WEEK = ("2024-03-04T00:00Z", "2024-03-08T21:45Z")


def send(**request):
    result = vl.order_send(request)
    assert result is not None and result.retcode == vl.TRADE_RETCODE_DONE, (result, vl.last_error())
    return result


def close_all(vl):
    for position in vl.positions_get():
        send(action=vl.TRADE_ACTION_DEAL, symbol=position.symbol, volume=position.volume, position=position.ticket,
             type=vl.ORDER_TYPE_SELL if position.type == vl.POSITION_TYPE_BUY else vl.ORDER_TYPE_BUY)


def follow(vl, symbol="EURUSD"):
    """Holds 0.2 lot on the side of the last closed quarter-hour's move; flat
    at the last bar of WEEK."""
    if sim.now() >= pd.Timestamp(WEEK[1]):
        return close_all(vl)
    flip(vl, symbol)


def flip(vl, symbol="EURUSD"):
    """Holds 0.2 lot on the side of the last closed quarter-hour's move."""
    closed = vl.copy_rates_from_pos(symbol, vl.TIMEFRAME_M15, 1, 1)[0]
    wanted = vl.POSITION_TYPE_BUY if closed["close"] >= closed["open"] else vl.POSITION_TYPE_SELL
    if any(p.type != wanted for p in vl.positions_get()):
        close_all(vl)
    if not vl.positions_get():
        send(action=vl.TRADE_ACTION_DEAL, symbol=symbol, volume=0.2,
             type=vl.ORDER_TYPE_BUY if wanted == vl.POSITION_TYPE_BUY else vl.ORDER_TYPE_SELL)


@pytest.fixture(scope="module")
def week():
    return backtest.run(follow, "EURUSD", vl.TIMEFRAME_M15, *WEEK, seed=1, progress=False)


def test_a_week_stepped_twice_gives_the_same_deals(week):
    again = backtest.run(follow, "EURUSD", vl.TIMEFRAME_M15, *WEEK, seed=1, progress=False)
    assert len(week.deals) > 50 and not week.partial
    pd.testing.assert_frame_equal(again.deals, week.deals)
    pd.testing.assert_series_equal(again.equity, week.equity)


def test_steps_over_a_weekend_at_once_or_bar_by_bar_agree(monkeypatch):
    """Far from the end the terminal skips a closed market in one step, near
    it the runner steps bar by bar: both call the strategy at the same bars."""
    runs = []
    for close_to_end in (0, 30 * 86400):
        monkeypatch.setattr(backtest, "CLOSE_TO_END", close_to_end)
        runs.append(backtest.run(flip, "EURUSD", vl.TIMEFRAME_M15, "2024-03-08T12:00Z", "2024-03-11T12:00Z",
                                 seed=4, progress=False))
    # Closed from Friday 22:00 UTC to Sunday 21:00 UTC, 17:00 New York time both, summer time
    # having begun there that Sunday.
    weekend = runs[0].equity["2024-03-08T21:00Z":"2024-03-10T23:00Z"].index
    assert [t.strftime("%a %H:%M") for t in weekend] == ["Fri 21:00", "Fri 21:15", "Fri 21:30", "Fri 21:45",
                                                         "Fri 22:00", "Sun 21:15", "Sun 21:30", "Sun 21:45",
                                                         "Sun 22:00", "Sun 22:15", "Sun 22:30", "Sun 22:45",
                                                         "Sun 23:00"]
    pd.testing.assert_frame_equal(runs[0].deals, runs[1].deals)
    pd.testing.assert_series_equal(runs[0].equity, runs[1].equity)


def test_the_statistics_agree_with_the_deals_and_the_equity(week):
    deals, equity, stats = week.deals, week.equity.to_numpy(), week.stats
    times = week.equity.index
    assert (times[0], times[-1]) == (pd.Timestamp(WEEK[0]), pd.Timestamp(WEEK[1]))  # every bar end in between
    assert stats["bars"] == len(times) - 1 == (5 * 24 - 2) * 4 - 1  # Friday closes at 22:00
    trading = deals[deals["type"] != vl.DEAL_TYPE_BALANCE]
    booked = trading[["profit", "swap", "commission", "fee"]].to_numpy().sum()
    assert stats["initial_equity"] == deals[deals["type"] == vl.DEAL_TYPE_BALANCE]["profit"].sum() == 10_000
    assert stats["net_profit"] == pytest.approx(booked, abs=1e-6)  # flat at the end
    assert stats["return_pct"] == pytest.approx(booked / 100)

    # Every pair of samples, the later below the earlier.
    falls = (equity[:, None] - equity[None, :]) / equity[:, None]
    assert stats["max_drawdown_pct"] == pytest.approx(np.triu(falls).max() * 100)
    longest = pd.Timedelta(0)
    for i, peak in enumerate(equity[:-1]):
        back = np.nonzero(equity[i + 1:] >= peak)[0]
        if not len(back):
            longest = max(longest, times[-1] - times[i])
        elif back[0] > 0:
            longest = max(longest, times[i + 1 + back[0]] - times[i])
    assert stats["max_drawdown_duration"] == longest > pd.Timedelta(0)

    positions = trading.groupby("position_id")
    results = positions[["profit", "swap", "commission", "fee"]].sum().sum(axis=1)
    assert stats["trades"] == len(results) == (trading["entry"] == vl.DEAL_ENTRY_OUT).sum()
    assert stats["win_rate"] == (results > 0).mean()
    assert stats["profit_factor"] == pytest.approx(results[results > 0].sum() / -results[results < 0].sum())
    opened, closed = positions["time_msc"].min(), positions["time_msc"].max()
    held = [((opened <= t) & (closed > t)).any() for t in times[1:]]
    assert stats["exposure_pct"] == pytest.approx(100 * np.mean(held))
    assert 0 < stats["exposure_pct"] < 100


def test_the_statistics_agree_with_empyrical(week):
    empyrical = pytest.importorskip("empyrical")
    days = week.equity.resample("1D").last().dropna()
    returns = days / pd.concat([week.equity.iloc[:1], days.iloc[:-1]]).to_numpy() - 1
    assert len(returns) == 5
    assert week.stats["sharpe"] == pytest.approx(empyrical.sharpe_ratio(returns, period="daily"))
    assert week.stats["sortino"] == pytest.approx(empyrical.sortino_ratio(returns, period="daily"))
    steps = week.equity.pct_change().dropna()
    assert week.stats["max_drawdown_pct"] == pytest.approx(-100 * empyrical.max_drawdown(steps))


def test_the_plot_draws_equity_and_drawdown_to_a_png(week, tmp_path):
    pytest.importorskip("matplotlib")
    figure = week.plot(tmp_path / "week.png")
    assert (tmp_path / "week.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    equity, drawdown = figure.axes
    assert equity.lines[0].get_ydata().tolist() == week.equity.tolist()
    lowest = drawdown.collections[0].get_paths()[0].vertices[:, 1].min()
    assert lowest == pytest.approx(-week.stats["max_drawdown_pct"])


FRIDAY, SUNDAY = to_seconds("2024-03-08T20:00Z"), to_seconds("2024-03-10T22:00Z")


def test_a_stop_gapped_by_the_weekend_fills_at_the_reopening(tmp_path):
    """Friday's last two hours at 1.08500, Sunday's first two at 1.08000: a
    buy's stop at 1.08300 closes at the reopening, in the step across the
    weekend, at the reopening bid."""
    minutes = [*range(FRIDAY, FRIDAY + 7200, 60), *range(SUNDAY, SUNDAY + 7200, 60)]
    prices = [1.085 if t < SUNDAY else 1.08 for t in minutes]
    bars = pd.DataFrame({"open": prices, "high": prices, "low": prices, "close": prices,
                         "tick_volume": 4, "spread": 10, "real_volume": 0},
                        index=pd.DatetimeIndex(pd.to_datetime(minutes, unit="s", utc=True), name="time"))

    def buy_once(vl):
        if not vl.history_deals_total(0, 2**31 - 1) > 1:
            send(action=vl.TRADE_ACTION_DEAL, symbol="EURUSD", type=vl.ORDER_TYPE_BUY, volume=0.1, sl=1.083)

    result = backtest.run(buy_once, "EURUSD", vl.TIMEFRAME_M15, FRIDAY, SUNDAY + 3600, history=bars,
                          progress=False)
    [stopped] = result.deals[result.deals["entry"] == vl.DEAL_ENTRY_OUT].itertuples()
    assert (stopped.reason, stopped.price, stopped.time_msc) == (vl.DEAL_REASON_SL, 1.08,
                                                                  pd.Timestamp(SUNDAY, unit="s", tz="UTC"))
    steps = result.equity.index
    crossing = steps.searchsorted(stopped.time_msc)
    assert (steps[crossing - 1], steps[crossing]) == (pd.Timestamp("2024-03-08T22:00Z"),
                                                      pd.Timestamp("2024-03-10T22:15Z"))
    assert result.stats["trades"] == 1 and result.stats["win_rate"] == 0.0


@pytest.mark.parametrize("transport", ["engine", "pipe"])
@pytest.mark.parametrize("error, partial", [(ValueError, False), (KeyboardInterrupt, True)])
def test_a_run_that_ends_early_leaves_nothing_behind(monkeypatch, error, partial, transport):
    factories = []

    class Recorded(velmora5.testing.TerminalFactory):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, **kwargs)
            factories.append(self)

    monkeypatch.setattr(velmora5.testing, "TerminalFactory", Recorded)
    environment = (os.environ.get("XDG_RUNTIME_DIR"), os.environ.get("XDG_DATA_HOME"))
    calls = []

    def strategy(vl):
        calls.append(vl.account_info().equity)
        follow(vl)
        if len(calls) == 3:
            raise error("stop here")

    if partial:
        try:
            result = backtest.run(strategy, "EURUSD", vl.TIMEFRAME_M15, *WEEK, progress=False, transport=transport)
        except KeyboardInterrupt:
            pytest.fail("Ctrl-C ended the run instead of returning what was done")
        assert result.partial and result.stats["bars"] == 2 and len(result.deals) >= 2
        assert "(stopped early)" in result.summary()
    else:
        with pytest.raises(ValueError, match="stop here"):
            backtest.run(strategy, "EURUSD", vl.TIMEFRAME_M15, *WEEK, progress=False, transport=transport)
    if transport == "pipe":
        [factory] = factories
        assert [t.process.poll() for t in factory.terminals] == [0]
        for folder in (factory.root, factory._extra):
            assert folder is None or not folder.exists()
    else:
        assert not factories and sim._engine is None
    assert (os.environ.get("XDG_RUNTIME_DIR"), os.environ.get("XDG_DATA_HOME")) == environment
    assert vl.terminal_info() is None


CONSOLE = textwrap.dedent("""
    import sys, time
    import velmora5 as vl, velmora5.testing
    from velmora5 import backtest

    class Shown(velmora5.testing.TerminalFactory):
        def __call__(self, **settings):
            terminal = super().__call__(**settings)
            print("terminal", terminal.process.pid, self.root, flush=True)
            return terminal

    velmora5.testing.TerminalFactory = Shown

    def slow(vl):
        if not vl.positions_total():
            vl.order_send(action=vl.TRADE_ACTION_DEAL, symbol="EURUSD", type=vl.ORDER_TYPE_BUY, volume=0.1)
        print("bar", flush=True)
        time.sleep(0.05)

    result = backtest.run(slow, "EURUSD", vl.TIMEFRAME_M15, "2024-03-04", "2024-03-09", progress=False,
                          transport="pipe")
    print("partial", result.partial, result.stats["bars"] >= 4, len(result.deals), flush=True)
""")


@pytest.mark.skipif(os.name != "posix", reason="Ctrl-C to a process group")
def test_ctrl_c_in_the_console_returns_what_was_done():
    """The terminal shares the console's Ctrl-C but must outlive it: the run
    collects its deals after the interrupt, then stops it."""
    script = subprocess.Popen([sys.executable, "-c", CONSOLE], stdout=subprocess.PIPE, text=True,
                              start_new_session=True)
    try:
        _, pid, root = script.stdout.readline().split()
        for _ in range(5):
            assert script.stdout.readline() == "bar\n"
        # The console's Ctrl-C reaches every process of its group, the terminal first here.
        os.kill(int(pid), signal.SIGINT)
        time.sleep(0.3)
        os.killpg(script.pid, signal.SIGINT)
        printed = script.stdout.read()
        assert script.wait(timeout=60) == 0
    finally:
        if script.poll() is None:
            script.kill()
    # The deposit and the buy of the first bar: the terminal of the run, not a new one.
    assert printed.startswith("bar\n" * printed.count("bar\n") + "partial True True 2\n")
    assert not os.path.exists(root) and not os.path.exists(f"/proc/{pid}")
