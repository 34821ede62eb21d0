#!/usr/bin/env bash
# Builds the Linux release's programs inside a Debian 11 ("bullseye") root,
# with its GCC 10 and glibc 2.31, so that they ask for no glibc symbol newer
# than 2.31 and start on Debian 11, Ubuntu 20.04 and every later system.
# SDL2 and libmpg123 are still the versions of this system's sources
# (scripts/build-deps-linux.sh, run inside the root).
# Usage: scripts/build-release-linux.sh BUILD_DIR TARGET...
# Needs root (debootstrap, chroot, mount). The root is made once and kept in
# $OSTREL_CACHE (default ~/.cache/ostrel), as are the libraries built in it
# and the compiler cache.
set -euo pipefail
[ $# -ge 2 ] || { sed -n '7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
shift
[ "$(id -u)" -eq 0 ] || { echo "build-release-linux: needs root (debootstrap, chroot, mount)" >&2; exit 2; }
# shellcheck source=scripts/lib.sh
. "$here/scripts/lib.sh"
cache=$ostrel_cache
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

suite=bullseye
# The compiler, the libraries the programs link statically (GLEW, GLU, stb)
# and the headers of what SDL loads at run time.
packages=build-essential,pkg-config,dpkg-dev,cmake,ccache,libgl-dev,libglu1-mesa-dev,libglew-dev,libstb-dev
packages+=,libx11-dev,libxext-dev,libxcursor-dev,libxi-dev,libxrandr-dev,libxss-dev,libxfixes-dev
packages+=,libxkbcommon-dev,libwayland-dev,libegl-dev,libpulse-dev,libpipewire-0.3-dev,libasound2-dev
packages+=,libdbus-1-dev,libudev-dev
# Raise when the recipe of the root changes, so that an older root is not reused.
recipe=1
name=build-root-$suite-r$recipe
root="$cache/$name"

if [ ! -f "$root/.complete" ]; then
  partial=$("$here/scripts/debian-root.sh" "$name.base" "$suite" "$packages")
  # SDL 2.26 loads PipeWire 0.3.20 or newer at run time; Debian 11 has
  # 0.3.19. This system's headers go over it: they are only compiled
  # against, nothing links them.
  debs=$(mktemp -d)
  (cd "$debs" && apt-get download libpipewire-0.3-dev libspa-0.2-dev >/dev/null 2>&1)
  for deb in "$debs"/*.deb; do dpkg -x "$deb" "$partial"; done
  rm -rf "$debs"
  mv "$partial" "$root"
fi

# The sources, the build tree and the cache appear inside the root at the
# paths they have here, so that every path in the build means the same on
# both sides.
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
bind() {
  mkdir -p "$root$1"
  mount --bind "$1" "$root$1"
  mounted+=("$root$1")
}
bind "$here"
case "$build" in "$here"/*) ;; *) bind "$build" ;; esac
bind "$cache"
mount -t proc proc "$root/proc"
mounted+=("$root/proc")

inside() {
  chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$HOME" LANG=C.UTF-8 \
    OSTREL_CACHE="$cache" CCACHE_DIR="$cache/ccache-$suite" CCACHE_BASEDIR="$here" "$@"
}

# The source tarballs come from this system's package lists; the root only
# unpacks and builds them.
"$here/scripts/fetch-debian-source.sh" libsdl2 mpg123 glew >/dev/null
deps=$(inside "$here/scripts/build-deps-linux.sh")

# A tree configured outside the root (another CMake, another compiler) is
# not reused.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "^OSTREL_BUILD_ROOT:STRING=$suite-r$recipe$" "$build/CMakeCache.txt"; then
  rm -rf "$build"
  mkdir -p "$build"
fi
inside cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DOSTREL_STATIC_DEPS="$deps" \
  -DOSTREL_BUILD_ROOT:STRING="$suite-r$recipe" \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCHMARKS=OFF -DOSTREL_BUILD_TOOLS=OFF -DOSTREL_SANITIZE=OFF >/dev/null
inside cmake --build "$build" -j "$(nproc)" --target "$@"
