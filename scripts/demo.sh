#!/usr/bin/env bash
# Installs velmora5 from this checkout (scripts/install.sh) and runs
# examples/demo.py with it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bash "$here/install.sh"
. "$here/lib/venv.sh"
echo "==> running examples/demo.py"
python3 "$vl5_repo/examples/demo.py"
# The demo's initialize() started terminal64 detached, with its defaults
# (terminal/settings/settings.h: idle_exit 600 s).
echo "==> done. The demo's terminal64 keeps running in the background for later scripts;"
echo "    it stops by itself after 10 minutes without clients (idle_exit in its config/terminal.ini)."
