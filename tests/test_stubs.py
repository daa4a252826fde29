"""The type stubs describe the extension as it is: every function and type
present, with the same names, checked by mypy's stub tester."""
import os
import site
import subprocess
import sys
from pathlib import Path

import pytest

import velmora5

pytest.importorskip("mypy")


@pytest.mark.parametrize("module", ["velmora5._core", "velmora5._engine"])
def test_stubs_match_the_extension(tmp_path, module):
    package_root = Path(velmora5.__file__).resolve().parent.parent
    env = dict(os.environ)
    # An installed package is found through site-packages (it ships py.typed);
    # a package imported from elsewhere is pointed to explicitly.
    if str(package_root) not in {str(Path(p).resolve()) for p in site.getsitepackages()}:
        env["MYPYPATH"] = str(package_root)
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", module], capture_output=True,
                          text=True, cwd=tmp_path, env=env, timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr
