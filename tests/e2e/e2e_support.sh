# Shared by the end-to-end scripts (sourced): a private X server, starting and ending the game, waiting on its log
# and on its screen, and clicks on the title screens. The caller sets $work (a scratch folder) and $build first.
#
# Nothing here waits a fixed time: each step waits for the state the next one needs (a log line, the window
# showing a row lit, the process gone), polling, up to a bound in seconds. The bounds are sized for a machine at
# load 35 on 8 cores, where the software renderer draws one to four frames a second; a step that takes longer
# than its bound has failed, and says which.

# The bounds, in seconds; QUILLOMAR_E2E_SCALE multiplies them all (for a sanitizer build, say).
scale=${QUILLOMAR_E2E_SCALE:-1}
t_start=$((300 * scale))  # from the process start to the title menu on the screen
t_screen=$((120 * scale)) # from an input on a title screen to what it brings up
t_landing=$((600 * scale)) # from NEW GAME or RESUME to the landing: the planet made, the intro played
t_end=$((300 * scale))    # from the last Escape to the process gone, the save written

fail() { echo "FAIL: $*"; [ -f "$work/game.log" ] && tail -40 "$work/game.log"; exit 1; }

# Starts Xvfb on a free display of its own choosing (it writes the number once it listens) and exports DISPLAY.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  local deadline=$((SECONDS + 60))
  until [ -s "$work/display" ]; do
    [ $SECONDS -lt $deadline ] || fail "Xvfb did not start within 60 s"
    kill -0 $xvfb 2>/dev/null || fail "Xvfb ended at start"
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$work/display")"
}

# Later waits on the log look only at the lines written after this point, so that a line of an earlier step
# (a screen shown before) cannot answer for the step at hand.
mark() { marked=$(wc -l <"$work/game.log"); }

# Waits until the log holds the text after the last mark, up to the seconds given.
await() {
  local deadline=$((SECONDS + $2))
  until tail -n +$((marked + 1)) "$work/game.log" | grep -q -- "$1"; do
    kill -0 $game 2>/dev/null || fail "the game ended while waiting for '$1'"
    [ $SECONDS -lt $deadline ] || fail "no '$1' within $2 s"
    sleep 0.1
  done
  echo "${SECONDS} s: $1"
}

# Starts the game in the background, its log in game.log, and waits until the title menu is on the screen. The log
# is emptied here, not by the background start's redirection: that one may come late, and the wait would read the
# previous game's lines.
start_game() {
  : >"$work/game.log"
  (cd "$build" && exec ./quillomar) >>"$work/game.log" 2>&1 &
  game=$!
  marked=0
  await "Title menu shown." $t_start
}

# Waits until the game has ended by itself and checks that it ended well: status 0, no assertion fired.
finish() {
  local deadline=$((SECONDS + t_end))
  while kill -0 $game 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { kill $game; fail "the game did not end within $t_end s"; }
    sleep 0.1
  done
  wait $game
  local status=$?
  [ $status -eq 0 ] || fail "exit status $status"
  grep -q "ASSERT FAILED" "$work/game.log" && fail "an assertion fired"
  return 0
}

# Leaves the game screen for the title menu and quits from there. Two Escapes sent at once could both reach the
# game screen, so the second waits for the menu.
quit_from_game() {
  mark
  xdotool key Escape
  await "Title menu shown." $t_screen
  xdotool key Escape
  finish
}

# Points at a row of the title screens (9 rows over the 720-pixel height) and clicks it once the game has drawn
# that row lit, in yellow, under the pointer: the click then lands on the screen the player sees, taken by the
# game that has seen the pointer arrive, never on a screen still coming up. The yellow (1, 1, 0.3) reads as blue 76, or 149 when
# the sRGB option encodes it; white and the orange notice stay outside the colour box.
row() {
  local top=$(($1 * 80)) deadline=$((SECONDS + t_screen))
  xdotool mousemove 640 $((top + 40))
  until [ "$("$build/tools/screen_colour" 0 $top 1280 80 255 255 112 40)" -gt 40 ]; do
    kill -0 $game 2>/dev/null || fail "the game ended while pointing at row $1"
    [ $SECONDS -lt $deadline ] || fail "row $1 was not drawn lit under the pointer within $t_screen s"
    sleep 0.1
  done
  xdotool click 1
}

# Clicks a row of the title screens and waits for the log line that says the click was acted on.
choose() {
  mark
  row $1
  await "$2" ${3:-$t_screen}
}
