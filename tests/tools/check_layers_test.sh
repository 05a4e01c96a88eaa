#!/usr/bin/env bash
# The layer check itself: it passes this tree, and fails a copy where world/ includes a graphics
# header (also in brackets or by a path through ".."), where world/ includes the shell or its drivers, and where
# graphics/ includes the shell.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
check="$here/tools/check_layers.sh"
"$check" "$here" >/dev/null || { echo "the layer check fails the tree as it is"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for breach in 'world/wld.cpp:#include "graphics/vis/vis.h"' 'world/save/save.cpp:#include "game/shell.h"' \
  'graphics/vis/vis.cpp:#include "game/title_menu.h"' 'world/planet/globe.cpp:#include "system/window.h"' \
  'world/sim/sim_frame.cpp:#include "world/driver/headless_run.h"' 'world/wld.cpp:#include <graphics/vis/vis.h>' \
  'world/planet/globe.cpp:#include "../../graphics/vis/vis.h"' 'world/wld.cpp:#include "system/../graphics/vis/vis.h"' \
  'world/sim/sim_frame.cpp:#  include "../driver/headless_run.h"' 'graphics/vis/vis.cpp:#include <game/../game/shell.h>'; do
  file="${breach%%:*}"
  line="${breach#*:}"
  rm -rf "$scratch/tree" && mkdir -p "$scratch/tree"
  cp -r "$here/world" "$here/quarnplan256" "$here/graphics" "$scratch/tree/"
  printf '%s\n' "$line" >>"$scratch/tree/$file"
  if "$check" "$scratch/tree" >"$scratch/out" 2>&1; then
    echo "the layer check passed $file with: $line"
    exit 1
  fi
  grep -q "Layer check failed" "$scratch/out" || { echo "no failure line for $file"; exit 1; }
done
echo "The layer check refuses every breach."
