"""Where a sweep's tasks run, and how their outcomes come back: Dask's
distributed scheduler, on the caller's client or on a private cluster of
local worker processes started for the sweep and closed after it.

Dask reruns the task of a worker that died on another worker (up to its
``distributed.scheduler.allowed-failures``, then the row fails). Ctrl-C sets
the sweep's cancel flag, which the running backtests see within a second,
cancels what has not started, and keeps what is done.
"""
from __future__ import annotations

import contextlib
import logging
import os
import tempfile
import uuid
from typing import Any, Callable, Dict, Iterator, List, Optional, Sequence, Tuple

from velmora5 import _history_files, _sweep_tasks
from velmora5._sweep_tasks import Outcome, Task

STOP_WAIT = 10.0  # seconds the running backtests have to see the cancel flag after Ctrl-C
# The private cluster's housekeeping, coarser than Dask's defaults: on two
# cores its 20 ms loop ticks, 10 ms profiler samples and 0.5 s system samples
# took 5 % of a core in the scheduler's process and 4 % in each worker, idle.
QUIET = {"distributed.admin.tick.interval": "1s", "distributed.admin.system-monitor.interval": "2s",
         "distributed.worker.profile.enabled": False}


def _distributed() -> Any:
    try:
        import distributed
    except ImportError:
        raise ImportError("sweeps need Dask: pip install velmora5[sweep]") from None
    return distributed


@contextlib.contextmanager
def client_for(client: Any, workers: Optional[int]) -> Iterator[Any]:
    """`client`, or one of a private ``LocalCluster`` of `workers` processes
    (default: one per core) with one thread each, closed at the end."""
    distributed = _distributed()
    if client is not None:
        if workers is not None:
            raise ValueError("workers is for the private cluster: a given client brings its own")
        yield client
        return
    if workers is not None and (not isinstance(workers, int) or isinstance(workers, bool) or workers < 1):
        raise ValueError(f"workers must be a positive int, not {workers!r}")
    import dask

    with contextlib.ExitStack() as stack:
        scratch = stack.enter_context(tempfile.TemporaryDirectory(prefix="vl5dask"))
        # Every folder of the cluster below the one removed at the end; the
        # workers ignore Ctrl-C in the console (see _sweep_tasks.dask_setup):
        # the sweep stops them.
        with dask.config.set({**QUIET, "temporary-directory": scratch}):
            cluster = stack.enter_context(distributed.LocalCluster(
                n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True,
                dashboard_address=":0", silence_logs=logging.ERROR, preload=[_sweep_tasks.__name__]))
        yield stack.enter_context(distributed.Client(cluster, set_as_default=False))


def _progress(enabled: bool, total: int) -> Any:
    if not enabled:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="backtest", desc="sweep")


def send(client: Any, history: Optional[_history_files.HistoryFiles]) -> Any:
    """`history` on every worker, once (a Dask future), or None."""
    return client.scatter(history, broadcast=True, hash=False) if history is not None else None


def run(client: Any, factory: Callable[..., Any], tasks: Sequence[Task], history: Any,
        progress: bool) -> Tuple[List[Outcome], bool]:
    """The outcomes of `tasks` in their order, and whether Ctrl-C stopped the
    sweep (undone tasks then come back cancelled). `history`: what ``send``
    gave."""
    distributed = _distributed()
    sweep = uuid.uuid4().hex[:16]
    event = distributed.Event(f"vl5-cancel-{sweep}", client=client)
    outcomes: List[Optional[Outcome]] = [None] * len(tasks)
    bar = _progress(progress, len(tasks))
    # The tasks not yet gathered, by place in `tasks`: a gathered one is let
    # go at once, so that its result leaves the worker's memory.
    pending: Dict[int, Any] = {}
    stopped = False
    try:
        for place, task in enumerate(tasks):
            pending[place] = client.submit(_sweep_tasks.run_task, factory, task, history, sweep, event.name,
                                           key=f"vl5-sweep-{sweep}-{place}", pure=False)
        places = {future.key: place for place, future in pending.items()}
        try:
            for future in distributed.as_completed(list(pending.values()), loop=client.loop):
                place = places[future.key]
                outcomes[place] = _outcome(pending.pop(place), tasks[place])
                if bar is not None:
                    bar.update(1)
        except KeyboardInterrupt:
            stopped = True
            _stop(event, pending, tasks, outcomes)
    finally:
        if bar is not None:
            bar.close()
        _clean_up(client, sweep, list(pending.values()))
    return [outcome or Outcome(task.row, cancelled=True) for task, outcome in zip(tasks, outcomes)], stopped


def _outcome(future: Any, task: Task) -> Outcome:
    try:
        outcome: Outcome = future.result()
        return outcome
    except Exception as error:  # the worker died too often, or the task failed outside the backtest
        return Outcome(task.row, error=_sweep_tasks.error_text(error))


def _stop(event: Any, pending: Dict[int, Any], tasks: Sequence[Task], outcomes: List[Optional[Outcome]]) -> None:
    """Ctrl-C: the running backtests stop at their next look at the flag and
    the queued ones at their start; what finished meanwhile is kept."""
    event.set()
    with contextlib.suppress(Exception):
        _distributed().wait(list(pending.values()), timeout=STOP_WAIT)
    for place, future in list(pending.items()):
        if future.status == "finished":
            outcomes[place] = _outcome(pending.pop(place), tasks[place])


def _clean_up(client: Any, sweep: str, futures: List[Any]) -> None:
    with contextlib.suppress(Exception):
        client.cancel(futures)
    with contextlib.suppress(Exception):
        # Folders of tasks whose worker was killed; live workers reach their machines.
        client.run(_sweep_tasks.remove_folders, sweep)
