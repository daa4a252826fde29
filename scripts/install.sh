#!/usr/bin/env bash
# Builds velmora5 from this checkout and installs it into a virtual
# environment (the active one, else .venv here), installing the build
# prerequisites first when run as root. Says what it is doing: the build
# prints nothing of its own for minutes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
echo "==> checking system packages (C++ compiler, Python headers, venv)"
. "$here/lib/prereqs.sh"
# Unquoted on purpose: one word per missing package.
# shellcheck disable=SC2046
provide_packages $(build_packages_missing)
. "$here/lib/venv.sh"
echo "==> Python environment: $VIRTUAL_ENV"
echo "==> building velmora5 (the extension and terminal64) into $VIRTUAL_ENV: this takes a few minutes"
python3 -m pip install -q --disable-pip-version-check "$vl5_repo"
echo "velmora5 installed into $VIRTUAL_ENV (activate it with: . $VIRTUAL_ENV/bin/activate)"
