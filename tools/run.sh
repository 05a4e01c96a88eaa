#!/usr/bin/env bash
# What `make run` starts: the game in its window, from the build folder so that the data folder beside the program
# is found. `tools/run.sh BUILD --headless [options]` runs the headless simulation driver instead (for example
# `--minutes 1`; `--help` lists its options).
set -euo pipefail
build=${1:-build}
shift || true
if [ "${1:-}" = "--headless" ]; then
  shift
  [ $# -gt 0 ] || set -- --minutes 1
  QUILLOMAR_DATA_DIR="$build" exec "$build/tools/headless" "$@"
fi
if [ ! -x "$build/quillomar" ]; then
  echo "The game is not built yet: run 'make game' (or 'make run')."
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the game needs a window. On a machine without one, run it on a virtual screen:"
  echo "  xvfb-run -a -s '-screen 0 1280x720x24' tools/run.sh $build"
  echo "or see the simulation without a window: tools/run.sh $build --headless"
  exit 1
fi
cd "$build"
exec ./quillomar
