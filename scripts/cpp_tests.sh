#!/usr/bin/env bash
# Builds the C++ unit tests and the scripted peer (no extension) and runs the
# tests. A build that found no tests fails. Then builds the POSIX platform
# layer once more with its portable fallbacks only (VL5_PORTABLE_POSIX, in
# BUILD_DIR-portable) and runs the tests of the layer against it.
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

portable_dir=$build_dir-portable
cmake -S "$repo" -B "$portable_dir" -DVL5_PYTHON=OFF -DVL5_TESTS=ON -DVL5_PORTABLE_POSIX=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$portable_dir" -j2 --target vl5_posix_tests
"$portable_dir/tests/vl5_posix_tests"
