"""What Linux tells of another process: CPU by thread, exact to the
nanosecond (/proc/<pid>/stat only has clock ticks), and resident memory."""
from pathlib import Path

SCHED_IDLE = 5


def thread_cpu(pid):
    """{thread id: (on-CPU seconds so far, whether it runs at idle priority)}."""
    threads = {}
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            policy = int((task / "stat").read_text().rsplit(")", 1)[1].split()[38])
            seconds = int((task / "schedstat").read_text().split()[0]) / 1e9
        except (OSError, IndexError, ValueError):  # the thread ended meanwhile
            continue
        threads[task.name] = (seconds, policy == SCHED_IDLE)
    return threads


def cpu_between(before, after):
    """CPU seconds spent between two thread_cpu() readings: by the threads at
    normal priority, and by those at idle priority (which only take a core
    that nothing else wants). A thread that ended in between is not counted."""
    spent = [0.0, 0.0]
    for thread, (seconds, idle) in after.items():
        spent[idle] += seconds - before.get(thread, (0.0, idle))[0]
    return spent


def rss_mib(pid):
    status = Path(f"/proc/{pid}/status").read_text()
    return int(next(line for line in status.splitlines() if line.startswith("VmRSS")).split()[1]) / 1024
