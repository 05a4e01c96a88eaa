#!/usr/bin/env bash
# The display wrapper against a stand-in Xvfb: a display that comes up is used and stopped after
# the command; one that does not come up fails the run in CI and is skipped outside it; the Xvfb
# the wrapper started is gone afterwards every time.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
# The stand-in notes its process id, writes display number 42 when told to, then stays until stopped.
cat >"$scratch/bin/Xvfb" <<'XVFB'
#!/usr/bin/env bash
echo $$ >"$STAND_IN_PID"
[ "$STAND_IN_UP" = 1 ] && echo 42 >&3
exec sleep 600
XVFB
chmod +x "$scratch/bin/Xvfb"
failed=0
# up, CI, expected status, the DISPLAY the command saw ("none": it must not run, "empty": unset)
while read -r up ci want seen; do
  rm -f "$scratch/pid" "$scratch/display"
  status=0
  env -u DISPLAY PATH="$scratch/bin:$PATH" CI="$ci" QUILLOMAR_DISPLAY_WAIT=2 STAND_IN_PID="$scratch/pid" \
    STAND_IN_UP="$up" "$here/tools/with_display.sh" sh -c "echo \"\$DISPLAY\" >'$scratch/display'" \
    >"$scratch/out" 2>&1 || status=$?
  case="Xvfb up=$up CI=$ci"
  [ "$status" -eq "$want" ] || { echo "$case: status $status, expected $want"; failed=1; }
  got=none
  [ -f "$scratch/display" ] && got=$(cat "$scratch/display") && got=${got:-empty}
  [ "$got" = "$seen" ] || { echo "$case: the command saw DISPLAY '$got', expected '$seen'"; failed=1; }
  if [ "$want" -ne 0 ] && ! grep -q "FAILED: Xvfb did not come up" "$scratch/out"; then
    echo "$case: no failure line"
    failed=1
  fi
  if [ -s "$scratch/pid" ] && kill -0 "$(cat "$scratch/pid")" 2>/dev/null; then
    echo "$case: the Xvfb it started is still running"
    kill "$(cat "$scratch/pid")"
    failed=1
  fi
done <<'CASES'
1 true 0 :42
0 true 1 none
0 false 0 empty
CASES
[ "$failed" -eq 0 ] && echo "The display wrapper stops its Xvfb and fails CI without a display."
exit "$failed"
