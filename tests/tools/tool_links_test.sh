#!/usr/bin/env bash
# Each tool links only the layers it uses: the game shell only when it includes game/, the
# presentation only when it includes graphics/, the platform only with graphics/ or a platform
# header, the simulation's drivers only when it includes world/driver/. Reads the link lines of the
# build folder given (Makefile generators; skips elsewhere).
#   tool_links_test.sh <source folder> <build folder>
set -euo pipefail
src="$1"
build="$2"
[ -f "$build/tools/CMakeFiles/headless.dir/link.txt" ] || { echo "no link lines in $build; skipped"; exit 77; }
failed=0
for tool in "$src"/tools/*.cpp; do
  name=$(basename "$tool" .cpp)
  link="$build/tools/CMakeFiles/$name.dir/link.txt"
  [ -f "$link" ] || { echo "$name: no link line"; failed=1; continue; }
  # The includes of the tool and of the tools/ headers it includes.
  headers=$(grep -ohE '#include "tools/[^"]+"' "$tool" | sed -E 's/.*"(.*)"/\1/' || true)
  uses=$(cd "$src" && cat "tools/$name.cpp" $headers | grep -ohE '#include "[^"]+"' || true)
  while read -r lib pattern; do
    if grep -qE "/lib$lib\.a( |$)" "$link" && ! grep -qE "$pattern" <<<"$uses"; then
      echo "$name links $lib without using it"
      failed=1
    fi
  done <<'RULES'
game "game/
graphics "graphics/
system_platform "(graphics/|system/(window|input|audio|dialog|stack_walker|symbol_index|steam_api)\.h)
simdriver "world/driver/
RULES
done
[ "$failed" -eq 0 ] && echo "Every tool links only the layers it uses."
exit "$failed"
