"""A plain-Python client of the terminal protocol: the baseline the
benchmarks compare the extension against. It speaks the same frames over the
same socket with the standard library and NumPy only."""
import socket
import struct

import numpy as np

CMD_HELLO = 4
CMD_STATE = 109
CMD_COPY_RATES_FROM_POS = 108
CMD_SYMBOL_INFO_TICK = 172


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
