#!/usr/bin/env bash
# System calls terminal64 makes per small request (symbol_info_tick from the
# plain-Python client), counted by strace over all its threads: the
# difference between a run of N requests and a run of none, divided by N.
# With a second terminal64 the two are counted in the same run and compared.
#
#   bench/server_syscalls.sh TERMINAL64 [BASELINE_TERMINAL64] [N]
#
# N defaults to 2000. Needs strace and, like the other benchmarks, a python3
# that imports velmora5.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
terminals=("$1")
[[ $# -ge 2 && -n $2 ]] && terminals+=("$2")
n=${3:-2000}
work=$(mktemp -d /tmp/vl5-syscalls-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work XDG_DATA_HOME=$work/data

count() {  # terminal requests -> "name calls" lines for the whole run
  local exe=$work/terminal64 out=$work/terminal.out
  cp "$1" "$exe"
  # A fresh data folder each run; --idle-exit 1 ends the terminal once the client has gone.
  rm -rf "$work/data"
  strace -f -c -o "$work/strace" "$exe" --clock 1700000000 --idle-exit 1 >"$out" 2>&1 &
  local traced=$!
  for _ in $(seq 200); do grep -q serving "$out" && break; sleep 0.05; done
  python3 "$here/client_loop.py" plain "$exe" "$(sed -n 's/.*serving //p' "$out")" "$2"
  wait "$traced"
  # Columns: % time, seconds, usecs/call, calls, [errors,] name.
  awk '$4 ~ /^[0-9]+$/ && $NF ~ /^[a-z_0-9]+$/ && $NF != "total" {print $NF, $4}' "$work/strace" | sort -k1,1
}

declare -A total
for exe in "${terminals[@]}"; do
  count "$exe" 0 >"$work/idle"
  count "$exe" "$n" >"$work/busy"
  echo "$exe: system calls per request"
  join -a 1 -a 2 -e 0 -o 0,1.2,2.2 "$work/idle" "$work/busy" |
    awk -v n="$n" '{d = ($3 - $2) / n; s += d; if (d >= 0.005 || d <= -0.005) printf "  %-16s %6.2f\n", $1, d}
                   END {printf "  %-16s %6.2f\n", "total", s}' | tee "$work/per_request"
  total[$exe]=$(awk '$1 == "total" {print $2}' "$work/per_request")
done
if [[ ${#terminals[@]} -eq 2 ]]; then
  python3 -c "print(f'ratio first / second: {${total[${terminals[0]}]} / ${total[${terminals[1]}]}:.2f}')"
fi
