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
# Find a free display number; the lock file tells which are taken.
n=99
while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
Xvfb ":${n}" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${n}" ] && break
  sleep 0.05
done
export DISPLAY=":${n}"
"$@"
