#!/usr/bin/env bash
# The layers of the source: world/ and quarnplan256/ include no SDL, GL or OpenAL header and
# nothing of the platform, the presentation or the shell (they reach threads, files and time
# through system/'s core and utility/); graphics/ includes nothing of the shell, and the world
# includes nothing of the drivers in world/driver/ that run it. The linker
# enforces the libraries; this check catches the includes. Checks the tree given, or this one.
# An include is judged by the file the compiler would find: a quoted path from the including
# file's folder and from the root, a bracketed one from the root, with "." and ".." resolved, so
# <graphics/...>, "../../graphics/..." and "system/../graphics/..." count as graphics/.
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

# Every include of the layers' sources as "file:line: path-as-resolved" (one line per place the
# compiler may look), for the rules below to match the resolved path.
resolved=$(grep -rnE '^\s*#\s*include\s*[<"][^>"]+[>"]' world quarnplan256 graphics 2>/dev/null | awk '
  function norm(p,   n, parts, out, k, i, s) {
    n = split(p, parts, "/"); k = 0
    for (i = 1; i <= n; i++) {
      if (parts[i] == "" || parts[i] == ".") continue
      if (parts[i] == "..") { if (k > 0 && out[k] != "..") k--; else out[++k] = ".."; continue }
      out[++k] = parts[i]
    }
    s = ""
    for (i = 1; i <= k; i++) s = s (i > 1 ? "/" : "") out[i]
    return s
  }
  {
    file = $0; sub(/:.*/, "", file)
    rest = substr($0, length(file) + 2); line = rest; sub(/:.*/, "", line)
    text = substr(rest, length(line) + 2)
    match(text, /[<"][^>"]+[>"]/)
    path = substr(text, RSTART + 1, RLENGTH - 2)
    quoted = substr(text, RSTART, 1) == "\""
    print file ":" line ": " norm(path)
    dir = file; sub(/\/[^\/]*$/, "", dir)
    if (quoted) print file ":" line ": " norm(dir "/" path)
  }')
# Refuses the includes of the files under `folders` (but not under `except`) whose resolved path
# matches `pattern`.
refuse_resolved() {
  local why="$1" folders="$2" except="$3" pattern="$4"
  local bad
  bad=$(grep -E "^${folders}[^:]*:[0-9]+: ${pattern}" <<<"$resolved" | grep -vE "^${except}" | sort -u || true)
  if [ -n "$bad" ]; then
    echo "Layer check failed: $why:"
    echo "$bad"
    failed=1
  fi
}
refuse_resolved "world/ and quarnplan256/ must not include the platform, graphics/ or game/" '(world|quarnplan256)/' '$^' \
  '((graphics|game)/|system/(window|input|audio|dialog|stack_walker|symbol_index|steam_api)\.h$)'
refuse_resolved "graphics/ must not include game/" 'graphics/' '$^' 'game/'
# The drivers sit above the world: they run it, the world never calls them.
refuse_resolved "world/ must not include its drivers (world/driver/)" '(world|quarnplan256)/' 'world/driver/' \
  'world/driver/'
if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "Layer check passed."
