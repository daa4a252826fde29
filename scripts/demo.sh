#!/usr/bin/env bash
# Installs velmora5 from this checkout (scripts/install.sh) and runs
# examples/demo.py with it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bash "$here/install.sh"
. "$here/lib/venv.sh"
python3 "$vl5_repo/examples/demo.py"
