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
lock=(-o DPkg::Lock::Timeout=600)
$sudo apt-get "${lock[@]}" update -qq
$sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
