#!/usr/bin/env bash
# Builds the bar benchmarks optimised, in a build folder of its own, and runs them:
# a million M1 bars, then 48 bars of several timeframes, kept against made afresh.
#
#   bench/bars_bench.sh [BUILD_DIR]    (default build/bench)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-$repo/build/bench}
cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVL5_PYTHON=OFF -DVL5_BENCH=ON >/dev/null
cmake --build "$build_dir" -j2 --target vl5_bars_bench vl5_bar_cache_bench
"$build_dir/bench/vl5_bars_bench"
"$build_dir/bench/vl5_bar_cache_bench"
