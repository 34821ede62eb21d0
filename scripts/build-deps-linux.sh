#!/usr/bin/env bash
# Builds static SDL2, libmpg123 and GLEW from Debian's source packages (with
# Debian's patches) into a prefix in the cache outside the clone, once; prints
# the prefix. (Debian 11, where the release is built, has no static GLEW.)
# Usage: scripts/build-deps-linux.sh
# The prefix is $OSTREL_CACHE/linux-static-<versions>-r<recipe> (default cache
# ~/.cache/ostrel); a finished prefix is reused as it is.
#
# SDL2 loads its X11, Wayland, PulseAudio, PipeWire and ALSA back ends with
# dlopen at run time, so a program linked with this libSDL2.a needs none of
# them installed; configure only needs their headers and library names here.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
# Raise when the recipe below changes, so that an older prefix is not reused.
recipe=3

mapfile -t tarballs < <("$here/scripts/fetch-debian-source.sh" libsdl2 mpg123 glew)
# The Debian source description beside each tarball, e.g. libsdl2_2.26.5+dfsg-1.dsc.
dsc_of() {
  local pkg=$1 dir=${2%/*}
  ls "$dir/${pkg}"_*.dsc | head -n 1
}
sdl_dsc=$(dsc_of libsdl2 "${tarballs[0]}")
mpg_dsc=$(dsc_of mpg123 "${tarballs[1]}")
glew_dsc=$(dsc_of glew "${tarballs[2]}")
sdl_version=$(basename "$sdl_dsc" .dsc); sdl_version=${sdl_version#libsdl2_}
mpg_version=$(basename "$mpg_dsc" .dsc); mpg_version=${mpg_version#mpg123_}
glew_version=$(basename "$glew_dsc" .dsc); glew_version=${glew_version#glew_}

# Built against this system's C library, which is part of the key: a build
# root with an older one (scripts/build-release-linux.sh) has its own prefix.
glibc=$(getconf GNU_LIBC_VERSION | awk '{ print $2 }')
prefix="$ostrel_cache/linux-static-glibc$glibc-sdl2-$sdl_version-mpg123-$mpg_version-glew-$glew_version-r$recipe"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# Headers and library names of what SDL loads at run time, and the tools to
# unpack and build.
packages=(
  build-essential pkg-config dpkg-dev
  libx11-dev libxext-dev libxcursor-dev libxi-dev libxrandr-dev libxss-dev libxfixes-dev
  libxkbcommon-dev libwayland-dev libegl-dev libdecor-0-dev
  libpulse-dev libpipewire-0.3-dev libasound2-dev libdbus-1-dev libudev-dev
)
wanted=()
for p in "${packages[@]}"; do
  # libdecor is younger than Debian 11; SDL then goes without it.
  [ "$p" = libdecor-0-dev ] && ! apt-cache show "$p" >/dev/null 2>&1 && continue
  wanted+=("$p")
done
ensure_packages "${wanted[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$(cache_stage "$prefix")
jobs=${OSTREL_JOBS:-$(nproc)}
log="$work/build.log"
fail() {
  tail -n 40 "$log" >&2
  echo "build-deps-linux: $1 failed (log above)" >&2
  exit 1
}

echo "build-deps-linux: building SDL2 $sdl_version, mpg123 $mpg_version and GLEW $glew_version into $stage" >&2
dpkg-source -x --no-check "$sdl_dsc" "$work/sdl2" >"$log" 2>&1 || fail "unpacking SDL2"
dpkg-source -x --no-check "$mpg_dsc" "$work/mpg123" >>"$log" 2>&1 || fail "unpacking mpg123"
# Debian's sdl2-config looks for the library in the system's multiarch folder;
# this prefix's own must name the prefix.
patch -d "$work/sdl2" -R -p1 <"$work/sdl2/debian/patches/no-libdir.patch" >>"$log" 2>&1 ||
  fail "restoring SDL2's own sdl2-config"
# Fixes of ours, e.g. a crash where an optional X11 library is not installed.
for fix in "$here"/scripts/patches/sdl2-*.patch; do
  patch -d "$work/sdl2" -p1 <"$fix" >>"$log" 2>&1 || fail "applying ${fix##*/}"
done

# Every back end that needs a system library is loaded with dlopen
# (*-shared); the ones no desktop uses any more are left out.
(
  mkdir -p "$work/sdl2/build" && cd "$work/sdl2/build"
  ../configure --prefix="$stage" --enable-static --disable-shared --with-pic \
    --enable-video-x11 --enable-x11-shared \
    --enable-video-wayland --enable-wayland-shared --enable-libdecor-shared \
    --enable-pulseaudio --enable-pulseaudio-shared \
    --enable-pipewire --enable-pipewire-shared \
    --enable-alsa --enable-alsa-shared \
    --disable-jack --disable-esd --disable-arts --disable-nas --disable-sndio \
    --disable-fusionsound --disable-libsamplerate \
    --disable-video-kmsdrm --disable-video-rpi --disable-video-vivante --disable-video-directfb \
    --disable-hidapi-libusb --disable-rpath
  make -j"$jobs"
  make install
) >>"$log" 2>&1 || fail "SDL2"

(
  mkdir -p "$work/mpg123/build" && cd "$work/mpg123/build"
  ../configure --prefix="$stage" --enable-static --disable-shared --with-pic \
    --enable-modules=no --with-audio=dummy --disable-network --with-cpu=x86-64
  make -j"$jobs"
  make install
) >>"$log" 2>&1 || fail "mpg123"

(
  dpkg-source -x --no-check "$glew_dsc" "$work/glew"
  make -C "$work/glew" -j"$jobs" glew.lib.static
  mkdir -p "$stage/lib" "$stage/include/GL"
  cp "$work/glew/lib/libGLEW.a" "$stage/lib/"
  cp "$work/glew/include/GL/"*.h "$stage/include/GL/"
) >>"$log" 2>&1 || fail "GLEW"

# A back end that slipped through as a link dependency would make every
# program need it installed: SDL's static link line must name only libc's parts.
static_libs=$("$stage/bin/sdl2-config" --static-libs)
for flag in $static_libs; do
  case "$flag" in
    -L*|-lSDL2|*/libSDL2.a|-lm|-ldl|-lpthread|-lrt|-pthread) ;;
    *) echo "build-deps-linux: SDL2 wants to link '$flag' (expected dlopen): $static_libs" >&2; exit 1 ;;
  esac
done

# configure drops a back end quietly when its headers are missing.
for driver in VIDEO_DRIVER_X11 VIDEO_DRIVER_WAYLAND AUDIO_DRIVER_PULSEAUDIO AUDIO_DRIVER_PIPEWIRE AUDIO_DRIVER_ALSA; do
  grep -q "define SDL_${driver}_DYNAMIC " "$stage/include/SDL2/SDL_config.h" ||
    { echo "build-deps-linux: SDL2 was built without a dynamically loaded $driver" >&2; exit 1; }
done

cache_commit "$prefix"
echo "$prefix"
