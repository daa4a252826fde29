#!/usr/bin/env bash
# Cross-builds for Windows and runs every Windows test program under Wine, in
# a Wine prefix of its own inside the build folder. Exits non-zero when any
# program fails, crashes or runs out of time.
#
#   tests/windows/run_wine_tests.sh [BUILD_DIR]    (default build/windows in the checkout)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build_dir=${1:-$repo/build/windows}
. "$repo/scripts/lib/build_dir.sh"
private_build_dir "$build_dir" || exit 1
per_program_timeout=${VL5_WINE_TIMEOUT:-300}

bash "$here/cross_build.sh" "$build_dir"
build_dir=$(cd "$build_dir" && pwd)

listing=$build_dir/cross_tests.txt
if [[ ! -s $listing ]]; then
  echo "no Windows test programs were built (is GoogleTest in /usr/src/googletest?)" >&2
  exit 1
fi

# A private prefix: nothing of the user's own Wine setup is read or changed.
export WINEPREFIX=$build_dir/wine-prefix
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install Mono or Gecko
mkdir -p "$WINEPREFIX"

stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

start=$SECONDS
timeout 300 wineboot -i >/dev/null 2>&1
echo "Wine prefix ready in $((SECONDS - start)) s: $WINEPREFIX"

# Data folders left by an earlier run that was cut short would take part in
# discovery; every run starts without any.
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Orbisco

# The terminal the launch tests copy, by a path Windows programs understand.
VL5_TERMINAL64=$(winepath -w "$build_dir/terminal/terminal64.exe")
export VL5_TERMINAL64

failed=()
while IFS= read -r program; do
  [[ -n $program ]] || continue
  name=$(basename "$program")
  printf '\n---- %s\n' "$name"
  start=$SECONDS
  status=0
  timeout --kill-after=10 "$per_program_timeout" wine "$program" 2>&1 | tee "$build_dir/$name.log" ||
    status=${PIPESTATUS[0]}
  # A crash that Wine's debugger handled can still end with exit status 0:
  # only a program that reached GoogleTest's summary without a failure passed.
  if [[ $status -eq 0 ]] && ! grep -qE '^\[  PASSED  \] [0-9]+ tests?\.' "$build_dir/$name.log"; then
    status=unfinished
  fi
  if grep -qE '^\[  FAILED  \]|^Unhandled exception|^wine: Unhandled' "$build_dir/$name.log"; then status=failed; fi
  echo "---- $name: exit $status in $((SECONDS - start)) s"
  [[ $status == 0 ]] || failed+=("$name")
done <"$listing"

# Wait for every Wine process (terminals stopping after their idle time)
# before the server goes, so that none is left behind.
timeout 30 wineserver -w || true

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "Windows tests failed: ${failed[*]}" >&2
  exit 1
fi
echo "all Windows test programs passed"
