#!/usr/bin/env bash
# The extension's own tests under a CPython this machine does not have: a
# Debian root of SUITE made with debootstrap below ROOT (kept, so a second run
# downloads nothing), this checkout's files copied in, the package built there
# for each PYTHON and the extension's tests run with it against terminal64 and
# the scripted peer, both built there too. A PYTHON ending in -dbg is
# CPython's debug build, run with -X dev: a failed C-API assertion or
# reference-count check aborts it and fails this step. Needs root
# (debootstrap, chroot, mounts).
#
#   tests/versions/run_in_root.sh SUITE ROOT PYTHON [PYTHON ...]
#   e.g. tests/versions/run_in_root.sh sid build/roots/sid python3.14 python3.14-dbg
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 SUITE ROOT PYTHON [PYTHON ...]" >&2; exit 2; }
suite=$1
root=$(realpath -m "$2")
shift 2
repo=$(cd "$(dirname "$0")/../.." && pwd)
mirror=${VL5_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The extension's own behaviour: binding, exchange shapes, arrays, leaks,
# interrupts, session, market and trading through terminal64.
tests=(test_module.py test_method_table.py test_session_arguments.py test_exchange.py test_arrays.py
  test_leaks.py test_interrupt.py test_session.py test_market.py test_trading.py)

if [ "$(id -u)" -ne 0 ]; then
  echo "error: this step makes a Debian $suite root with debootstrap and chroot: run the test command as root" >&2
  exit 1
fi

packages=ca-certificates,g++,make,cmake
for python in "$@"; do
  base=${python%-dbg}
  packages+=",$base,$base-dev,$base-venv"
  [ "$python" = "$base" ] || packages+=",$python"
  # Up to 3.11 venv needs Debian's separate distutils, which it names by a
  # virtual package that debootstrap does not resolve.
  case $base in python3.[0-9] | python3.1[01]) packages+=",python3-distutils" ;; esac
done
case $root in /|"$repo"|"$HOME") echo "error: $root cannot be a root's folder" >&2; exit 2 ;; esac
for point in proc dev; do  # left mounted by a run that was killed
  if mountpoint -q "$root/$point"; then umount -l "$root/$point"; fi
done
if [ ! -e "$root/.vl5-complete" ] || [ "$(cat "$root/.vl5-complete")" != "$packages" ]; then
  rm -rf --one-file-system "$root"
  mkdir -p "$(dirname "$root")"
  echo "making a Debian $suite root in $root"
  # An unstable index may look expired by this machine's clock.
  debootstrap --variant=minbase --include="$packages" "$suite" "$root" "$mirror" >"$root.log" 2>&1 ||
    { tail -20 "$root.log" >&2; exit 1; }
  echo 'Acquire::Check-Valid-Until "false";' >"$root/etc/apt/apt.conf.d/99vl5"
  echo "$packages" >"$root/.vl5-complete"
fi

# pip inside the root reaches the package index as the host's pip does: the
# same configuration and certificates.
for file in /etc/pip.conf /etc/xdg/pip/pip.conf /etc/xdg/pip/constraints.txt; do
  [ ! -f "$file" ] || install -D -m 644 "$file" "$root$file"
done
for bundle in "${PIP_CERT:-}" "${SSL_CERT_FILE:-}" /etc/ssl/certs/ca-certificates.crt; do
  [ -z "$bundle" ] || [ ! -f "$bundle" ] || install -D -m 644 "$bundle" "$root$bundle"
done

mounted=()
cleanup() {
  local point
  for point in "${mounted[@]}"; do umount -l "$point" 2>/dev/null || true; done
}
trap cleanup EXIT
for point in proc dev; do
  mountpoint -q "$root/$point" || { mount --bind "/$point" "$root/$point" && mounted+=("$root/$point"); }
done

rm -rf "$root/src"
mkdir -p "$root/src"
git -C "$repo" ls-files -z | (cd "$repo" && tar --null -T - -cf -) | tar -xf - -C "$root/src"
# The scripted peer, built by the root's own compiler: one built on this
# machine may need a newer C library than the root's. Kept between runs (the
# copy above keeps the files' times), so only what changed is built again.
chroot "$root" /bin/sh -c "cmake -S /src -B /peer-build -DVL5_PYTHON=OFF -DVL5_TESTS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build /peer-build -j2 --target scripted_peer >/dev/null"

for python in "$@"; do
  flags=()
  [ "$python" = "${python%-dbg}" ] || flags=(-X dev)
  venv=/venv-$python
  echo "---- $python: build and the extension's tests"
  chroot "$root" "$python" -c 'import sys; print(sys.version)'
  chroot "$root" /bin/sh -c "[ -x $venv/bin/python ] || $python -m venv $venv"
  chroot "$root" "$venv/bin/python" -m pip install -q --disable-pip-version-check \
    numpy pytest psutil scikit-build-core ninja
  chroot "$root" /bin/sh -c "cd /src && rm -rf build && CMAKE_BUILD_PARALLEL_LEVEL=2 $venv/bin/python -m pip install -q \
    --disable-pip-version-check --no-build-isolation --force-reinstall --no-deps ."
  chroot "$root" /bin/sh -c "cd /src && VL5_SCRIPTED_PEER=/peer-build/tests/scripted_peer \
    $venv/bin/python ${flags[*]} -m pytest -q -p no:cacheprovider ${tests[*]/#/tests/}"
done
