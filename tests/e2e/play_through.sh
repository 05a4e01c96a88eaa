#!/usr/bin/env bash
# Plays the game end to end on a private X server with real input events: start, NEW GAME, the landing, a click on
# a tile, fast-forward held, Escape twice to quit; then a second start that resumes the saved game. On the way: a
# second game on the same user folder ends at once, the smallest planet is refused back to the panel, and a third
# start keeps an unreadable save aside. On the way back from the customise panel the game in progress stays unless the
# planet was changed. Checks the exit
# statuses, the save and the options written, and that no assertion fired. With a folder as second argument the
# screenshots of the title menu, the customise panel and the landing are kept there.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
shots=${2:-}
work=$(mktemp -d /tmp/quillomar_e2e.XXXXXX)
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_support.sh"

for tool in Xvfb xdotool $([ -n "$shots" ] && echo import); do
  command -v $tool >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
[ -x "$build/tools/screen_colour" ] || fail "no $build/tools/screen_colour"
start_xvfb
export QUILLOMAR_NO_DIALOGS=1 QUILLOMAR_USER_DIR="$work/user" ALSOFT_DRIVERS=null
unset QUILLOMAR_DATA_DIR

shot() { [ -n "$shots" ] && import -window root "$shots/$1.png"; }

[ -n "$shots" ] && mkdir -p "$shots"
start_game
shot title_menu
# A second game on the same user folder says one is running and ends cleanly.
(cd "$build" && exec timeout $t_end ./quillomar) >"$work/second.log" 2>&1
[ $? -eq 0 ] || fail "the second game did not end with status 0"
grep -q "already running" "$work/second.log" || fail "the second game did not say that one is running"
choose 3 "Customise panel shown."  # CUSTOMIZE PLANET
# Planet Size from the default (7292 tiles) round to the smallest (92), which no variant can settle.
choose 1 "Planet Size is now jumbo."
choose 1 "Planet Size is now microscopic."
shot customise_panel
choose 8 "Title menu shown."  # [OK]
mark
row 4  # NEW GAME
await "This planet cannot be settled" $t_landing
await "Back to the customise panel." $t_screen
await "Customise panel shown." $t_screen
shot unsettleable
# On to 812 tiles: a quicker planet for the software renderer.
choose 1 "Planet Size is now miniscule."
choose 1 "Planet Size is now small."
mark
xdotool key Escape
await "Title menu shown." $t_screen
choose 4 "Switched to planet cam." $t_landing  # NEW GAME
shot landing
# A click on the planet below the centre, then fast-forward held until the game has seen it.
xdotool mousemove 640 470 click 1
mark
xdotool keydown Tab
await "Fast forward on." $t_screen
xdotool keyup Tab
await "Fast forward off." $t_screen
shot settlement
quit_from_game
grep -q "Did initialize steam." "$work/game.log" || fail "the store platform's start was not logged"
grep -q "MusicPlay()" "$work/game.log" || fail "the music did not start after the landing"
grep -q "Saved the game" "$work/game.log" || fail "the game was not saved"
[ -s "$work/user/autosave.dat" ] || fail "no autosave.dat"
[ -s "$work/user/settings.dat" ] || fail "no settings.dat"
# SDL stops after every service that used it, and the world goes last of all.
sdl_stopped=$(grep -n "SDL stopped." "$work/game.log" | tail -1 | cut -d: -f1)
world_freed=$(grep -n "Destroying world" "$work/game.log" | tail -1 | cut -d: -f1)
[ -n "$sdl_stopped" ] && [ -n "$world_freed" ] && [ "$world_freed" -gt "$sdl_stopped" ] ||
  fail "shut-down did not stop SDL and then free the world last"
cp "$work/game.log" "$work/first.log"

start_game
grep -q "We have a game in progress." "$work/game.log" || fail "the save was not seen at the second start"
# A look at the customise panel and back out with nothing changed: the game and its save stay.
choose 3 "Customise panel shown."  # CUSTOMIZE PLANET
shot customise_with_game
mark
xdotool key Escape
await "Title menu shown." $t_screen
[ -s "$work/user/autosave.dat" ] || fail "opening the customise panel removed the save"
choose 2 "Switched to planet cam." $t_landing  # RESUME GAME IN PROGRESS
shot resumed
grep -q "deleteCurrentGame" "$work/game.log" && fail "backing out of the customise panel deleted the game"
# Back in the title menu, a changed planet ends the game in progress when the panel is left.
mark
xdotool key Escape
await "Title menu shown." $t_screen
choose 3 "Customise panel shown."  # CUSTOMIZE PLANET
choose 1 "Planet Size is now"
mark
xdotool key Escape
await "deleteCurrentGame" $t_screen
await "Title menu shown." $t_screen
deadline=$((SECONDS + t_screen))
while [ -e "$work/user/autosave.dat" ] && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
[ -e "$work/user/autosave.dat" ] && fail "the changed planet left the old save behind"
shot title_after_change
xdotool key Escape
finish
grep -q "No saved game present\|could not be read" "$work/game.log" && fail "the save did not resume"
grep -q "Saved the game" "$work/game.log" && fail "the game ended by the changed planet was saved at exit"

# A save that cannot be read: RESUME keeps it aside, says so, and a new world is played and saved.
printf 'not a saved game' >"$work/user/autosave.dat"
start_game
mark
row 2  # RESUME GAME IN PROGRESS
await "is kept as 'autosave.dat.bad'" $t_landing
await "Game screen shown." $t_landing
mark
xdotool key Escape
await "Title menu shown." $t_screen
shot bad_save_notice
xdotool key Escape
finish
[ "$(cat "$work/user/autosave.dat.bad")" = "not a saved game" ] || fail "the unreadable save was not kept aside as it was"
[ -s "$work/user/autosave.dat" ] && [ "$(head -c 4 "$work/user/autosave.dat")" = "#Vyx" ] || fail "the new game was not saved"
echo "PASS: new game, landing, click, fast-forward, quit, resume, a bad save kept aside"
exit 0
