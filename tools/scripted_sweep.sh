#!/usr/bin/env bash
# How far the scripted player gets on planet sizes 2 to 4, variants 0 to 5, in lockstep with the services so that
# every run of a world ends the same: one "name value unit" line per figure and world, the minute of the win among
# them (-1 when not won). Usage: tools/scripted_sweep.sh [BUILD_DIR] [MINUTES] [PARALLEL] [LOG_DIR]
# With LOG_DIR, each world's whole log is kept there as sSvV.log, to see what held a lost world back.
set -euo pipefail
build=${1:-build}
minutes=${2:-120}
parallel=${3:-2}
export QUILLOMAR_DATA_DIR=$(cd "$build" && pwd)
if [ -n "${4:-}" ]; then
  mkdir -p "$4"
  out=$(cd "$4" && pwd)
else
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi
for s in 2 3 4; do for v in 0 1 2 3 4 5; do echo "$s $v"; done; done |
  xargs -P "$parallel" -n 2 sh -c '"$0" --size "$1" --variant "$2" --minutes "'"$minutes"'" --lockstep --figures --quiet > "'"$out"'/s$1v$2.log" 2>&1 || true' \
    "$QUILLOMAR_DATA_DIR/tools/scripted_play"
cat "$out"/*.log | grep -E '^(Played|scripted_play_)'
