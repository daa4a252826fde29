#!/usr/bin/env bash
# Builds velmora5 from this checkout and installs it into a virtual
# environment (the active one, else .venv here), installing the build
# prerequisites first when run as root.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib/prereqs.sh"
# Unquoted on purpose: one word per missing package.
# shellcheck disable=SC2046
provide_packages $(build_packages_missing)
. "$here/lib/venv.sh"
python3 -m pip install -q --disable-pip-version-check "$vl5_repo"
echo "velmora5 installed into $VIRTUAL_ENV (activate it with: . $VIRTUAL_ENV/bin/activate)"
