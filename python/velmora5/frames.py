"""Bars and ticks as pandas DataFrames, and histories longer than one reply.

The NumPy-level helpers (``to_seconds``, ``history``, ``history_ticks``) work
without pandas; the DataFrame helpers need it (``pip install velmora5[pandas]``).

Time rule of this module: a moment without a time zone is UTC. That holds
for a naive ``datetime``, a ``date`` (its midnight), a ``numpy.datetime64``,
a naive pandas ``Timestamp`` and ISO text without an offset. (The module's
own functions read a naive ``datetime`` in the computer's local time.)
"""
from __future__ import annotations

import datetime
from typing import TYPE_CHECKING, Any, Callable, List, Optional, Tuple, Union, cast

import numpy as np
from numpy.typing import NDArray

import velmora5

if TYPE_CHECKING:
    import pandas as pd

__all__ = ["to_seconds", "history", "history_ticks", "bars_frame", "ticks_frame", "history_frame", "HistoryError"]

Moment = Union[int, float, str, datetime.date, np.datetime64]
_INT32 = (-(2**31), 2**31 - 1)  # the module sends dates as signed 32-bit seconds


class HistoryError(RuntimeError):
    """A query of a history failed; carries the module's ``last_error()``."""

    def __init__(self, what: str, error: Tuple[Any, ...]):
        super().__init__(f"{what}: {error}")
        self.error = error


def to_seconds(moment: Moment) -> int:
    """Unix seconds of a moment: int or float seconds, ``datetime``, ``date``,
    ``numpy.datetime64``, pandas ``Timestamp`` or ISO 8601 text. Without a
    time zone the moment is UTC. Fractions of a second are dropped (toward
    the past)."""
    if isinstance(moment, bool):
        raise TypeError("a truth value is not a moment")
    if isinstance(moment, str):
        text = moment.strip()
        if text.endswith(("Z", "z")):  # fromisoformat takes it only from Python 3.11
            text = text[:-1] + "+00:00"
        try:
            moment = datetime.datetime.fromisoformat(text)
        except ValueError:
            raise ValueError(f"not an ISO 8601 moment: {moment!r}") from None
    if isinstance(moment, datetime.datetime):
        if moment.tzinfo is None or moment.utcoffset() is None:
            moment = moment.replace(tzinfo=datetime.timezone.utc)
        seconds = (moment - datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)) // datetime.timedelta(
            seconds=1)
    elif isinstance(moment, datetime.date):
        seconds = (moment - datetime.date(1970, 1, 1)).days * 86400
    elif isinstance(moment, np.datetime64):
        if np.isnat(moment):
            raise ValueError("NaT is not a moment")
        seconds = int(moment.astype("datetime64[s]").astype(np.int64))
    elif isinstance(moment, (int, np.integer)):
        seconds = int(moment)
    elif isinstance(moment, (float, np.floating)):
        if not np.isfinite(moment):
            raise ValueError(f"not a moment: {moment!r}")
        seconds = int(np.floor(moment))
    else:
        raise TypeError(f"not a moment: {type(moment).__name__}")
    if not _INT32[0] <= seconds <= _INT32[1]:
        raise ValueError(f"{moment!r} is outside the terminal's dates (signed 32-bit seconds)")
    return seconds


def _maxbars() -> int:
    info = velmora5.terminal_info()
    if info is None:
        raise HistoryError("terminal_info", velmora5.last_error())
    return int(info.maxbars)


def _paged(query: Callable[[int, int], Optional[NDArray[Any]]], start: int, end: int) -> NDArray[Any]:
    """Every bar of [start, end] from a query that answers at most maxbars
    bars of a range, the newest ones.

    A full page may have been cut, so the range up to one second before its
    oldest bar is asked next: bar times are unique, so no bar is fetched
    twice and none is skipped at the seam."""
    limit = _maxbars()
    pages: List[NDArray[Any]] = []
    while True:
        page = query(start, end)
        if page is None:
            raise HistoryError("copy_rates_range", velmora5.last_error())
        times = page["time"]
        if len(page) and (times[0] < start or times[-1] > end or np.any(times[1:] <= times[:-1])):
            raise HistoryError("bars out of their range or order", (start, end))
        pages.append(page)
        if len(page) < limit:
            break
        end = int(times[0]) - 1
        if end < start:
            break
    pages.reverse()
    return np.concatenate(pages) if len(pages) > 1 else pages[0]


def history(symbol: str, timeframe: int, date_from: Moment, date_to: Moment) -> NDArray[np.void]:
    """Bars of ``symbol`` opened in [date_from, date_to], the whole range in
    time order, however many replies it takes (each holds at most
    ``terminal_info().maxbars`` bars). Raises ``HistoryError`` when a query
    fails."""
    start, end = to_seconds(date_from), to_seconds(date_to)

    def query(first: int, last: int) -> Optional[NDArray[np.void]]:
        return velmora5.copy_rates_range(symbol, timeframe, first, last)

    return _paged(query, start, end) if end >= start else _none(query, start)


def history_ticks(symbol: str, date_from: Moment, date_to: Moment, flags: int = -1) -> NDArray[np.void]:
    """Ticks of ``symbol`` from ``date_from`` to ``date_to`` as ``copy_ticks_range``
    reads the range (to the first millisecond of ``date_to``'s second), in
    time order, however many replies it takes. ``flags`` is a ``COPY_TICKS_*``
    value (all ticks by default). Raises ``HistoryError`` when a query fails.

    A reply holds the first maxbars ticks of its range, so the next query
    starts at the second of the last tick received. From it, the ticks
    before that tick's millisecond are dropped, and of the ticks at that
    millisecond as many as are already held (ticks of one millisecond come
    in the same order in every reply)."""
    start, end = to_seconds(date_from), to_seconds(date_to)
    limit = _maxbars()
    pages: List[NDArray[Any]] = []
    seen: Optional[int] = None  # time_msc of the last tick held
    held = 0  # how many ticks of that millisecond are held
    while True:
        page = velmora5.copy_ticks_range(symbol, start, end, flags)
        if page is None:
            raise HistoryError("copy_ticks_range", velmora5.last_error())
        full = len(page) >= limit
        times = page["time_msc"]
        if np.any(times[1:] < times[:-1]):
            raise HistoryError("ticks out of order", (start, end))
        if seen is not None:
            known = int(np.count_nonzero(times < seen)) + held
            if known > len(page) or np.any(times[:known] > seen):
                raise HistoryError("ticks changed between two replies", (seen, start, end))
            page, times = page[known:], times[known:]
        pages.append(page)
        if not full:
            break
        if not len(page):  # the reply ends within the ticks already held
            raise HistoryError("more ticks in one second than one reply holds", (seen, limit))
        last = int(times[-1])
        held = int(np.count_nonzero(times == last)) + (held if last == seen else 0)
        seen = last
        start = seen // 1000
    return np.concatenate(pages) if len(pages) > 1 else pages[0]


def _none(query: Callable[[int, int], Optional[NDArray[Any]]], start: int) -> NDArray[Any]:
    """An empty array of bars (from a reply, so it has their dtype)."""
    page = query(start, start)
    if page is None:
        raise HistoryError("copy_rates_range", velmora5.last_error())
    return page[:0]


# ---- DataFrames ---------------------------------------------------------------------


def _pandas() -> Any:
    try:
        import pandas
    except ImportError:
        raise ImportError("DataFrames need pandas: pip install velmora5[pandas]") from None
    return pandas


def _frame(records: NDArray[np.void], index: NDArray[Any], drop: Tuple[str, ...]) -> "pd.DataFrame":
    pandas = _pandas()
    names = [name for name in records.dtype.names or () if name not in drop]
    # Each column a view of its field: no copy where pandas keeps the array.
    columns = {name: records[name] for name in names}
    utc = pandas.DatetimeIndex(index, name="time").tz_localize("UTC")
    return cast("pd.DataFrame", pandas.DataFrame(columns, index=utc, copy=False))


def bars_frame(rates: NDArray[np.void]) -> "pd.DataFrame":
    """Bars (as the ``copy_rates_*`` functions give them) as a DataFrame with
    a UTC ``DatetimeIndex`` from ``time``."""
    return _frame(rates, rates["time"].view("datetime64[s]"), ("time",))


def ticks_frame(ticks: NDArray[np.void]) -> "pd.DataFrame":
    """Ticks (as the ``copy_ticks_*`` functions give them) as a DataFrame with
    a UTC ``DatetimeIndex`` from ``time_msc``."""
    return _frame(ticks, ticks["time_msc"].view("datetime64[ms]"), ("time", "time_msc"))


def history_frame(symbol: str, timeframe: int, date_from: Moment, date_to: Moment) -> "pd.DataFrame":
    """``history`` as a DataFrame (``bars_frame``)."""
    return bars_frame(history(symbol, timeframe, date_from, date_to))
