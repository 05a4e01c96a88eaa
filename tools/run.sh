#!/usr/bin/env bash
# What `make run` starts. Until the game's window lands this runs the headless driver on the
# default planet for one simulated minute; the planet dumps are in the build's data folder.
set -euo pipefail
build=${1:-build}
if [ -x "$build/tools/headless" ]; then
  QUILLOMAR_DATA_DIR="$build" exec "$build/tools/headless" --minutes 1
fi
echo "The headless driver is not built yet. Run 'make test'."
exit 1
