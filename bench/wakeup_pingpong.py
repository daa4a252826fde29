"""What one request-and-reply costs when neither side does any work: small
frames (8 bytes out, 12 back, as a terminal request without payload and its
status reply) bounced between this process and a child over a Unix socket.
Each round trip wakes the child once and this process once, so it is the
floor of a round trip to terminal64 on the same machine at the same moment.

    python bench/wakeup_pingpong.py [ROUND_TRIPS]
"""
import socket
import subprocess
import sys
import time

from proc_stats import cpu_between, thread_cpu

REQUEST, REPLY = 8, 12


def _read(sock, view):
    while len(view):
        got = sock.recv_into(view)
        if got == 0:
            return False
        view = view[got:]
    return True


def _serve(fd):
    """The child: answers every frame until the parent closes its end."""
    sock = socket.socket(fileno=fd)
    frame, reply = memoryview(bytearray(REQUEST)), bytes(REPLY)
    while _read(sock, frame):
        sock.sendall(reply)


def round_trip_seconds(count, warm_up=1000):
    """Seconds of one round trip, the mean of `count` after `warm_up`: wall,
    and the CPU of this side and of the other side in it."""
    mine, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_STREAM)
    child = subprocess.Popen([sys.executable, __file__, "--serve", str(theirs.fileno())], pass_fds=(theirs.fileno(),))
    theirs.close()
    try:
        request, reply = bytes(REQUEST), memoryview(bytearray(REPLY))
        for _ in range(warm_up):
            mine.sendall(request)
            _read(mine, reply)
        cpu, other, began = time.process_time(), thread_cpu(child.pid), time.perf_counter()
        for _ in range(count):
            mine.sendall(request)
            if not _read(mine, reply):
                raise ConnectionError("the ping-pong child stopped")
        wall, cpu, other = (time.perf_counter() - began, time.process_time() - cpu,
                            sum(cpu_between(other, thread_cpu(child.pid))))
        return wall / count, cpu / count, other / count
    finally:
        mine.close()
        child.wait(timeout=10)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--serve"]:
        _serve(int(sys.argv[2]))
    else:
        n = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
        wall, cpu, other = (x * 1e6 for x in round_trip_seconds(n))
        print(f"round trip: {wall:.1f} us (two wake-ups); CPU in it: {cpu:.1f} us here, {other:.1f} us there")
