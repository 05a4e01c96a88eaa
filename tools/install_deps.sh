#!/usr/bin/env bash
# Installs the Debian packages the game, its tools and its tests need; skips what is there.
set -euo pipefail
packages=(
  build-essential cmake make pkg-config git
  libgtest-dev libgmock-dev
  libsdl2-dev libx11-dev libglew-dev libopenal-dev libimgui-dev libstb-dev
  clang-format
  clang libclang-rt-14-dev
  xvfb xauth libgl1-mesa-dri xdotool
  libdw-dev
  fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Another apt or the system's own updates may hold the package lock (on a fresh machine they often
# do): wait for it, ten minutes at most, instead of failing at once.
# The lock option covers the package database but not the package lists, so an update that finds
# the lists held (status 100) is tried again, every ten seconds for ten minutes at most.
lock=(-o DPkg::Lock::Timeout=600)
for try in $(seq 1 60); do
  status=0
  $sudo apt-get "${lock[@]}" update -qq || status=$?
  [ "$status" -ne 100 ] || [ "$try" -eq 60 ] || { echo "apt-get update could not run (another apt?); trying again" >&2; sleep "${QUILLOMAR_APT_RETRY_SECONDS:-10}"; continue; }
  [ "$status" -eq 0 ] || exit "$status"
  break
done
$sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
