#!/usr/bin/env bash
# Installs what the build, the production and the tests need from Debian's
# packages (only what is missing), then configures and builds.
# Usage: scripts/setup.sh [build-dir] [extra cmake args...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
shift || true

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libglew-dev libglu1-mesa-dev libgl-dev libstb-dev libmpg123-dev
  libgtest-dev libbenchmark-dev libimgui-dev
  xvfb xauth x11-apps xdotool imagemagick
  lame mpg123 ffmpeg sox procps tar
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "ostrel: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE="${OSTREL_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$build" -j "$(nproc)"
