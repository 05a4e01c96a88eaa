#!/usr/bin/env bash
# The simulation builds and runs without a window: world/ and quarnplan256/ include no
# SDL, GL or OpenAL header; they reach threads, files and time through system/ and utility/.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=$(grep -rnE '#\s*include\s*[<"](SDL|GL/|GL\b|AL/|al\.h|alc\.h|glew|imgui)' world quarnplan256 2>/dev/null || true)
if [ -n "$bad" ]; then
  echo "Layer check failed: world/ and quarnplan256/ must not include window, GL or audio headers:"
  echo "$bad"
  exit 1
fi
echo "Layer check passed."
