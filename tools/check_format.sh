#!/usr/bin/env bash
# Checks (or with --fix, applies) the project's clang-format style on every C++ source.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ -n "$files" ] || exit 0
if [ "${1:-}" = "--fix" ]; then
  echo "$files" | xargs clang-format -i
else
  echo "$files" | xargs clang-format --dry-run --Werror
fi
