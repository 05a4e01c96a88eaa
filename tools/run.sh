#!/usr/bin/env bash
# What `make run` starts. Until the game's window lands this runs the headless driver.
set -euo pipefail
build=${1:-build}
if [ -x "$build/tools/headless" ]; then
  exec "$build/tools/headless" --minutes 1
fi
echo "The game cannot be started yet: only the engine foundation is built. Run 'make test'."
