#!/usr/bin/env bash
# Plays a new game on a private X server with OpenAL's wave-file output and checks what was heard: the seventeen
# sounds loaded, the scream of the arrival, and the music playing once the character has landed and the planet
# camera took over. The recording is measured second by second with tools/wave_level.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d /tmp/quillomar_sound.XXXXXX)
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_support.sh"

for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
[ -x "$build/tools/wave_level" ] || fail "no $build/tools/wave_level"
start_xvfb
printf '[general]\ndrivers = wave\n[wave]\nfile = %s\n' "$work/heard.wav" >"$work/alsoft.conf"
export QUILLOMAR_NO_DIALOGS=1 QUILLOMAR_USER_DIR="$work/user" ALSOFT_DRIVERS=wave ALSOFT_CONF="$work/alsoft.conf"
unset QUILLOMAR_DATA_DIR

started=$(date +%s)
(cd "$build" && exec ./quillomar) >"$work/game.log" 2>&1 &
game=$!
await "Found leaderboard" 30
sleep 1
row 3  # CUSTOMIZE PLANET
sleep 0.5
for _ in 1 2 3 4; do row 1; done  # Planet Size from the default round to 812 tiles, quick to draw in software
xdotool key Escape
sleep 0.5
row 4  # NEW GAME
await "Switched to planet cam." 120
landed=$(($(date +%s) - started))
sleep 4
xdotool key Escape
sleep 1
xdotool key Escape
for _ in $(seq 300); do kill -0 $game 2>/dev/null || break; sleep 0.1; done
kill -0 $game 2>/dev/null && { kill $game; fail "the game did not end"; }
wait $game
status=$?
[ $status -eq 0 ] || fail "exit status $status"
grep -q "ASSERT FAILED" "$work/game.log" && fail "an assertion fired"
[ "$(grep -c "^Loaded [0-9]* bytes for data/sounds/" "$work/game.log")" -eq 17 ] || fail "not all 17 sounds were loaded"
grep -q "Audio is closed" "$work/game.log" && fail "audio did not open on the wave-file output"

"$build/tools/wave_level" "$work/heard.wav" >"$work/levels.txt" || fail "the recording is not a WAVE file"
# Loud seconds (RMS above -45 dB) after the landing: the music, which plays until the game ends. The recording
# starts when audio opens, just after the process, so the landing's second is counted a little early.
after=$(awk -v t=$((landed - 2)) 'NR > 1 && $1 >= t && $2 > -45 { n++ } END { print n + 0 }' "$work/levels.txt")
before=$(awk -v t=$((landed - 2)) 'NR > 1 && $1 < t && $2 > -60 { n++ } END { print n + 0 }' "$work/levels.txt")
echo "landed after ${landed} s; $(head -1 "$work/levels.txt"); loud seconds before the landing: $before, after: $after"
[ "$before" -ge 1 ] || fail "nothing was heard before the landing (the arrival's scream)"
[ "$after" -ge 3 ] || fail "the music was not heard after the landing"
echo "PASS: sounds loaded, the arrival and the music heard after the landing"
