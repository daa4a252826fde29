"""A plain-Python client of the terminal protocol: the baseline the
benchmarks compare the extension against. It speaks the same frames over the
same socket with the standard library and NumPy only."""
import socket
import struct
import sys
from collections import namedtuple
from pathlib import Path

import numpy as np

# The symbol record's layout, as the protocol tests describe it.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from frames import SYMBOL, SYMBOL_SIZE  # noqa: E402

CMD_HELLO = 4
CMD_STATE = 109
CMD_COPY_RATES_FROM_POS = 108
CMD_SYMBOL_INFO_TICK = 172
CMD_SYMBOLS_GET = 174

SymbolInfo = namedtuple("SymbolInfo", [name for name, _, _ in SYMBOL])
# The numbers lie packed from offset 0 in tuple order; the texts follow.
_NUMBERS = struct.Struct("<" + "".join(kind for _, _, kind in SYMBOL if not isinstance(kind, tuple)))
_TEXTS = [(offset, 2 * kind[1]) for _, offset, kind in SYMBOL if isinstance(kind, tuple)]


def _counted(text):
    units = text.encode("utf-16-le")
    return struct.pack("<I", len(units) // 2) + units


class RawClient:
    def __init__(self, address):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(address)
        self.call(CMD_HELLO, struct.pack("<I", 3) + _counted("Python"))

    def close(self):
        self.sock.close()

    def _read_exact(self, view):
        while len(view):
            got = self.sock.recv_into(view)
            if got == 0:
                raise ConnectionError("terminal closed the pipe")
            view = view[got:]

    def _send(self, command, payload=b""):
        self.sock.sendall(struct.pack("<II", 4 + len(payload), command) + payload)

    def _head(self, command):
        head = bytearray(12)
        self._read_exact(memoryview(head))
        length, echo, status = struct.unpack("<IIi", head)
        if echo != command:
            raise RuntimeError("echo mismatch")
        return length - 8, status

    def call(self, command, payload=b""):
        self._send(command, payload)
        size, status = self._head(command)
        body = bytearray(size)
        self._read_exact(memoryview(body))
        return status, bytes(body)

    def symbol_info_tick(self, symbol):
        status, body = self.call(CMD_SYMBOL_INFO_TICK, _counted(symbol))
        return struct.unpack("<qdddQqId", body) if status >= 0 else None

    def copy_rates_from_pos(self, symbol, timeframe, start, count, dtype):
        self._send(CMD_COPY_RATES_FROM_POS, _counted(symbol) + struct.pack("<iii", timeframe, start, count))
        size, status = self._head(CMD_COPY_RATES_FROM_POS)
        head = bytearray(4)
        self._read_exact(memoryview(head))
        (n,) = struct.unpack("<I", head)
        rates = np.empty(n, dtype=dtype)  # read straight into the array, as the extension does
        self._read_exact(memoryview(rates.view(np.uint8)))
        return rates

    def symbols_get_bytes(self):
        """The symbols_get reply's data (count, then records), unconverted."""
        status, body = self.call(CMD_SYMBOLS_GET)
        return body if status >= 0 else None

    def symbols_get(self):
        status, body = self.call(CMD_SYMBOLS_GET)
        if status < 0:
            return None
        (n,) = struct.unpack_from("<I", body)
        symbols = []
        for i in range(n):
            start = 4 + i * SYMBOL_SIZE
            texts = [body[start + o:start + o + size].decode("utf-16-le", "surrogatepass").split("\0", 1)[0]
                     for o, size in _TEXTS]
            symbols.append(SymbolInfo(*_NUMBERS.unpack_from(body, start), *texts))
        return tuple(symbols)

    def symbols_get_floor(self, piece=bytearray(64 * 1024)):
        """The transfer alone: the reply read through one reused 64 KiB buffer,
        nothing converted or kept."""
        self._send(CMD_SYMBOLS_GET)
        size, _ = self._head(CMD_SYMBOLS_GET)
        view = memoryview(piece)
        while size > 0:
            got = self.sock.recv_into(view[:min(size, len(piece))])
            if got == 0:
                raise ConnectionError("terminal closed the pipe")
            size -= got
