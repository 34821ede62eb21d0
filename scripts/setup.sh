#!/usr/bin/env bash
# Installs what the build, the production and the tests need from Debian's
# packages (only what is missing), then configures and builds everything, or
# with --target only the targets named (and what they need).
# Usage: scripts/setup.sh [--target NAME]... [build-dir] [extra cmake args...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
targets=()
while [ "${1:-}" = --target ]; do
  targets+=(--target "$2")
  shift 2
done
build=${1:-"$here/build"}
shift || true

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libglew-dev libglu1-mesa-dev libgl-dev libstb-dev libmpg123-dev
  libgtest-dev libbenchmark-dev libimgui-dev zlib1g-dev libdeflate-dev
  xvfb xauth x11-apps x11-utils xdotool imagemagick strace
  lame mpg123 ffmpeg sox procps tar parallel
  clang libclang-rt-14-dev ccache
)
ensure_packages "${packages[@]}"

# Compiled objects are cached outside the clone, so a second run on the same
# machine (CI included) rebuilds only what changed.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_DIR=${CCACHE_DIR:-"$ostrel_cache/ccache"}
  # Paths inside the clone are hashed relative to it, so a clone in another
  # folder (CI clones afresh) finds the objects of the last one. A caller that
  # needs the compiler to see absolute paths sets it empty.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR-"$here"}
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# OSTREL_NO_DEBUG_INFO=1 (CI) leaves out the debug information nobody reads
# there, a quarter of the build's CPU time; the sanitized build keeps the line
# tables of its own options for its reports.
flags=()
if [ -n "${OSTREL_NO_DEBUG_INFO:-}" ]; then
  flags=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG")
fi
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE="${OSTREL_BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "${flags[@]}" "$@"
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
