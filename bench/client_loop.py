"""One client making N small exchanges with a running terminal, for counting
the client's instructions under callgrind (see callgrind_client.sh).

    python3 client_loop.py velmora5|plain TERMINAL_EXE PIPE_ADDRESS N
"""
import sys
from pathlib import Path

import velmora5

sys.path.insert(0, str(Path(__file__).resolve().parent))
from raw_client import RawClient  # noqa: E402


def main():
    which, exe, address, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    if which == "velmora5":
        assert velmora5.initialize(exe), velmora5.last_error()
        for _ in range(count):
            velmora5.symbol_info_tick("EURUSD")
        velmora5.shutdown()
    else:
        client = RawClient(address)
        for _ in range(count):
            client.symbol_info_tick("EURUSD")
        client.close()


if __name__ == "__main__":
    main()
