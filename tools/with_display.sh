#!/usr/bin/env bash
# Runs a command with an X display and a quiet sound device: the window and audio tests need
# both. An existing display is used as it is; without one a private Xvfb is started and stopped.
set -euo pipefail
export ALSOFT_DRIVERS=${ALSOFT_DRIVERS:-null}
export LIBGL_ALWAYS_SOFTWARE=${LIBGL_ALWAYS_SOFTWARE:-1}
if [ -n "${DISPLAY:-}" ] && { ! command -v xdpyinfo >/dev/null || xdpyinfo >/dev/null 2>&1; }; then
  exec "$@"
fi
if ! command -v Xvfb >/dev/null; then
  echo "with_display: no display and no Xvfb; the window tests will skip themselves" >&2
  exec "$@"
fi
# Xvfb picks a free display number itself and writes it once it accepts connections: choosing the
# number here raced with other runs starting at the same moment (both took the same number, and
# the first to end took the display away from the other).
numfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$numfile"' EXIT
for _ in $(seq 1 200); do
  [ -s "$numfile" ] && break
  sleep 0.05
done
n=$(tr -d '[:space:]' <"$numfile")
if [ -z "$n" ]; then
  echo "with_display: Xvfb did not start; the window tests will skip themselves" >&2
  exec "$@"
fi
export DISPLAY=":${n}"
"$@"
