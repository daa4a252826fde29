#!/usr/bin/env bash
# The pytest suite against the installed package, with the scripted peer of
# the C++ build (scripts/cpp_tests.sh builds it).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VL5_SCRIPTED_PEER=${VL5_SCRIPTED_PEER:-$repo/build/cpp/tests/scripted_peer}
cd "$repo"
python3 -m pytest tests -q
