#!/usr/bin/env bash
# Self-fuzzing, bounded in time. Builds with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs
#   - the libFuzzer targets for the terminal's request decoding, its history
#     files and the client's reply readers, each for VL5_FUZZ_SECONDS
#     (default 60), after replaying every earlier crash kept in
#     fuzz/regressions/<target>/;
#   - hostile clients against the sanitized terminal64 for as long.
# Exits non-zero on any crash, sanitizer report or wrong answer. A crash file
# it reports belongs in fuzz/regressions/<target>/ once fixed.
#
#   fuzz/run.sh [BUILD_DIR]    (default: build/fuzz in the checkout)
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-$source_dir/build/fuzz}
. "$source_dir/scripts/lib/build_dir.sh"
private_build_dir "$build_dir" || exit 1
seconds=${VL5_FUZZ_SECONDS:-60}
jobs=${VL5_JOBS:-2}

find_clang() {
  for name in clang++ clang++-16 clang++-15 clang++-14; do
    if command -v "$name" >/dev/null 2>&1; then
      echo "$name"
      return
    fi
  done
}

cxx=$(find_clang)
if [[ -z $cxx ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "fuzz: clang is missing; install clang and libclang-rt-dev (Debian) and run again" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q clang >/dev/null 2>&1 || { apt-get update -q >/dev/null && apt-get install -y -q clang >/dev/null; }
  cxx=$(find_clang)
fi
# libFuzzer and the sanitizer runtimes come with the version's runtime package.
version=$("$cxx" -dumpversion | cut -d. -f1)
if ! "$cxx" -print-file-name="libclang_rt.fuzzer-x86_64.a" | grep -q /; then
  [[ $(id -u) -eq 0 ]] && apt-get install -y -q "libclang-rt-$version-dev" >/dev/null 2>&1 || true
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$source_dir" -B "$build_dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVL5_SANITIZE=ON -DVL5_FUZZ=ON -DVL5_PYTHON=OFF -DVL5_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j"$jobs" --target vl5_fuzz_requests vl5_fuzz_history vl5_fuzz_replies vl5_hostile_clients terminal64

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

passed=0
failed=0
for target in requests history replies; do
  program=$(find "$build_dir" -name "vl5_fuzz_$target" -type f | head -n 1)
  corpus=$build_dir/corpus/$target
  crashes=$build_dir/crashes/$target
  regressions=$source_dir/fuzz/regressions/$target
  seeds=$source_dir/fuzz/seeds/$target
  mkdir -p "$corpus" "$crashes" "$regressions"
  rm -f "$crashes"/*
  log=$build_dir/fuzz-$target.log
  status=0
  # Earlier crashes first, one run each; then the timed run, which starts from
  # the seeds, the regressions and what earlier runs kept.
  if compgen -G "$regressions/*" >/dev/null; then
    "$program" -runs=0 "$regressions"/* >"$log" 2>&1 || status=$?
  fi
  if [[ $status -eq 0 ]]; then
    inputs=("$corpus" "$regressions")
    [[ -d $seeds ]] && inputs+=("$seeds")
    "$program" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$crashes/" "${inputs[@]}" >"$log" 2>&1 || status=$?
  fi
  runs=$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+' | tail -n 1 || true)
  found=$(find "$crashes" -type f | wc -l)
  echo "fuzz $target: ${runs:-0} inputs in ${seconds} s, $found crashes (exit $status)"
  if [[ $status -ne 0 || $found -ne 0 ]]; then
    tail -n 60 "$log" >&2
    ls "$crashes" >&2 || true
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done

hostile=$(find "$build_dir" -name vl5_hostile_clients -type f | head -n 1)
terminal=$(find "$build_dir" -name terminal64 -type f | head -n 1)
if "$hostile" "$terminal" "$seconds" "${VL5_FUZZ_SEED:-$RANDOM}"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
