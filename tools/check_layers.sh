#!/usr/bin/env bash
# The layers of the source: world/ and quarnplan256/ include no SDL, GL or OpenAL header and
# nothing of the platform, the presentation or the shell (they reach threads, files and time
# through system/'s core and utility/); graphics/ includes nothing of the shell, and the world
# includes nothing of the drivers in world/driver/ that run it. The linker
# enforces the libraries; this check catches the includes. Checks the tree given, or this one.
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"
failed=0
refuse() {
  local why="$1" pattern="$2"
  shift 2
  local bad
  bad=$(grep -rnE "$pattern" "$@" 2>/dev/null || true)
  if [ -n "$bad" ]; then
    echo "Layer check failed: $why:"
    echo "$bad"
    failed=1
  fi
}
refuse "world/ and quarnplan256/ must not include window, GL or audio headers" \
  '#\s*include\s*[<"](SDL|GL/|GL\b|AL/|al\.h|alc\.h|glew|imgui)' world quarnplan256
refuse "world/ and quarnplan256/ must not include the platform, graphics/ or game/" \
  '#\s*include\s*"(graphics|game)/|#\s*include\s*"system/(window|input|audio|dialog|stack_walker|symbol_index|steam_api)\.h"' \
  world quarnplan256
refuse "graphics/ must not include game/" '#\s*include\s*"game/' graphics
# The drivers sit above the world: they run it, the world never calls them.
refuse "world/ must not include its drivers (world/driver/)" '#\s*include\s*"world/driver/' \
  $(find world -mindepth 1 -maxdepth 1 ! -name driver) quarnplan256
if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "Layer check passed."
