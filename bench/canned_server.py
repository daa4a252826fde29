"""A canned-reply terminal for the client benchmarks: it answers the hello,
the ready poll, symbols_get and symbol_info_tick with fixed frames built once,
so the client's cost is measured against a server that does no work.

    python3 canned_server.py EXE_PATH SYMBOL_RECORDS_FILE
prints "serving ADDRESS" once it listens; the address is the pipe the module
derives from EXE_PATH (which need not exist) in XDG_RUNTIME_DIR.
"""
import hashlib
import os
import socket
import struct
import sys
import threading

CMD_HELLO, CMD_STATE, CMD_SYMBOL_INFO_TICK, CMD_SYMBOLS_GET = 4, 109, 172, 174
BUILD, STATE_READY = 2400, 2
TICK = struct.pack("<qdddQqId", 1_700_000_000, 1.0842, 1.0844, 0.0, 0, 1_700_000_000_123, 6, 0.0)


def pipe_address(exe):
    # The module's rule: the path as given when it does not resolve, ASCII
    # letters lowered, hashed as UTF-16LE.
    key = os.path.realpath(exe) if os.path.exists(exe) else exe
    key = "".join(c.lower() if "A" <= c <= "Z" else c for c in key)
    digest = hashlib.sha256(key.encode("utf-16-le")).hexdigest().upper()
    return os.path.join(os.environ["XDG_RUNTIME_DIR"], "VL5.Terminal." + digest)


def frame(echo, status, data=b""):
    return struct.pack("<IIi", 8 + len(data), echo, status) + data


def read_exact(conn, n):
    data = bytearray()
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return bytes(data)


def serve(conn, replies):
    with conn:
        while True:
            head = read_exact(conn, 4)
            if head is None:
                return
            body = read_exact(conn, struct.unpack("<I", head)[0])
            if body is None:
                return
            command = struct.unpack_from("<I", body)[0]
            conn.sendall(replies.get(command) or frame(command, -1))


def main():
    exe, records_file = sys.argv[1], sys.argv[2]
    with open(records_file, "rb") as f:
        records = f.read()
    replies = {
        CMD_HELLO: frame(CMD_HELLO, 0, struct.pack("<I", BUILD)),
        CMD_STATE: frame(CMD_STATE, 0, struct.pack("<I", STATE_READY)),
        CMD_SYMBOL_INFO_TICK: frame(CMD_SYMBOL_INFO_TICK, 0, TICK),
        CMD_SYMBOLS_GET: frame(CMD_SYMBOLS_GET, 0, records),
    }
    address = pipe_address(exe)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(address)
    server.listen()
    print(f"serving {address}", flush=True)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn, replies), daemon=True).start()


if __name__ == "__main__":
    main()
