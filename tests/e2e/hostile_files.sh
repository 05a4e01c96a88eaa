#!/usr/bin/env bash
# Starts the real game on a private X server against hostile files in its user and data folders and checks what
# only the whole process shows: the exit status, and that the player was told (the dialog's log line, dialogs
# being off). An unusable lock file refuses the start; a data folder without its text shader stops cleanly; FIFOs
# under the log's and the store's names do not hang the start; a hang-up (SIGHUP) saves the game in progress as
# SIGTERM does; a save that cannot be written at the end is told and ends the process with status 3; without a
# user folder the title screen says so and NEW GAME is refused there.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d /tmp/quillomar_hostile.XXXXXX)
trap 'kill $xvfb 2>/dev/null; [ -n "${game:-}" ] && kill $game 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_support.sh"

for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
start_xvfb
export QUILLOMAR_NO_DIALOGS=1 ALSOFT_DRIVERS=null
unset QUILLOMAR_DATA_DIR

# Starts the game on a fresh user folder prepared by the caller ($work/user), in the background.
# The log is emptied here, not by the background start's redirection, which may come late.
start() {
  : >"$work/game.log"
  (cd "$build" && exec ./quillomar) >>"$work/game.log" 2>&1 &
  game=$!
  marked=0
}
# Waits for the game to end (up to the seconds given) and checks its exit status.
ends_with() {
  local deadline=$((SECONDS + $2))
  while kill -0 $game 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { kill -9 $game; fail "the game did not end within $2 s"; }
    sleep 0.1
  done
  wait $game
  local status=$?
  game=
  [ $status -eq $1 ] || fail "exit status $status, expected $1"
  grep -q "ASSERT FAILED" "$work/game.log" && fail "an assertion fired"
}
# NEW GAME from the title menu, clicked once the menu is up, then waits for the world to be made.
new_game() {
  await "Title menu shown." $t_start
  mark
  row 4
  await "Generated world for variant" $t_landing
}
fresh() { rm -rf "$work/user" && mkdir -p "$work/user" && export QUILLOMAR_USER_DIR="$work/user"; }

# The lock file is a folder: refused with the reason, status 1, nothing else started.
fresh
mkdir "$work/user/quillomar.lock"
start
ends_with 1 $t_start
grep -q "cannot make sure that it is the only game" "$work/game.log" || fail "no dialog for the unusable lock"
echo "ok: an unusable lock file refuses the start"

# FIFOs as the log and the store file: the game starts (its log only on standard output), and a hang-up during a
# game saves it and ends normally.
fresh
mkfifo "$work/user/vyxlog.txt" "$work/user/storestats.dat"
start
new_game
kill -HUP $game
ends_with 0 $t_end
grep -q "Saved the game at the age of" "$work/game.log" || fail "the hang-up did not save the game"
[ -f "$work/user/autosave.dat" ] || fail "no autosave.dat after the hang-up"
echo "ok: FIFOs do not hang the start, and a hang-up saves the game"

# "autosave.dat" is a folder: the title says so, the game plays, and the quit (SIGTERM) tells that it was not saved.
fresh
mkdir "$work/user/autosave.dat"
start
await "is a folder, not a saved game" $t_start
new_game
kill -TERM $game
ends_with 3 $t_end
grep -q "could not save the game in progress" "$work/game.log" || fail "no dialog for the lost session"
[ -d "$work/user/autosave.dat" ] || fail "the folder autosave.dat was not kept"
echo "ok: a save that cannot be written is told, status 3"

# No user folder at all: the title screen says so from the start and names the variables; NEW GAME is refused
# there and the game goes on; no dialog points at a log that was never opened.
home=$HOME
unset HOME XDG_DATA_HOME QUILLOMAR_USER_DIR
start
export HOME=$home
await "Title menu shown. It says: No user folder can be found" $t_start
grep -q "QUILLOMAR_USER_DIR (or XDG_DATA_HOME or HOME)" "$work/game.log" || fail "the notice does not name the variables"
mark
row 4
await "Cannot play: there is no user folder" $t_landing
await "Title menu shown. It says: No user folder" $t_screen
kill -TERM $game
ends_with 0 $t_end
grep -q "vyxlog" "$work/game.log" && fail "a line points at a log that was never opened"
echo "ok: without a user folder the title screen says so and the game goes on"

# A data folder like the build's in $work/data, less the files of one of its folders given, which the caller
# then puts back as it likes.
data_without() {
  rm -rf "$work/data" && mkdir -p "$work/data/data/$1"
  for entry in "$build"/data/*; do [ "$(basename "$entry")" = "$1" ] || ln -s "$entry" "$work/data/data/"; done
}

# The data folder without the text shader: one dialog naming it, and a clean stop with status 4.
fresh
data_without shaders
for entry in "$build"/data/shaders/*; do
  [ "$(basename "$entry")" = text_ps.glsl ] || ln -s "$entry" "$work/data/data/shaders/"
done
QUILLOMAR_DATA_DIR="$work/data" start
ends_with 4 $t_start
grep -q "data/shaders/text_ps.glsl (missing)" "$work/game.log" || fail "the missing shader was not named"
grep -q "Dialog not shown" "$work/game.log" || fail "no dialog for the missing shader"
echo "ok: a missing text shader is named and stops the game, status 4"

# Damaged planet dumps: NEW GAME cannot make the planet; the process ends with status 1 after the dialog says why.
fresh
data_without planets
for entry in "$build"/data/planets/*; do echo "sphere numtiles=12" >"$work/data/data/planets/$(basename "$entry")"; done
QUILLOMAR_DATA_DIR="$work/data" start
await "Title menu shown." $t_start
row 4
ends_with 1 $t_landing
grep -q "cannot make the planet" "$work/game.log" || fail "no dialog for the damaged planet file"
echo "PASS: hostile files in the user and data folders"
