"""Build folders: scripts/lib/build_dir.sh takes only a folder of the
caller's own that nobody else can write (another user's CMakeCache.txt in it
would have the build run their programs), and every script that takes a
build folder refuses another user's before using it."""
import os
import subprocess
from pathlib import Path

import pytest

from conftest import REPO

HELPER = REPO / "scripts" / "lib" / "build_dir.sh"
OTHER_UID = 65534
SCRIPTS = ["scripts/cpp_tests.sh", "scripts/wheel_check.sh", "tests/cpp/run_sanitized.sh",
           "tests/windows/run_wine_tests.sh", "fuzz/run.sh"]

pytestmark = pytest.mark.skipif(not hasattr(os, "geteuid") or os.geteuid() != 0,
                                reason="a folder of another uid needs root to make")


def private_build_dir(folder, shell="sh"):
    return subprocess.run([shell, "-c", '. "$0" && private_build_dir "$1"', str(HELPER), str(folder)],
                          capture_output=True, text=True, timeout=30)


def other_users(folder):
    folder.mkdir()
    os.chown(folder, OTHER_UID, OTHER_UID)


def open_to_all(folder):
    folder.mkdir()
    folder.chmod(0o777)


def open_to_the_group(folder):
    folder.mkdir()
    folder.chmod(0o770)


def link_to_own(folder):
    (folder.parent / "real").mkdir(mode=0o700)
    folder.symlink_to(folder.parent / "real")


def a_file(folder):
    folder.write_text("")


@pytest.mark.parametrize("shell", ["sh", "bash"])
@pytest.mark.parametrize("make", [other_users, open_to_all, open_to_the_group, link_to_own, a_file])
def test_a_folder_others_control_is_refused(tmp_path, make, shell):
    folder = tmp_path / "build"
    make(folder)
    done = private_build_dir(folder, shell)
    assert done.returncode != 0 and f"build folder {folder} " in done.stderr, done.stderr


@pytest.mark.parametrize("shell", ["sh", "bash"])
def test_an_own_private_folder_is_taken_and_a_missing_one_made_private(tmp_path, shell):
    own = tmp_path / "own"
    own.mkdir(mode=0o755)
    missing = tmp_path / "a" / "b"
    for folder in (own, missing):
        done = private_build_dir(folder, shell)
        assert done.returncode == 0 and done.stderr == "", done.stderr
    assert missing.stat().st_mode & 0o777 == 0o700 and missing.stat().st_uid == os.getuid()


@pytest.mark.parametrize("script", SCRIPTS)
def test_every_script_refuses_another_users_build_folder(tmp_path, script):
    folder = tmp_path / "planted"
    other_users(folder)
    # What the attack plants: a cache naming a program of theirs as the compiler.
    (folder / "CMakeCache.txt").write_text(f"CMAKE_HOME_DIRECTORY:INTERNAL={tmp_path}\n"
                                           f"CMAKE_CXX_COMPILER:FILEPATH={tmp_path}/theirs\n")
    shell = "sh" if script.endswith("run_sanitized.sh") else "bash"
    done = subprocess.run([shell, str(REPO / script), str(folder)], capture_output=True, text=True, timeout=600,
                          cwd=tmp_path, stdin=subprocess.DEVNULL)
    assert done.returncode != 0 and f"build folder {folder} belongs to uid {OTHER_UID}" in done.stderr, \
        done.stdout + done.stderr
    assert sorted(p.name for p in folder.iterdir()) == ["CMakeCache.txt"]
