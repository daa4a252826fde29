#!/usr/bin/env bash
# Instructions the client executes per small exchange (symbol_info_tick),
# the extension against the plain-Python client, counted by callgrind: the
# difference between a run of N exchanges and a run of none, divided by N.
# Instruction counts do not depend on how busy the machine is.
#
#   bench/callgrind_client.sh [N]      (default 2000; needs valgrind)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
n=${1:-2000}
work=$(mktemp -d /tmp/vl5-callgrind-XXXXXX)
trap 'kill "$terminal_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work XDG_DATA_HOME=$work/data
# BLAS worker threads spin while idle and would be counted with the client.
export OPENBLAS_NUM_THREADS=1
# A fixed hash seed: start-up then costs the same in both runs, and the
# difference is the exchanges alone.
export PYTHONHASHSEED=0

# The interpreter itself, not a launcher script in front of it.
python=$(python3 -c 'import sys; print(sys.executable)')
exe=$work/terminal64
cp "$(python3 -c 'from velmora5.terminal import executable_path; print(executable_path())')" "$exe"
"$exe" --clock 1700000000 --idle-exit 600 >"$work/terminal.out" 2>&1 &
terminal_pid=$!
for _ in $(seq 100); do grep -q serving "$work/terminal.out" && break; sleep 0.1; done
address=$(sed -n 's/.*serving //p' "$work/terminal.out")

instructions() {  # which count
  valgrind --tool=callgrind --callgrind-out-file="$work/out" "$python" "$here/client_loop.py" "$1" "$exe" \
    "$address" "$2" 2>&1 | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
declare -A per_call
for which in velmora5 plain; do
  base=$(instructions "$which" 0)
  loaded=$(instructions "$which" "$n")
  per_call[$which]=$(( (loaded - base) / n ))
  echo "$which: $(( per_call[$which] )) instructions per exchange"
done
python3 -c "print(f'ratio velmora5 / plain: {${per_call[velmora5]} / ${per_call[plain]}:.2f}')"
