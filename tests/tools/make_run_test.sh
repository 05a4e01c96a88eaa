#!/usr/bin/env bash
# The README's two commands, as make would run them: `make run` builds the game and its data
# and none of the test programs, benchmarks or other tools; `make test` builds everything.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
builds() { env -u MAKEFLAGS -u MAKELEVEL make -s -n -C "$here" "$1" BUILD=/nonexistent JOBS=1 | grep -E '^cmake --build ' || true; }
failed=0
run=$(builds run)
[ -n "$run" ] || { echo "make run builds nothing"; failed=1; }
while read -r line; do
  [ -z "$line" ] && continue
  targets=$(echo "$line" | sed -n 's/.*--target //p')
  [ -n "$targets" ] || { echo "make run builds everything: $line"; failed=1; }
  for t in $targets; do
    case "$t" in
      quillomar | data_folder) ;;
      *) echo "make run builds $t"; failed=1 ;;
    esac
  done
done <<<"$run"
builds test | grep -qvE -- '--target' || { echo "make test does not build everything"; failed=1; }
[ "$failed" -eq 0 ] && echo "make run builds the game and its data only."
exit "$failed"
