"""The stepped clock of terminal64: a backtest moves the market's time itself.

A terminal64 started with ``--stepped 1`` and a set ``--clock`` stands still
at that moment; these functions move it forward. Each move walks every tick
on the way through every account's trading (pending orders, stops, swaps,
stop-out) before it answers, and the terminal serves nothing after the new
moment::

    import velmora5 as vl
    from velmora5 import sim

    vl.initialize(path_of_a_stepped_terminal64)
    while sim.next_bar("EURUSD", vl.TIMEFRAME_M15) < end:
        decide(vl)                     # sees the bars up to the moment reached

Moments go in as ``velmora5.frames.to_seconds`` takes them (seconds,
``datetime``, ``date``, ISO text, ``numpy.datetime64``; without a time zone a
moment is UTC) and come back as time-zone aware UTC ``datetime`` values.

``wait_next_bar`` serves a script that runs both ways: it steps a stepped
terminal and waits for the bar on any other one, so the same loop backtests
and trades live.

``embedded(**settings)`` runs terminal64's engine inside this process instead:
within its block the module is connected to it and these functions step it,
with no process wake-up per request.

The requests go to the terminal's pipe on a connection of this module's own
(one per process, opened on first use and opened anew when the module is
connected to another terminal); the connected module tells which terminal.
Every reply is checked (its length, the echoed command, the moment) and read
within ``TIMEOUT`` seconds: a broken or hostile peer gives ``SimError``.
"""
from __future__ import annotations

import contextlib
import datetime
import hashlib
import operator
import os
import select
import socket
import stat
import struct
import threading
import time
from typing import Any, Dict, Iterator, List, Mapping, Optional, Tuple, Union

import velmora5
from velmora5.frames import Moment, to_seconds

__all__ = ["SimError", "TIMEOUT", "now", "advance", "advance_to", "next_bar", "wait_next_bar", "pipe_address",
           "embedded"]

# Longest wait for one reply, in seconds. A step walks every tick it crosses,
# which takes a while over months of a busy market; raise it for such steps.
TIMEOUT = 120.0

CLOCK_NOW = 9001
CLOCK_ADVANCE_TO = 9002
CLOCK_NEXT_BAR = 9003

_SUCCESS = 1
_UNKNOWN_COMMAND = -1
_OUT_OF_RANGE = -2
_NOT_FOUND = -4
_NOT_STEPPED = -7
_NOT_STEPPED_TEXT = "the terminal's clock is not stepped: start terminal64 with --stepped 1 and a --clock"
_LATEST_MS = 4102444800 * 1000  # 2100-01-01: the stepped clock's bound
_LATEST_TEXT = "2100-01-01"
_REPLY_HEADER = struct.Struct("<IIi")  # length, echoed command, status
_MOMENT = struct.Struct("<q")
_MAX_PATH_UNITS = 260

_EPOCH = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)


class SimError(RuntimeError):
    """A request to the stepped clock failed.

    ``status`` is the terminal's status code (-7 not stepped, -2 out of
    range, -4 not found, -1 unknown request), and then the clock did not
    move; or None when the exchange itself failed (not connected, no
    terminal, a broken or malformed reply, no reply in time), and then a
    step may have been made or not."""

    def __init__(self, message: str, status: Optional[int] = None):
        super().__init__(message)
        self.status = status


# ---- where the terminal listens -----------------------------------------------------


def _lower_units(text: str) -> bytes:
    """UTF-16LE bytes of `text` with every UTF-16 unit lower-cased on its own,
    as the terminal does before it hashes its path."""
    raw = text.encode("utf-16-le", "surrogatepass")
    units = list(struct.unpack(f"<{len(raw) // 2}H", raw))
    for i, unit in enumerate(units):
        if 0x41 <= unit <= 0x5A:
            units[i] = unit + 32
        elif unit >= 0x80 and not 0xD800 <= unit < 0xE000:
            lower = chr(unit).lower()
            if len(lower) == 1 and ord(lower) < 0x10000:  # a simple mapping, one unit to one
                units[i] = ord(lower)
    return struct.pack(f"<{len(units)}H", *units)


def _normalised(executable: str) -> str:
    if len(executable.encode("utf-16-le", "surrogatepass")) // 2 > _MAX_PATH_UNITS:
        raise SimError(f"the terminal's path is longer than {_MAX_PATH_UNITS} characters: {executable!r}")
    if not os.path.exists(executable):
        return executable
    final = os.path.realpath(executable)
    if os.name == "nt":  # the final path as Windows reports it carries the \\?\ prefix
        final = "\\\\?\\UNC\\" + final[2:] if final.startswith("\\\\") else "\\\\?\\" + final
    units = len(final.encode("utf-16-le", "surrogatepass")) // 2
    return final if 0 < units <= _MAX_PATH_UNITS else executable


def _runtime_dir() -> str:
    """The folder of the terminals' sockets, refused unless private to this user."""
    xdg = os.environ.get("XDG_RUNTIME_DIR", "")
    folder = xdg if xdg.startswith("/") else f"/tmp/vl5-{os.geteuid()}"
    try:
        info = os.lstat(folder)
    except OSError as error:
        raise SimError(f"no runtime folder {folder}: {error.strerror}") from None
    if not stat.S_ISDIR(info.st_mode) or info.st_uid != os.geteuid() or info.st_mode & 0o077:
        raise SimError(f"the runtime folder {folder} is not a folder private to this user")
    return folder


def pipe_address(executable: str) -> str:
    """The address a terminal64 program serves: a socket in the runtime
    folder (a named pipe on Windows) named after the SHA-256 of its
    normalised, lower-cased path."""
    digest = hashlib.sha256(_lower_units(_normalised(executable))).hexdigest().upper()
    name = "VL5.Terminal." + digest
    return "\\\\.\\pipe\\" + name if os.name == "nt" else os.path.join(_runtime_dir(), name)


# The last installation folder and its address: a backtest asks once a step,
# and the path's digest costs more than the step's own requests.
_last_address: Tuple[str, str, str] = ("", "", "")  # folder, runtime folder setting, address


def _connected_address() -> str:
    global _last_address
    info = velmora5.terminal_info()
    if info is None:
        code, text = velmora5.last_error()
        raise SimError(f"velmora5 is not connected to a terminal: initialize() first ({code}, {text})")
    runtime = os.environ.get("XDG_RUNTIME_DIR", "")
    folder, known_runtime, address = _last_address
    if (folder, known_runtime) != (info.path, runtime) or not folder:
        program = "terminal64.exe" if os.name == "nt" else "terminal64"
        address = pipe_address(os.path.join(info.path, program))
        _last_address = (info.path, runtime, address)
    return address


# ---- the control connection ---------------------------------------------------------


class _Channel:
    """One connection to a terminal's pipe; exact frames, bounded waits."""

    def __init__(self, address: str):
        self.address = address
        self.pid = os.getpid()
        self._sock: Optional[socket.socket] = None
        self._file: Any = None
        if os.name == "nt":
            try:
                self._file = open(address, "r+b", buffering=0)
            except OSError as error:
                raise SimError(f"cannot open the terminal's pipe {address}: {error}") from None
        else:
            self._sock = self._connect(address)

    @staticmethod
    def _connect(address: str) -> socket.socket:
        deadline = time.monotonic() + TIMEOUT
        while True:
            sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            sock.settimeout(TIMEOUT)
            try:
                sock.connect(address)
            except (BlockingIOError, InterruptedError):  # a full backlog: the terminal is busy
                sock.close()
                if time.monotonic() > deadline:
                    raise SimError(f"the terminal at {address} accepts no connection") from None
                time.sleep(0.01)
                continue
            except OSError as error:
                sock.close()
                raise SimError(f"cannot connect to the terminal at {address}: {error.strerror or error}") from None
            except BaseException:
                sock.close()
                raise
            break
        peer = getattr(socket, "SO_PEERCRED", None)
        if peer is not None:
            _, uid, _ = struct.unpack("3i", sock.getsockopt(socket.SOL_SOCKET, peer, struct.calcsize("3i")))
            if uid != os.geteuid():
                sock.close()
                raise SimError(f"the terminal at {address} runs as another user ({uid})")
        return sock

    def stale(self) -> bool:
        """Whether the peer has gone (end of stream or bytes nobody asked for)."""
        if self.pid != os.getpid():
            return True
        if self._sock is None:
            return False
        # Nothing is due between two exchanges: anything readable, even the
        # end of the stream, means the peer is gone or out of step.
        readable, _, _ = select.select([self._sock], [], [], 0)
        return bool(readable)

    def close(self) -> None:
        for handle in (self._sock, self._file):
            if handle is not None:
                try:
                    handle.close()
                except OSError:
                    pass
        self._sock = self._file = None

    def exchange(self, command: int, payload: bytes) -> Tuple[int, bytes]:
        """(status, data) of one request; raises SimError on any broken or
        malformed exchange."""
        request = struct.pack("<II", 4 + len(payload), command) + payload
        if self._file is not None:
            return self._exchange_file(command, request)
        assert self._sock is not None
        try:
            self._sock.sendall(request)
            header = self._read(_REPLY_HEADER.size)
        except socket.timeout:
            raise SimError(f"the terminal sent no reply within {TIMEOUT} s (velmora5.sim.TIMEOUT)") from None
        except OSError as error:
            raise SimError(f"the connection to the terminal broke: {error.strerror or error}") from None
        return self._checked(command, header, self._read)

    def _read(self, size: int) -> bytes:
        assert self._sock is not None
        data = b""
        while len(data) < size:
            try:
                piece = self._sock.recv(size - len(data))
            except socket.timeout:
                raise SimError(f"the terminal sent no reply within {TIMEOUT} s (velmora5.sim.TIMEOUT)") from None
            except OSError as error:
                raise SimError(f"the connection to the terminal broke: {error.strerror or error}") from None
            if not piece:
                raise SimError("the terminal closed the connection in the middle of a reply")
            data += piece
        return data

    @staticmethod
    def _checked(command: int, header: bytes, read: Any) -> Tuple[int, bytes]:
        length, echo, status = _REPLY_HEADER.unpack(header)
        if echo != command:
            raise SimError(f"malformed reply: it answers request {echo}, not {command}")
        # A moment after success, nothing after a failure: no other size is read.
        expected = 8 + (_MOMENT.size if status == _SUCCESS else 0)
        if length != expected:
            raise SimError(f"malformed reply to request {command}: {length} bytes where {expected} are due")
        return status, read(length - 8) if length > 8 else b""

    def _exchange_file(self, command: int, request: bytes) -> Tuple[int, bytes]:
        """The same on a Windows pipe, whose reads take no timeout: they run
        on a thread of their own, abandoned (with the pipe) when it is late."""
        outcome: List[Any] = []

        def run() -> None:
            try:
                self._file.write(request)
                header = self._read_file(_REPLY_HEADER.size)
                outcome.append(self._checked(command, header, self._read_file))
            except BaseException as error:  # handed to the waiting thread
                outcome.append(error)

        worker = threading.Thread(target=run, daemon=True)
        worker.start()
        worker.join(TIMEOUT)
        if not outcome:
            raise SimError(f"the terminal sent no reply within {TIMEOUT} s (velmora5.sim.TIMEOUT)")
        result = outcome[0]
        if isinstance(result, SimError):
            raise result
        if isinstance(result, BaseException):
            raise SimError(f"the connection to the terminal broke: {result}")
        return result  # type: ignore[no-any-return]

    def _read_file(self, size: int) -> bytes:
        data = b""
        while len(data) < size:
            piece = self._file.read(size - len(data))
            if not piece:
                raise SimError("the terminal closed the connection in the middle of a reply")
            data += piece
        return data


_lock = threading.RLock()
_channel: Optional[_Channel] = None


def _request(command: int, payload: bytes = b"") -> Tuple[int, bytes]:
    """(status, data) from the terminal the module is connected to, or from
    the engine of an open ``embedded()``. A failed exchange closes the
    connection (its stream may be out of step); the next request opens a new
    one."""
    global _channel
    engine = _engine  # the engine serialises its callers itself (the interpreter lock)
    if engine is not None:
        return _exchange_embedded(engine, command, payload)
    with _lock:
        address = _connected_address()
        if _channel is not None and (_channel.address != address or _channel.stale()):
            _channel.close()
            _channel = None
        if _channel is None:
            _channel = _Channel(address)
        try:
            return _channel.exchange(command, payload)
        except BaseException:  # also Ctrl-C in a wait: the reply may still come
            _channel.close()
            _channel = None
            raise


# ---- the engine inside this process ---------------------------------------------------

_engine: Any = None  # the engine of the open embedded(), else None


_FRAME_HEAD = struct.Struct("<II")  # length, command
_MOMENT_REPLY = struct.Struct("<IIiq")  # the usual reply: length 16, echo, success, a moment


def _exchange_embedded(engine: Any, command: int, payload: bytes) -> Tuple[int, bytes]:
    """The same exchange with the engine: the same frames, checked alike."""
    try:
        reply = engine.exchange(_FRAME_HEAD.pack(4 + len(payload), command) + payload)
    except (RuntimeError, ConnectionError) as error:
        raise SimError(f"the embedded engine refused the request: {error}") from None
    if len(reply) == _MOMENT_REPLY.size:  # a step's reply, read in one go
        length, echo, status, _ = _MOMENT_REPLY.unpack(reply)
        if length == 16 and echo == command and status == _SUCCESS:
            return status, reply[_REPLY_HEADER.size:]
    if len(reply) < _REPLY_HEADER.size:
        raise SimError(f"malformed reply to request {command}: {len(reply)} bytes")
    status, data = _Channel._checked(command, reply[:_REPLY_HEADER.size],
                                     lambda size: reply[_REPLY_HEADER.size:_REPLY_HEADER.size + size])
    if len(reply) != _REPLY_HEADER.size + len(data):
        raise SimError(f"malformed reply to request {command}: {len(reply)} bytes")
    return status, data


@contextlib.contextmanager
def embedded(*, balance: Optional[float] = None, accounts: Optional[Mapping[int, Mapping[str, Any]]] = None,
             **settings: Any) -> Iterator[Any]:
    """terminal64's engine inside this process, with a stepped clock: within
    the block the ``velmora5`` module is connected to it (and yielded), and
    this module steps it. Requests cost no process wake-up: the module's
    request bytes are served in the calling thread and its functions,
    checks, last errors and results are those over the pipe::

        with sim.embedded(clock="2024-03-04", seed=1, balance=10_000) as vl:
            while sim.next_bar("EURUSD", vl.TIMEFRAME_M15) < end:
                decide(vl)

    `settings` are terminal64's own keys, as the ``vl5_terminal`` fixture
    takes them (``clock``, the start, is needed; the clock is always
    stepped); ``balance`` and ``accounts`` change accounts as there. A
    loaded history needs ``history_dir``: the engine has no data folder.
    Inside, ``initialize()``, with or without a path, connects to the
    engine. Leaving the block shuts the module's connection down and
    restores the pipe: the next ``initialize()`` finds terminals as before.

    One engine at a time per process: a second ``embedded()`` inside the
    first raises SimError. Calls from other threads take turns with the
    engine's (it keeps the interpreter lock while it works), so a module call
    sees the clock before or after a step, never halfway. In a process forked
    inside the block the engine is not there: the module's calls fail as
    over a broken pipe and this module's raise SimError. Raises SimError for
    settings the terminal refuses, with its message.
    """
    global _engine
    from velmora5 import _engine as engine_module
    from velmora5.terminal import account_changes, command_line, with_accounts

    changes = account_changes(accounts, balance, settings)
    ini = with_accounts(engine_module.default_ini(), changes) if changes else None
    folder = os.path.dirname(os.path.abspath(velmora5.__file__))
    try:
        engine = engine_module.Engine(command_line({**settings, "stepped": True}), ini, folder)
    except ValueError as error:
        raise SimError(f"the embedded engine refused its settings: {error}") from None
    with _lock:
        try:
            engine.attach()
        except RuntimeError as error:
            raise SimError(str(error)) from None
        _engine = engine
    try:
        if not velmora5.initialize():
            raise SimError(f"initialize failed on the embedded engine: {velmora5.last_error()}")
        yield velmora5
    finally:
        with _lock:
            velmora5.shutdown()
            engine.detach()
            _engine = None


def _malformed(message: str) -> SimError:
    """A reply of the right shape that cannot be right: the peer is not
    trusted with another request on this connection."""
    global _channel
    with _lock:
        if _channel is not None:
            _channel.close()
            _channel = None
    return SimError(message)


# ---- moments ------------------------------------------------------------------------


def _utc(ms: int) -> datetime.datetime:
    return _EPOCH + datetime.timedelta(milliseconds=ms)


def _moment(data: bytes, command: int) -> int:
    (ms,) = _MOMENT.unpack(data)
    if not 0 <= ms <= _LATEST_MS:
        raise _malformed(f"malformed reply to request {command}: moment {ms} ms is outside the clock's range")
    return int(ms)


def _failure(status: int, what: str) -> SimError:
    if status == _NOT_STEPPED:
        return SimError(_NOT_STEPPED_TEXT, status)
    if status == _UNKNOWN_COMMAND:
        return SimError(f"{what}: the terminal does not know the stepped clock's requests "
                        "(not terminal64, or an older one)", status)
    return SimError(f"{what}: the terminal answered status {status}", status)


def _now_ms() -> int:
    status, data = _request(CLOCK_NOW)
    if status != _SUCCESS:
        raise _failure(status, "now")
    return _moment(data, CLOCK_NOW)


def now() -> datetime.datetime:
    """The moment the stepped clock stands at (UTC)."""
    return _utc(_now_ms())


def _advance_to_ms(target_ms: int) -> datetime.datetime:
    if target_ms >= 2**63:  # beyond the request's field, and far beyond the clock's bound
        raise SimError(f"cannot step past {_LATEST_TEXT}: asked for {target_ms} ms", _OUT_OF_RANGE)
    status, data = _request(CLOCK_ADVANCE_TO, _MOMENT.pack(target_ms))
    if status == _SUCCESS:
        reached = _moment(data, CLOCK_ADVANCE_TO)
        if reached != target_ms:
            raise _malformed(f"malformed reply: the clock moved to {reached} ms, not to {target_ms} ms")
        return _utc(reached)
    if status == _OUT_OF_RANGE:
        if target_ms > _LATEST_MS:
            raise SimError(f"cannot step past {_LATEST_TEXT}: asked for {_utc(target_ms)}", status)
        raise SimError(f"cannot step backwards: the clock stands at {now()}, asked for {_utc(target_ms)}", status)
    raise _failure(status, f"advance_to {_utc(target_ms)}")


def advance_to(moment: Moment) -> datetime.datetime:
    """Moves the clock forward to `moment` (the clock's own moment is allowed:
    nothing moves) and returns it. Raises SimError for a moment before the
    clock or past 2100-01-01; the clock then stays where it was."""
    seconds = to_seconds(moment)
    return _advance_to_ms(seconds * 1000)


def advance(seconds: Union[float, datetime.timedelta]) -> datetime.datetime:
    """Moves the clock forward by `seconds` (a number, to the millisecond, or a
    ``timedelta``) and returns the moment reached."""
    if isinstance(seconds, datetime.timedelta):
        step_ms = seconds // datetime.timedelta(milliseconds=1)
    elif isinstance(seconds, bool) or not isinstance(seconds, (int, float)):
        raise TypeError(f"advance takes seconds or a timedelta, not {type(seconds).__name__}")
    elif seconds != seconds or seconds in (float("inf"), float("-inf")):
        raise ValueError(f"not a number of seconds: {seconds!r}")
    else:
        step_ms = int(seconds * 1000)
    with _lock:  # the clock read and the move as one, against this process's other threads
        start = _now_ms()
        if step_ms < 0:
            raise SimError(f"cannot step backwards: asked to advance by {step_ms / 1000} s", _OUT_OF_RANGE)
        return _advance_to_ms(start + step_ms)


_TIMEFRAME_NAMES = {getattr(velmora5, name): name[len("TIMEFRAME_"):]
                    for name in dir(velmora5) if name.startswith("TIMEFRAME_")}


def _timeframe_name(timeframe: int) -> str:
    """"M15" for TIMEFRAME_M15."""
    return _TIMEFRAME_NAMES.get(timeframe, f"timeframe {timeframe}")


def _counted(text: str) -> bytes:
    units = text.encode("utf-16-le", "surrogatepass")
    return struct.pack("<I", len(units) // 2) + units


def next_bar(symbol: str, timeframe: int) -> datetime.datetime:
    """Moves the clock to the moment the next bar of `symbol` completes: the
    end of the bar now forming, or, while the market is closed, the end of
    its first bar after it opens again. Returns that moment. Raises SimError
    for an unknown symbol, a timeframe that is not a ``TIMEFRAME_*`` value or
    no bar ahead before 2100-01-01."""
    if not isinstance(symbol, str):
        raise TypeError(f"symbol must be str, not {type(symbol).__name__}")
    if isinstance(timeframe, bool):
        raise TypeError("timeframe must be a TIMEFRAME_* value, not a truth value")
    timeframe = operator.index(timeframe)
    if not -2**31 <= timeframe < 2**31:
        raise ValueError(f"timeframe {timeframe} is not a TIMEFRAME_* value")
    return _utc(_next_bar_ms(symbol, timeframe))


# The payloads of the bars a script steps by: a backtest asks for the same one
# every step.
_next_bar_payloads: Dict[Tuple[str, int], bytes] = {}


def _next_bar_ms(symbol: str, timeframe: int) -> int:
    """next_bar for checked arguments, in ms: the backtest runner's step."""
    payload = _next_bar_payloads.get((symbol, timeframe))
    if payload is None:
        if len(_next_bar_payloads) > 256:
            _next_bar_payloads.clear()
        payload = _next_bar_payloads[symbol, timeframe] = _counted(symbol) + struct.pack("<i", timeframe)
    status, data = _request(CLOCK_NEXT_BAR, payload)
    what = f"{symbol} {_timeframe_name(timeframe)}"
    if status == _SUCCESS:
        reached = _moment(data, CLOCK_NEXT_BAR)
        if reached % 60_000:
            raise _malformed(f"malformed reply: the next bar of {what} cannot end at {reached} ms")
        return reached
    if status == _OUT_OF_RANGE:
        raise SimError(f"cannot step to the next bar of {what}: {timeframe} is not a TIMEFRAME_* value "
                       f"or the bar ends past {_LATEST_TEXT}", status)
    if status == _NOT_FOUND:
        if velmora5.symbol_info(symbol) is None:
            raise SimError(f"unknown symbol {symbol!r}", status)
        raise SimError(f"no bar of {what} ahead before {_LATEST_TEXT}", status)
    raise _failure(status, f"next_bar {what}")


# ---- one loop for backtests and live trading ----------------------------------------


_FIRST_SUNDAY = 3 * 86400  # 1970-01-04: W1 bars open on Sundays


def _bar_open(seconds: int, timeframe: int) -> int:
    """When the bar of `timeframe` that holds the moment `seconds` opened."""
    if timeframe == velmora5.TIMEFRAME_MN1:
        at = _EPOCH + datetime.timedelta(seconds=seconds)
        return int((datetime.datetime(at.year, at.month, 1, tzinfo=datetime.timezone.utc) - _EPOCH).total_seconds())
    if timeframe == velmora5.TIMEFRAME_W1:
        return (seconds - _FIRST_SUNDAY) // (7 * 86400) * (7 * 86400) + _FIRST_SUNDAY
    return seconds // (60 * timeframe) * (60 * timeframe)  # every other bar divides the day


def _bar_end(open_seconds: int, timeframe: int) -> int:
    """When the bar opened at `open_seconds` completes."""
    if timeframe == velmora5.TIMEFRAME_MN1:
        opened = _EPOCH + datetime.timedelta(seconds=open_seconds)
        year, month = (opened.year + 1, 1) if opened.month == 12 else (opened.year, opened.month + 1)
        return int((datetime.datetime(year, month, 1, tzinfo=datetime.timezone.utc) - _EPOCH).total_seconds())
    return open_seconds + 60 * timeframe  # a timeframe counts its minutes (W1 too)


def _last_tick_ms(symbol: str) -> int:
    tick = velmora5.symbol_info_tick(symbol)
    if tick is None:
        raise SimError(f"no tick of {symbol}: {velmora5.last_error()}")
    return int(tick.time_msc)


def _forming_open(symbol: str, timeframe: int) -> int:
    rates = velmora5.copy_rates_from_pos(symbol, timeframe, 0, 1)
    if rates is None or len(rates) != 1:
        raise SimError(f"no bar of {symbol} {_timeframe_name(timeframe)}: {velmora5.last_error()}")
    return int(rates["time"][0])


def wait_next_bar(symbol: str, timeframe: int, *, poll: float = 0.5,
                  timeout: Optional[float] = None) -> datetime.datetime:
    """The next completed bar of `symbol`, on any terminal: a stepped terminal
    steps to it (``next_bar``); on any other the call sleeps until the
    terminal's market shows a tick at or after the end of the bar forming
    now, so the same loop backtests and trades live. Returns the end of the
    completed bar.

    Live, the clock is only seen through ticks: a bar that completes while
    the market is closed is seen when the market opens again. `poll` is the
    longest sleep between two looks (seconds); the looks come closer as the
    bar's end nears, at the pace the terminal's ticks have moved so far.
    With a `timeout` (seconds) a bar not complete by then raises SimError:
    a frozen clock never completes one."""
    try:
        return next_bar(symbol, timeframe)
    except SimError as error:
        if error.status not in (_NOT_STEPPED, _UNKNOWN_COMMAND):
            raise
    end_ms = _bar_end(_forming_open(symbol, timeframe), timeframe) * 1000
    seen_ms, seen_at = _last_tick_ms(symbol), time.monotonic()
    first_ms, first_at = seen_ms, seen_at
    blind = 0.01  # until the ticks have moved, looks at a growing interval
    while seen_ms < end_ms:
        if timeout is not None and seen_at - first_at > timeout:
            raise SimError(f"the bar of {symbol} {_timeframe_name(timeframe)} ending at {_utc(end_ms)} "
                           f"did not complete within {timeout} s")
        pace = (seen_ms - first_ms) / 1000 / max(seen_at - first_at, 1e-3)  # market seconds per second
        if pace > 0:
            time.sleep(min(poll, max(0.002, (end_ms - seen_ms) / 1000 / pace / 2)))
        else:
            time.sleep(min(poll, blind))
            blind *= 2
        seen_ms, seen_at = _last_tick_ms(symbol), time.monotonic()
    return _utc(end_ms)
