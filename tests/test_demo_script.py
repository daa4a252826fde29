"""The README's first command tells the user what keeps running after it: the
demo's terminal, until terminal64's own idle exit."""
import re
import subprocess

from conftest import REPO
from velmora5.terminal import executable_path


def test_the_demo_names_the_terminals_idle_exit():
    usage = subprocess.run([executable_path(), "--help"], capture_output=True, text=True, timeout=30).stdout
    seconds = int(re.search(r"--idle-exit .*\(default: (\d+)\)", usage).group(1))
    said = f"stops by itself after {seconds // 60} minutes without clients"
    readme = " ".join((REPO / "README.md").read_text().split("## Using it", 1)[0].split())
    assert said in (REPO / "scripts" / "demo.sh").read_text()
    assert said in readme and f"{seconds} seconds" in readme
