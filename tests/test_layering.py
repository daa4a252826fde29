"""The include rules of the whole tree: folders include only their own floor
and the floors below it, platform headers stay in the platform layer, Python
headers stay above the Python-free code, and every quoted include is rooted at
the repository. A failure names the offending line."""
import re
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parent.parent

# Floors, lowest first; a file may include its own floor and those below.
# module.cpp only assembles the method table, so it stands on the entry points;
# terminal64 stands on the Python-free part of src/ only.
FLOORS = [
    ("src/wire", 0), ("src/mask", 1), ("src/link/os", 2), ("src/link", 3),
    ("src/module/module.cpp", 6), ("src/module", 4), ("src/session", 5), ("src/market", 5), ("src/trading", 5),
    ("terminal/base", 10), ("terminal/model", 11), ("terminal/server", 12), ("terminal/embed", 13), ("terminal", 13),
]
NOT_FOR_TERMINAL = ("src/module", "src/session", "src/market", "src/trading")
# The engine's Python module holds its references as the extension does.
SHARED_WITH_ENGINE = ("src/module/pyref.h",)

PLATFORM = re.compile(
    r"<(windows|winsock2|ws2tcpip|shlobj|tlhelp32|wincrypt|knownfolders|io|process|unistd|fcntl|poll|"
    r"pthread|sched|dirent|dlfcn|pwd|spawn|termios|sys/[\w/]+|netinet/[\w/]+|arpa/[\w/]+)\.h>")
PYTHON = re.compile(r"<(Python|structmember|datetime|numpy/[\w/]+)\.h>")
INCLUDE = re.compile(r'^\s*#\s*include\s+([<"][^>"]+[>"])', re.M)
SOURCES = ("src", "terminal", "tests/cpp", "tests/peer", "tests/windows", "fuzz", "bench")


def floor_of(path):
    for folder, rank in FLOORS:
        if path == folder or path.startswith(folder + "/"):
            return folder, rank
    return None, None


def includes(root=REPO):
    for top in SOURCES:
        for file in sorted((root / top).rglob("*")):
            if file.suffix in (".h", ".hpp", ".cpp", ".cc"):
                rel = file.relative_to(root).as_posix()
                text = file.read_text(encoding="utf-8", errors="replace")
                for match in INCLUDE.finditer(text):
                    yield rel, text.count("\n", 0, match.start()) + 1, match.group(1)


def violations(root=REPO):
    found = []
    for rel, line, target in includes(root):
        where = f"{rel}:{line}: #include {target}"
        folder, rank = floor_of(rel)
        if target.startswith('"'):
            name = target.strip('"')
            if not (root / name).is_file():
                found.append(f"{where}: not a path from the repository's root")
                continue
            if folder is None:
                continue
            to_folder, to_rank = floor_of(name)
            if to_rank is not None and to_rank > rank:
                found.append(f"{where}: {folder} may not include the floor above it ({to_folder})")
            elif folder.startswith("terminal") and to_folder in NOT_FOR_TERMINAL and not (
                    folder == "terminal/embed" and name in SHARED_WITH_ENGINE):
                found.append(f"{where}: terminal64 uses only the Python-free code of src/")
        elif folder is not None and PLATFORM.search(target) and folder != "src/link/os":
            found.append(f"{where}: platform header outside src/link/os/")
        elif folder is not None and PYTHON.search(target) and rank < 4:
            found.append(f"{where}: Python header below src/module/")
        elif folder is not None and PYTHON.search(target) and folder.startswith("terminal") and folder != "terminal/embed":
            found.append(f"{where}: Python header in terminal64 (only terminal/embed/ is a Python module)")
    return found


def test_includes_follow_the_floors():
    assert violations() == []


@pytest.mark.parametrize("file, text, complaint", [
    ("terminal/base/x.h", '#include "terminal/model/clock.h"\n', "floor above it (terminal/model)"),
    ("terminal/model/x.cpp", '#include "terminal/server/reply.h"\n', "floor above it (terminal/server)"),
    ("src/link/x.cpp", '#include "src/module/pyref.h"\n', "floor above it (src/module)"),
    ("terminal/server/x.cpp", '#include "src/module/pyref.h"\n', "Python-free code of src/"),
    ("terminal/model/x.cpp", "#include <pthread.h>\n", "platform header outside"),
    ("src/market/x.cpp", "#include <windows.h>\n", "platform header outside"),
    ("src/link/x.cpp", "#include <Python.h>\n", "Python header below"),
    ("terminal/server/x.cpp", "#include <Python.h>\n", "Python header in terminal64"),
    ("terminal/embed/x.cpp", '#include "src/module/args.h"\n', "Python-free code of src/"),
    ("src/wire/x.h", '#include "records.h"\n', "not a path from the repository's root"),
])
def test_a_planted_include_is_named(tmp_path, file, text, complaint):
    for name in ("terminal/model/clock.h", "terminal/server/reply.h", "src/module/pyref.h", "src/module/args.h"):
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text("")
    (tmp_path / file).parent.mkdir(parents=True, exist_ok=True)
    (tmp_path / file).write_text("// planted\n" + text)
    found = violations(tmp_path)
    assert len(found) == 1 and found[0].startswith(f"{file}:2: #include") and complaint in found[0], found
