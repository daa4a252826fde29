#!/usr/bin/env bash
# Every C++ file of the repository is laid out as .clang-format says; prints
# what would change and fails otherwise. With --fix, rewrites the files.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.hpp')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "C++ layout differs from .clang-format: run bash scripts/format_check.sh --fix" >&2
  exit 1
fi
echo "C++ layout: ${#files[@]} files as .clang-format says"
