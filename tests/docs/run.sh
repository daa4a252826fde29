#!/usr/bin/env bash
# The user guide: builds it (warnings are errors), then runs every example of
# the guide and of examples/ against private simulated terminals. Installs the
# tools it needs into the active environment.
set -euo pipefail
cd "$(dirname "$0")/../.."
python3 -m pip install -q --disable-pip-version-check mkdocs pandas matplotlib
python3 -m mkdocs build --strict --quiet -f docs/mkdocs.yml -d "$PWD/build/docs-site"
python3 -m pytest -q -p no:cacheprovider tests/docs/guide_examples.py
