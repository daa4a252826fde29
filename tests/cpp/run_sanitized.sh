#!/bin/sh
# Builds the C++ unit tests with AddressSanitizer and UndefinedBehaviorSanitizer
# in a build folder of their own and runs them. Exits non-zero on any failure.
#
#   tests/cpp/run_sanitized.sh [BUILD_DIR]     (default: build/sanitized in the checkout)
set -eu

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build/sanitized}
. "$source_dir/scripts/lib/build_dir.sh"
private_build_dir "$build_dir" || exit 1

cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE=Debug -DVL5_SANITIZE=ON -DVL5_PYTHON=OFF -DVL5_TESTS=ON
cmake --build "$build_dir" -j2

# Leaks count as failures; a sanitizer report stops the test with an error.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS UBSAN_OPTIONS

cd "$build_dir"
ctest --output-on-failure -j2 --no-tests=error
