#!/usr/bin/env bash
# The extension is built against NumPy 2 headers; this runs the import and
# dtype tests with NumPy 1.26 installed at run time in a separate environment.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$(pwd)
venv=build/venv-numpy1
if [ ! -x "$venv/bin/python" ]; then
  python3 -m venv "$venv"
fi
"$venv/bin/python" -m pip install -q --disable-pip-version-check "numpy==1.26.*" pytest
"$venv/bin/python" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps "$repo"
"$venv/bin/python" -c "import numpy; assert numpy.__version__.startswith('1.26'), numpy.__version__"
VL5_SCRIPTED_PEER="$repo/build/cpp/tests/scripted_peer" \
  "$venv/bin/python" -m pytest tests -q -m numpy_runtime -p no:cacheprovider
