#!/usr/bin/env bash
# Runs a command with an X display and a quiet sound device: the window and audio tests need
# both. An existing display is used as it is; without one a private Xvfb is started and stopped.
# Where no display can be had the window tests skip themselves, except in CI (CI=true): there the
# run would pass without them, so it fails instead. QUILLOMAR_DISPLAY_WAIT is how many seconds
# Xvfb gets to come up (60).
set -euo pipefail
export ALSOFT_DRIVERS=${ALSOFT_DRIVERS:-null}
export LIBGL_ALWAYS_SOFTWARE=${LIBGL_ALWAYS_SOFTWARE:-1}
ci=0
[ "${CI:-}" = "true" ] && ci=1
wait_seconds=${QUILLOMAR_DISPLAY_WAIT:-60}
if [ -n "${DISPLAY:-}" ] && { ! command -v xdpyinfo >/dev/null || xdpyinfo >/dev/null 2>&1; }; then
  exec "$@"
fi
# No display: in CI a failure, elsewhere the window tests skip themselves.
no_display() {
  if [ "$ci" -eq 1 ]; then
    echo "with_display: FAILED: $1; in CI the window tests must not be skipped" >&2
    exit 1
  fi
  echo "with_display: $1; the window tests will skip themselves" >&2
}
if ! command -v Xvfb >/dev/null; then
  no_display "no display and no Xvfb"
  exec "$@"
fi
# Xvfb picks a free display number itself and writes it once it accepts connections: choosing the
# number here raced with other runs starting at the same moment (both took the same number, and
# the first to end took the display away from the other).
numfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
xvfb=$!
# The Xvfb started here is ended whatever happens: the command ends, fails, the wait gives up,
# or this script is stopped.
stop_xvfb() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
  fi
}
trap 'stop_xvfb; rm -f "$numfile"' EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP
deadline=$((SECONDS + wait_seconds))
while [ ! -s "$numfile" ] && [ "$SECONDS" -lt "$deadline" ] && kill -0 "$xvfb" 2>/dev/null; do
  sleep 0.05
done
n=$(tr -d '[:space:]' <"$numfile")
if [ -z "$n" ]; then
  stop_xvfb
  no_display "Xvfb did not come up within ${wait_seconds} s"
  "$@"
  exit
fi
export DISPLAY=":${n}"
"$@"
