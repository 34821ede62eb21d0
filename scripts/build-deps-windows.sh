#!/usr/bin/env bash
# Builds SDL2, GLEW, mpg123 and stb_image from Debian's source packages as
# static libraries for Windows x86_64 (mingw-w64), once; prints the prefix that
# holds include/ and lib/.
# Usage: scripts/build-deps-windows.sh
# The prefix is $OSTREL_CACHE/mingw64-<versions>-r<recipe> (default cache
# ~/.cache/ostrel), so a new source version or a changed recipe builds anew and
# an unchanged one is reused. Installs mingw-w64 with apt-get when missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
# Raise when the steps below change what lands in the prefix.
recipe=1
host=x86_64-w64-mingw32
jobs=$(nproc)

log() { echo "build-deps-windows: $*" >&2; }

ensure_packages mingw-w64 make xz-utils bzip2

mapfile -t tarballs < <("$here/scripts/fetch-debian-source.sh" libsdl2 glew mpg123 libstb)
[ ${#tarballs[@]} -eq 4 ] || { log "fetching the sources failed"; exit 1; }
sdl_tar=${tarballs[0]} glew_tar=${tarballs[1]} mpg123_tar=${tarballs[2]} stb_tar=${tarballs[3]}
# "<package>_<version>[+dfsg].orig.tar.*" -> version
version_of() { local v=${1##*/}; v=${v#*_}; v=${v%%.orig.tar.*}; echo "${v%%+*}"; }
sdl_v=$(version_of "$sdl_tar") glew_v=$(version_of "$glew_tar") mpg123_v=$(version_of "$mpg123_tar")
# "0.0~git20220908.8b5f1f3" -> "20220908"
stb_v=$(version_of "$stb_tar"); stb_v=${stb_v#*git}; stb_v=${stb_v%%.*}

prefix="$ostrel_cache/mingw64-sdl2-$sdl_v-glew-$glew_v-mpg123-$mpg123_v-stb-$stb_v-r$recipe"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$(cache_stage "$prefix")
mkdir -p "$stage/include/GL" "$stage/lib"
start=$SECONDS

log "SDL2 $sdl_v"
tar -C "$work" -xzf "$sdl_tar"
mkdir "$work/SDL2-$sdl_v/build-mingw"
(cd "$work/SDL2-$sdl_v/build-mingw" &&
  ../configure -q --host=$host --prefix="$stage" --enable-static --disable-shared &&
  make -s -j"$jobs" && make -s install) >"$work/sdl2.log" 2>&1 || { tail -40 "$work/sdl2.log" >&2; exit 1; }

log "GLEW $glew_v"
tar -C "$work" -xJf "$glew_tar"
(cd "$work/glew-$glew_v" && make SYSTEM=linux-mingw64 -j"$jobs" glew.lib.static &&
  $host-ranlib lib/libglew32.a) >"$work/glew.log" 2>&1 || { tail -40 "$work/glew.log" >&2; exit 1; }
cp "$work/glew-$glew_v"/include/GL/*.h "$stage/include/GL/"
cp "$work/glew-$glew_v/lib/libglew32.a" "$stage/lib/"

log "mpg123 $mpg123_v"
tar -C "$work" -xjf "$mpg123_tar"
mkdir "$work/mpg123-$mpg123_v/build-mingw"
(cd "$work/mpg123-$mpg123_v/build-mingw" &&
  ../configure -q --host=$host --prefix="$stage" --enable-static --disable-shared \
    --enable-modules=no --with-audio=dummy --disable-network --with-cpu=x86-64 &&
  make -s -j"$jobs" && make -s install) >"$work/mpg123.log" 2>&1 || { tail -40 "$work/mpg123.log" >&2; exit 1; }

# Debian's libstb is the headers compiled once; the production needs only
# stb_image.
log "stb_image $stb_v"
tar -C "$work" -xJf "$stb_tar"
stb_src=$(echo "$work"/libstb-*)
cp "$stb_src/stb_image.h" "$stage/include/"
printf '#define STB_IMAGE_IMPLEMENTATION\n#include "stb_image.h"\n' >"$work/stb_image.c"
$host-gcc -O2 -fwrapv -I"$stb_src" -c "$work/stb_image.c" -o "$work/stb_image.o"
$host-ar rcs "$stage/lib/libstb.a" "$work/stb_image.o"

cache_commit "$prefix"
log "built in $((SECONDS - start)) s"
echo "$prefix"
