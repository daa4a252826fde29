#!/usr/bin/env bash
# Builds the wheel, has auditwheel check and repair it to a manylinux tag,
# installs the repaired wheel into a fresh virtual environment with no
# compiler reachable, and runs the demo from there.
#
#   scripts/wheel_check.sh [WORK_DIR]    (default build/wheel)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=${1:-$repo/build/wheel}
. "$repo/scripts/lib/build_dir.sh"
private_build_dir "$work" || exit 1
rm -rf "$work/dist" "$work/repaired" "$work/venv"

python3 -m pip wheel -q --disable-pip-version-check --no-deps -w "$work/dist" "$repo"
wheel=$(ls "$work"/dist/velmora5-*.whl)
auditwheel show "$wheel"
auditwheel repair -w "$work/repaired" "$wheel"
repaired=$(ls "$work"/repaired/velmora5-*.whl)
case $(basename "$repaired") in
  *manylinux*) echo "repaired wheel: $(basename "$repaired")" ;;
  *) echo "auditwheel gave no manylinux tag: $repaired" >&2; exit 1 ;;
esac

# A fresh environment, used with only its own bin folder on PATH: no
# compiler, linker or build tool can be found while installing or running.
python3 -m venv "$work/venv"
bare() { env PATH="$work/venv/bin" "$@"; }
for tool in cc c++ gcc g++ clang ld cmake ninja make; do
  if bare /bin/sh -c "command -v $tool" >/dev/null 2>&1; then
    echo "$tool is reachable without a PATH to it" >&2; exit 1
  fi
done
bare "$work/venv/bin/python" -m pip install -q --disable-pip-version-check --only-binary=:all: "$repaired"
# From outside the checkout, so nothing of the source tree can be imported.
(cd "$work" && bare "$work/venv/bin/python" "$repo/examples/demo.py")
