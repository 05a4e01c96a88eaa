#!/usr/bin/env bash
# The package installer with stand-ins for dpkg-query, sudo and apt-get: it asks apt to install
# only what is missing, both of its apt calls wait (bounded) for another apt's lock, and an update
# that finds the package lists locked is tried again.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
printf '#!/bin/sh\n[ "$3" = cmake ] && exit 1\necho "install ok installed"\n' >"$scratch/bin/dpkg-query"
printf '#!/bin/sh\nexec "$@"\n' >"$scratch/bin/sudo"
# The first update finds the package lists locked, as when another apt is updating them.
printf '#!/bin/sh\necho "$*" >>"%s/apt"\ncase "$*" in *update*) [ -e "%s/held" ] || { : >"%s/held"; exit 100; };; esac\n' \
  "$scratch" "$scratch" "$scratch" >"$scratch/bin/apt-get"
chmod +x "$scratch/bin/"*
QUILLOMAR_APT_RETRY_SECONDS=0 PATH="$scratch/bin:$PATH" "$here/tools/install_deps.sh" >/dev/null 2>&1 ||
  { echo "the installer gave up on locked package lists"; exit 1; }
[ "$(grep -c update "$scratch/apt")" -eq 2 ] || { echo "a locked update was not tried again"; exit 1; }
failed=0
for call in update install; do
  line=$(grep -E "(^| )$call( |$)" "$scratch/apt" || true)
  [ -n "$line" ] || { echo "apt-get $call was not called"; failed=1; continue; }
  echo "$line" | grep -qE 'DPkg::Lock::Timeout=[1-9]' || { echo "apt-get $call does not wait for the lock: $line"; failed=1; }
done
grep install "$scratch/apt" | grep -qE ' cmake$' || { echo "not just the missing package installed"; failed=1; }
[ "$failed" -eq 0 ] && echo "The installer waits for the package lock."
exit "$failed"
