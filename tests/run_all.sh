#!/usr/bin/env bash
# Every test of the project: C++ unit tests (plain and under ASan/UBSan), the
# Windows cross build and its tests under Wine, the Python suite, and the
# import and dtype tests again under NumPy 1.26. Installs the package from
# this checkout first.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
jobs=2

step() { printf '\n==== %s\n' "$*"; }

step "install velmora5 and the test tools"
python3 -m pip install -q --disable-pip-version-check "$repo" pytest mypy

step "C++ unit tests"
cmake -S "$repo" -B build/cpp -DVL5_PYTHON=OFF -DVL5_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/cpp -j"$jobs"
ctest --test-dir build/cpp --output-on-failure

step "C++ unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash tests/cpp/run_sanitized.sh "$repo/build/sanitized"

step "Windows cross build and tests under Wine"
bash tests/windows/run_wine_tests.sh "$repo/build/windows"

step "Python tests"
export VL5_SCRIPTED_PEER="$repo/build/cpp/tests/scripted_peer"
python3 -m pytest tests -q

step "user guide: build and every example"
bash tests/docs/run.sh

step "import and dtype tests under NumPy 1.26"
bash tests/numpy1/run.sh

step "self-fuzzing, VL5_FUZZ_SECONDS (default 60) per target"
bash fuzz/run.sh "$repo/build/fuzz"
