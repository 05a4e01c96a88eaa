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
for tool in wave_level screen_colour; do [ -x "$build/tools/$tool" ] || fail "no $build/tools/$tool"; done
start_xvfb
printf '[general]\ndrivers = wave\n[wave]\nfile = %s\n' "$work/heard.wav" >"$work/alsoft.conf"
export QUILLOMAR_NO_DIALOGS=1 QUILLOMAR_USER_DIR="$work/user" ALSOFT_DRIVERS=wave ALSOFT_CONF="$work/alsoft.conf"
unset QUILLOMAR_DATA_DIR

start_game
choose 3 "Customise panel shown."  # CUSTOMIZE PLANET
# Planet Size from the default round to 812 tiles, quick to draw in software.
for size in jumbo microscopic miniscule small; do choose 1 "Planet Size is now $size."; done
mark
xdotool key Escape
await "Title menu shown." $t_screen
choose 4 "Switched to planet cam." $t_landing  # NEW GAME
# Where the recording stood when the music began; then five seconds more of it before the game ends.
seconds() { "$build/tools/wave_level" "$work/heard.wav" | awk 'NR == 1 { print int($2) }'; }
landed=$(seconds)
[ -n "$landed" ] || fail "the recording is not a WAVE file"
rate=$(od -An -tu4 -j28 -N4 "$work/heard.wav" | tr -d ' ')
[ "${rate:-0}" -gt 0 ] || fail "the recording's header gives no byte rate"
want=$(($(stat -c %s "$work/heard.wav") + 5 * rate))
deadline=$((SECONDS + t_screen))
while [ "$(stat -c %s "$work/heard.wav")" -lt $want ]; do
  [ $SECONDS -lt $deadline ] || fail "the recording did not grow by 5 s within $t_screen s"
  sleep 0.2
done
quit_from_game
[ "$(grep -c "^Loaded [0-9]* bytes for data/sounds/" "$work/game.log")" -eq 17 ] || fail "not all 17 sounds were loaded"
grep -q "Audio is closed" "$work/game.log" && fail "audio did not open on the wave-file output"

"$build/tools/wave_level" "$work/heard.wav" >"$work/levels.txt" || fail "the recording is not a WAVE file"
# Loud seconds (RMS above -45 dB) from the landing on: the music, which plays until the game ends. The landing's
# second is where the recording stood when the landing was logged, so a second early covers the log's delay.
after=$(awk -v t=$((landed - 1)) 'NR > 1 && $1 >= t && $2 > -45 { n++ } END { print n + 0 }' "$work/levels.txt")
before=$(awk -v t=$((landed - 1)) 'NR > 1 && $1 < t && $2 > -60 { n++ } END { print n + 0 }' "$work/levels.txt")
echo "landed after ${landed} s; $(head -1 "$work/levels.txt"); loud seconds before the landing: $before, after: $after"
[ "$before" -ge 1 ] || fail "nothing was heard before the landing (the arrival's scream)"
[ "$after" -ge 3 ] || fail "the music was not heard after the landing"
echo "PASS: sounds loaded, the arrival and the music heard after the landing"
