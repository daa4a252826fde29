#!/usr/bin/env bash
# Cross-compiles the link library and the test programs for Windows with
# mingw-w64. Safe to run again: it reconfigures and rebuilds in place.
#
#   tests/windows/cross_build.sh [BUILD_DIR]    (default /tmp/win-build)
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=${1:-/tmp/win-build}
toolchain=$source_dir/cmake/mingw-w64.cmake

# CMake reads a toolchain file only when a build folder is first configured;
# a folder configured natively would quietly build for Linux.
cache=$build_dir/CMakeCache.txt
if [[ -f $cache ]] && ! grep -qE '^CMAKE_TOOLCHAIN_FILE:[A-Z]+=.*mingw-w64\.cmake$' "$cache"; then
  echo "$build_dir was configured without $toolchain; remove it or pass another folder" >&2
  exit 1
fi

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DVL5_PYTHON=OFF -DVL5_TESTS=ON
cmake --build "$build_dir" -j2
