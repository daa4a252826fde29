"""What a sweep runs where its tasks run: one backtest in a private stepped
terminal, its failure kept as the row's error text.

This module is imported by Dask workers; they need only the installed
package. A worker process holds one engine at a time (``sim.embedded``), so a
worker's threads take turns here; start workers with one thread each.
"""
from __future__ import annotations

import contextlib
import dataclasses
import os
import shutil
import signal
import stat
import tempfile
import threading
import time
import traceback
from pathlib import Path
from typing import Any, Callable, Dict, Iterator, List, Optional

from velmora5 import _history_files, backtest
from velmora5.frames import _pandas

FOLDER_PREFIX = "vl5sweep-"  # a task's private folder: vl5sweep-<sweep id>-<random>
CANCEL_POLL = 0.5  # seconds between looks at the sweep's cancel flag while a backtest runs

_one_engine = threading.Lock()


@dataclasses.dataclass(frozen=True)
class Task:
    """One backtest of a sweep: the row it fills and what the runner takes."""

    row: int
    params: Dict[str, Any]
    symbol: str
    timeframe: int
    start: int
    end: int
    settings: Dict[str, Any]
    history_path: Optional[str] = None  # a folder every worker reads itself
    keep_equity: bool = False


@dataclasses.dataclass
class Outcome:
    """What became of a task: its statistics and deals, or why there are none."""

    row: int
    stats: Optional[Dict[str, Any]] = None
    deals: Any = None
    equity: Any = None
    error: str = ""
    cancelled: bool = False


class _Cancelled(Exception):
    pass


def error_text(error: BaseException) -> str:
    """The row's error: the exception's type and message."""
    return "".join(traceback.format_exception_only(type(error), error)).strip()


@contextlib.contextmanager
def _private_folder(sweep: str) -> Iterator[Path]:
    with tempfile.TemporaryDirectory(prefix=f"{FOLDER_PREFIX}{sweep}-") as folder:
        yield Path(folder)


def _cancellable(strategy: Callable[[Any], Any], event_name: Optional[str]) -> Callable[[Any], Any]:
    """`strategy`, stopped by the sweep's cancel flag (a Dask ``Event``),
    looked at every CANCEL_POLL seconds rather than every bar."""
    if event_name is None:
        return strategy
    from distributed import Event

    event = Event(event_name)
    if event.is_set():  # queued when the sweep was stopped
        raise _Cancelled
    look_at = time.monotonic() + CANCEL_POLL

    def step(vl: Any) -> Any:
        nonlocal look_at
        if time.monotonic() >= look_at:
            if event.is_set():
                raise _Cancelled
            look_at = time.monotonic() + CANCEL_POLL
        return strategy(vl)

    return step


def run_task(factory: Callable[..., Any], task: Task, history: Optional[_history_files.HistoryFiles],
             sweep: str, cancel_event: Optional[str] = None) -> Outcome:
    """Runs `task`'s backtest with ``factory(**task.params)`` as its strategy,
    on `history` written into a private folder (or on ``task.history_path``).
    Whatever the strategy or the terminal raises fails this task alone."""
    with _one_engine, contextlib.ExitStack() as stack:
        try:
            strategy = _cancellable(factory(**task.params), cancel_event)
            history_path = task.history_path
            if history is not None:
                history_path = str(_history_files.write(history, stack.enter_context(_private_folder(sweep))))
            result = backtest.run(strategy, task.symbol, task.timeframe, task.start, task.end,
                                  history=history_path, progress=False, **task.settings)
        except _Cancelled:
            return Outcome(task.row, cancelled=True)
        except Exception as error:  # the row's failure, not the sweep's
            return Outcome(task.row, error=error_text(error))
    return Outcome(task.row, result.stats, result.deals, result.equity if task.keep_equity else None)


def dask_setup(worker: Any) -> None:
    """Run by the workers of a sweep's private cluster as they start: Ctrl-C
    in the console reaches the sweep, which stops them, not the workers; and
    pandas is imported while the cluster starts, not in a worker's first
    backtest (half a second)."""
    if threading.current_thread() is threading.main_thread():
        signal.signal(signal.SIGINT, signal.SIG_IGN)
    _pandas()


def remove_folders(sweep: str) -> List[str]:
    """Removes this user's task folders of `sweep` left in this machine's
    temporary folder (by a worker that died in a task); returns their names."""
    removed = []
    root = Path(tempfile.gettempdir())
    for entry in os.scandir(root):
        if not entry.name.startswith(f"{FOLDER_PREFIX}{sweep}-"):
            continue
        st = entry.stat(follow_symlinks=False)
        if stat.S_ISDIR(st.st_mode) and (not hasattr(os, "geteuid") or st.st_uid == os.geteuid()):
            shutil.rmtree(entry.path, ignore_errors=True)
            removed.append(entry.name)
    return removed
