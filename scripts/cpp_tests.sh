#!/usr/bin/env bash
# Builds the C++ unit tests and the scripted peer (no extension) and runs the
# tests. A build that found no tests fails.
#
#   scripts/cpp_tests.sh [BUILD_DIR]    (default build/cpp)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-$repo/build/cpp}
. "$repo/scripts/lib/build_dir.sh"
private_build_dir "$build_dir" || exit 1
cmake -S "$repo" -B "$build_dir" -DVL5_PYTHON=OFF -DVL5_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error
