# Shared by the end-to-end scripts (sourced): a private X server, waiting on the game's log, and clicks on the
# title screens. The caller sets $work (a scratch folder) and $game (the game's process id) before awaiting.
fail() { echo "FAIL: $*"; [ -f "$work/game.log" ] && tail -40 "$work/game.log"; exit 1; }

# Starts Xvfb on a free display of its own choosing (it writes the number once it listens) and exports DISPLAY.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$work/display")"
}

# Waits until the log holds the text, up to the seconds given.
await() {
  for _ in $(seq $(($2 * 10))); do
    grep -q "$1" "$work/game.log" && return 0
    kill -0 $game 2>/dev/null || fail "the game ended while waiting for '$1'"
    sleep 0.1
  done
  fail "no '$1' within $2 s"
}

# A click at a row of the title screens (9 rows over the 720-pixel height).
row() { xdotool mousemove 640 $(($1 * 80 + 40)); sleep 0.3; xdotool click 1; sleep 0.5; }
