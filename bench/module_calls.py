"""The module's calls during a run, counted or timed by thin wrappers put in
place of velmora5's functions (and of velmora5.sim.next_bar) while one of
these is entered. Used by stepped_runs.py and embedded_runs.py."""
import importlib
import time

import velmora5

# Module functions that make no exchange with the terminal.
LOCAL = {"last_error"}


def exchanging_functions():
    """[(name, function)] of velmora5's functions that make an exchange:
    each function of velmora5._core makes one a call (its protocol layer
    sends one request frame per call)."""
    found = []
    for name in dir(importlib.import_module("velmora5._core")):
        function = getattr(velmora5, name, None)
        if name.startswith("_") or name in LOCAL or type(function).__name__ != "builtin_function_or_method":
            continue
        found.append((name, function))
    return found


class Exchanges:
    """Counts the module's exchanges with the terminal while it is entered;
    with `extra` [(module, name)], those functions are wrapped as well."""

    def __init__(self, extra=()):
        self.count = 0
        self._targets = [(velmora5, name, function) for name, function in exchanging_functions()]
        self._targets += [(module, name, getattr(module, name)) for module, name in extra]

    def __enter__(self):
        for module, name, function in self._targets:
            label = name if module is velmora5 else f"{module.__name__.rsplit('.', 1)[-1]}.{name}"
            setattr(module, name, self._wrap(label, function))
        return self

    def _wrap(self, name, function):
        def counted(*args, **kwargs):
            self.count += 1
            return function(*args, **kwargs)
        return counted

    def __exit__(self, *exc):
        for module, name, function in self._targets:
            setattr(module, name, function)


class TimedCalls(Exchanges):
    """Also times the wrapped calls: `calls` maps a function's name to [calls,
    wall ns inside them, ns of those in the engine], the engine's share read
    from `engine_ns()` (its running total) around each call."""

    def __init__(self, extra=(), engine_ns=lambda: 0):
        super().__init__(extra)
        self.calls = {}
        self._engine_ns = engine_ns

    @property
    def inside_ns(self):
        return sum(inside for _, inside, _ in self.calls.values())

    def _wrap(self, name, function):
        clock, engine_ns = time.perf_counter_ns, self._engine_ns
        totals = self.calls.setdefault(name, [0, 0, 0])

        def timed(*args, **kwargs):
            began, served = clock(), engine_ns()
            try:
                return function(*args, **kwargs)
            finally:
                totals[2] += engine_ns() - served
                totals[1] += clock() - began
                totals[0] += 1
                self.count += 1
        return timed

    def cost_ns(self, repeat=200_000):
        """What the wrapper adds to a call (ns), from a cheap builtin called
        bare and wrapped: the loop's time beside the module's."""
        bare, wrapped = len, self._wrap("", len)
        times = []
        for call in (bare, wrapped):
            began = time.perf_counter_ns()
            for _ in range(repeat):
                call(())
            times.append(time.perf_counter_ns() - began)
        self.calls.pop("")
        return max(0, times[1] - times[0]) / repeat
