#!/usr/bin/env bash
# The package installer with stand-ins for dpkg-query, sudo and apt-get: it asks apt to install
# only what is missing, and both of its apt calls wait (bounded) for another apt's lock.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
printf '#!/bin/sh\n[ "$3" = cmake ] && exit 1\necho "install ok installed"\n' >"$scratch/bin/dpkg-query"
printf '#!/bin/sh\nexec "$@"\n' >"$scratch/bin/sudo"
printf '#!/bin/sh\necho "$*" >>"%s/apt"\n' "$scratch" >"$scratch/bin/apt-get"
chmod +x "$scratch/bin/"*
PATH="$scratch/bin:$PATH" "$here/tools/install_deps.sh" >/dev/null
failed=0
for call in update install; do
  line=$(grep -E "(^| )$call( |$)" "$scratch/apt" || true)
  [ -n "$line" ] || { echo "apt-get $call was not called"; failed=1; continue; }
  echo "$line" | grep -qE 'DPkg::Lock::Timeout=[1-9]' || { echo "apt-get $call does not wait for the lock: $line"; failed=1; }
done
grep install "$scratch/apt" | grep -qE ' cmake$' || { echo "not just the missing package installed"; failed=1; }
[ "$failed" -eq 0 ] && echo "The installer waits for the package lock."
exit "$failed"
