#!/usr/bin/env bash
# Every test of the project, after the set-up it needs on a fresh Debian
# machine: C++ unit tests (plain and under ASan/UBSan), the Windows cross
# build and its tests under Wine, the Python suite, the extension's tests
# under CPython 3.14 (release and debug builds) and 3.9, the extension
# cross-built for Windows and checked, the import and dtype tests under
# NumPy 1.26, the wheel, and self-fuzzing. One step per line;
# each step is a script of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

step() { printf '\n==== %s\n' "$*"; }

step "set-up: system packages, Python environment, velmora5 and the test tools"
bash scripts/setup_tests.sh
. scripts/lib/venv.sh  # every step below runs the environment's python3

step "C++ layout (clang-format)"
bash scripts/format_check.sh

step "C++ unit tests"
bash scripts/cpp_tests.sh "$repo/build/cpp"

step "C++ unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash tests/cpp/run_sanitized.sh "$repo/build/sanitized"

step "Windows cross build and tests under Wine"
bash tests/windows/run_wine_tests.sh "$repo/build/windows"

step "Python tests"
bash scripts/python_tests.sh

step "user guide: build and every example"
bash tests/docs/run.sh

step "the extension under CPython 3.14, release and debug builds, in a Debian unstable root"
bash tests/versions/run_in_root.sh sid "$repo/build/roots/sid" python3.14 python3.14-dbg

step "the extension under CPython 3.9, the oldest supported, in a Debian 11 root"
bash tests/versions/run_in_root.sh bullseye "$repo/build/roots/bullseye" python3.9

step "the extension cross-built for Windows x64 against CPython 3.14: exports, imports, layout assertions"
bash tests/windows/extension_build.sh "$repo/build/windows-extension"

step "import and dtype tests under NumPy 1.26"
bash tests/numpy1/run.sh

step "wheel: auditwheel, then the demo from a venv without a compiler"
bash scripts/wheel_check.sh "$repo/build/wheel"

step "self-fuzzing, VL5_FUZZ_SECONDS (default 60) per target"
bash fuzz/run.sh "$repo/build/fuzz"
