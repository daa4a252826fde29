"""velmora5.frames: moments of every kind to seconds, histories paged past
maxbars with nothing lost or repeated at the seams, bars and ticks as
DataFrames over the arrays' own memory, and the NumPy helpers without pandas."""
import datetime
import subprocess
import sys

import numpy as np
import pytest

import velmora5 as vl
from velmora5 import frames

from conftest import run_python
from test_history_e2e import MONDAY, write_history

UTC = datetime.timezone.utc
T = 1_709_649_000  # 2024-03-05 14:30:00 UTC


def test_moments_to_seconds():
    pd = pytest.importorskip("pandas")
    plus_two = datetime.timezone(datetime.timedelta(hours=2))
    same = [
        T, T + 0.999, np.int64(T), datetime.datetime(2024, 3, 5, 14, 30), datetime.datetime(2024, 3, 5, 14, 30, tzinfo=UTC),
        datetime.datetime(2024, 3, 5, 16, 30, tzinfo=plus_two), np.datetime64("2024-03-05T14:30:00.999999999"),
        np.datetime64("2024-03-05T14:30", "m"), pd.Timestamp("2024-03-05 14:30:00.5"),
        pd.Timestamp("2024-03-05 09:30", tz="America/New_York"), "2024-03-05T14:30:00Z", "2024-03-05 14:30",
        "2024-03-05T17:30:00+03:00",
    ]
    assert [frames.to_seconds(moment) for moment in same] == [T] * len(same)
    assert frames.to_seconds(datetime.date(2024, 3, 5)) == frames.to_seconds("2024-03-05") == T - 14 * 3600 - 1800
    assert frames.to_seconds(-0.5) == -1 and frames.to_seconds(np.datetime64("1969-12-31T23:59:59")) == -1
    for bad, error in [(True, TypeError), (None, TypeError), ("5 March", ValueError), (np.datetime64("NaT"), ValueError),
                       (float("nan"), ValueError), (2**31, ValueError), ("2038-01-19T03:14:08Z", ValueError)]:
        with pytest.raises(error):
            frames.to_seconds(bad)


def by_hand(symbol, timeframe, start, end, step):
    """The range asked in pieces of `step` seconds, each under maxbars."""
    pieces = [vl.copy_rates_range(symbol, timeframe, first, min(first + step - 1, end))
              for first in range(start, end + 1, step)]
    return np.concatenate(pieces)


@pytest.mark.vl5(maxbars=1000)
@pytest.mark.parametrize("minutes", [999, 1000, 1001, 2000, 4321])
def test_history_pages_past_maxbars(vl5, minutes, monkeypatch):
    end = T - 600
    start = end - (minutes - 1) * 60
    pages = []
    monkeypatch.setattr(vl, "copy_rates_range", lambda *a, real=vl.copy_rates_range: pages.append(a) or real(*a))
    bars = frames.history("BTCUSD", vl.TIMEFRAME_M1, start, end)  # trades every minute: no weekend gap
    monkeypatch.undo()
    assert len(bars) == minutes and vl.terminal_info().maxbars == 1000
    assert len(pages) == -(-minutes // 1000)  # one query a page; the last ends at the start
    assert np.array_equal(bars, by_hand("BTCUSD", vl.TIMEFRAME_M1, start, end, 500 * 60))
    assert bars["time"][0] == start and bars["time"][-1] == end and np.all(np.diff(bars["time"]) == 60)


@pytest.mark.vl5(clock="2026-01-01")
def test_twenty_years_of_minutes_arrive_whole(vl5):
    bars = frames.history("EURUSD", vl.TIMEFRAME_M1, datetime.date(2006, 1, 1), "2025-12-31T23:59:00")
    assert len(bars) > vl.terminal_info().maxbars
    assert np.all(np.diff(bars["time"]) > 0)
    at = 0
    for year in range(2006, 2026):  # a year of minutes is far below maxbars
        piece = vl.copy_rates_range("EURUSD", vl.TIMEFRAME_M1, frames.to_seconds(f"{year}-01-01"),
                                    frames.to_seconds(f"{year}-12-31T23:59:59"))
        assert np.array_equal(bars[at:at + len(piece)], piece), year
        at += len(piece)
    assert at == len(bars)


def test_a_failed_query_raises(vl5):
    with pytest.raises(frames.HistoryError) as failed:
        frames.history("NOWHERE", vl.TIMEFRAME_M1, T - 3600, T)
    assert failed.value.error[0] == -4
    assert len(frames.history("EURUSD", vl.TIMEFRAME_M1, T, T - 60)) == 0


def test_frames_share_the_arrays_memory(vl5):
    pd = pytest.importorskip("pandas")
    rates = vl.copy_rates_range("EURUSD", vl.TIMEFRAME_H1, T - 86400, T)
    bars = frames.bars_frame(rates)
    assert list(bars.columns) == [name for name in rates.dtype.names if name != "time"]
    assert bars.index.tz is not None and str(bars.index.tz) == "UTC"
    assert list(bars.index.asi8 // 10**9 if bars.index.unit == "ns" else bars.index.asi8) == list(rates["time"])
    assert all(np.shares_memory(bars[name].to_numpy(), rates) for name in bars.columns)
    assert bars["close"].to_numpy().tolist() == rates["close"].tolist()
    ticks = vl.copy_ticks_range("EURUSD", T - 60, T, vl.COPY_TICKS_ALL)
    table = frames.ticks_frame(ticks)
    assert table.index[0] == pd.Timestamp(int(ticks["time_msc"][0]), unit="ms", tz="UTC")
    assert table.index.is_monotonic_increasing and list(table.columns) == ["bid", "ask", "last", "volume", "flags",
                                                                        "volume_real"]
    assert frames.history_frame("EURUSD", vl.TIMEFRAME_H1, T - 86400, T).equals(bars)


def test_numpy_helpers_without_pandas(vl5_terminal):
    terminal = vl5_terminal(clock=T, connect=False)
    out = run_python(
        "import sys; sys.modules['pandas'] = None\n"
        "import velmora5 as vl; from velmora5 import frames\n"
        "assert vl.initialize(sys.argv[1]), vl.last_error()\n"
        "print(len(frames.history('EURUSD', vl.TIMEFRAME_M1, '2024-03-05', '2024-03-05T01:00Z')))\n"
        "try:\n    frames.bars_frame(frames.history('EURUSD', 1, 0, 0))\n"
        "except ImportError as e:\n    print(e)\n", terminal.path)
    assert out.splitlines() == ["61", "DataFrames need pandas: pip install velmora5[pandas]"]


def test_tick_history_pages_past_maxbars(vl5_terminal):
    """Tick replies keep the first maxbars ticks of a range; the helper's
    pages join into what one reply of a terminal without the cap holds."""
    start, end = T - 6 * 3600, T
    vl5_terminal(clock=T, maxbars=1000)
    paged = frames.history_ticks("EURUSD", start, end)
    assert len(vl.copy_ticks_range("EURUSD", start, end, vl.COPY_TICKS_ALL)) == 1000
    vl5_terminal(clock=T)
    whole = vl.copy_ticks_range("EURUSD", start, end, vl.COPY_TICKS_ALL)
    assert len(whole) > 2000 and np.array_equal(paged, whole)
    assert np.array_equal(frames.history_ticks("EURUSD", start, end, vl.COPY_TICKS_INFO), whole)


def crowded_ticks():
    """2500 loaded ticks whose page boundaries (maxbars 1000) fall inside a
    crowded second: thirty ticks of one millisecond across the first, eighty
    ticks of one second (each its own millisecond) across the second. Bids
    count the ticks, so each tick is known by its bid."""
    at = []
    for i in range(2500):
        if i < 980:
            at.append(MONDAY * 1000 + 10 * i)
        elif i < 1060:  # second 10: 990..1019 all at its millisecond 100
            at.append((MONDAY + 10) * 1000 + (i - 980 if i < 990 else 100 if i < 1020 else 200 + i - 1020))
        elif i < 1950:
            at.append((MONDAY + 11) * 1000 + 10 * (i - 1060))
        elif i < 2031:  # second 21
            at.append((MONDAY + 21) * 1000 + 5 * (i - 1950))
        else:
            at.append((MONDAY + 22) * 1000 + 10 * (i - 2031))
    return at, [f"{ms},{1 + i / 1e5:.5f},{1.001 + i / 1e5:.5f},0,0,6" for i, ms in enumerate(at)]


def test_tick_pages_that_end_inside_a_crowded_second_or_millisecond(vl5_terminal, tmp_path):
    at, lines = crowded_ticks()
    bars = [f"{MONDAY + 60 * i},1.00000,1.03000,0.99000,1.02000,100,10,0" for i in range(3)]
    vl5_terminal(history="EURUSD", history_dir=str(write_history(tmp_path, bars, lines)), clock=MONDAY + 86400,
                 maxbars=1000)
    first = vl.copy_ticks_range("EURUSD", MONDAY, MONDAY + 120, vl.COPY_TICKS_ALL)
    second = vl.copy_ticks_range("EURUSD", MONDAY + 10, MONDAY + 120, vl.COPY_TICKS_ALL)
    # The boundaries as meant: in the crowded millisecond, then in the crowded second.
    assert first["time_msc"][-1] == at[999] == at[1019] and len(first) == 1000
    assert second["time_msc"][-1] == at[1979] and at[1950] // 1000 == at[2030] // 1000 == at[1979] // 1000
    ticks = frames.history_ticks("EURUSD", MONDAY, MONDAY + 120)
    assert ticks["time_msc"].tolist() == at
    assert np.round((ticks["bid"] - 1) * 1e5).astype(int).tolist() == list(range(2500))
