#!/usr/bin/env bash
# Builds the production for the browser (WebAssembly, WebGL2) into
# build-web/site/: index.html, ostrel.js, ostrel.wasm and ostrel.data (res/).
# Usage: scripts/build-web.sh [--deps-only]
# SDL2, libmpg123 and stb_image are built from Debian's source packages with
# Debian's Emscripten once and cached in $OSTREL_CACHE/wasm-<versions>-r<recipe>
# (default cache ~/.cache/ostrel). Installs emscripten with apt-get when missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
# Raise when the steps below change what lands in the prefix.
recipe=1
jobs=$(nproc)
# Debian's emscripten runs its JS tools with the system's Node, whose own
# module path lacks Debian's packages.
export NODE_PATH=/usr/share/nodejs

log() { echo "build-web: $*" >&2; }

ensure_packages emscripten cmake make bzip2 xz-utils python3
em_v=$(emcc -dumpversion)

mapfile -t tarballs < <("$here/scripts/fetch-debian-source.sh" libsdl2 mpg123 libstb)
[ ${#tarballs[@]} -eq 3 ] || { log "fetching the sources failed"; exit 1; }
sdl_tar=${tarballs[0]} mpg123_tar=${tarballs[1]} stb_tar=${tarballs[2]}
# "<package>_<version>[+dfsg].orig.tar.*" -> version
version_of() { local v=${1##*/}; v=${v#*_}; v=${v%%.orig.tar.*}; echo "${v%%+*}"; }
sdl_v=$(version_of "$sdl_tar") mpg123_v=$(version_of "$mpg123_tar")
stb_v=$(version_of "$stb_tar"); stb_v=${stb_v#*git}; stb_v=${stb_v%%.*}

prefix="$ostrel_cache/wasm-emscripten-$em_v-sdl2-$sdl_v-mpg123-$mpg123_v-stb-$stb_v-r$recipe"
if [ ! -f "$prefix/.complete" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Each library leaves a mark in the staging folder, so that a second try
  # starts after the last one finished.
  stage=$(cache_stage "$prefix" --resume)
  mkdir -p "$stage/include" "$stage/lib"
  start=$SECONDS

  if [ ! -f "$stage/.sdl2" ]; then
    log "SDL2 $sdl_v (several minutes)"
    tar -C "$work" -xzf "$sdl_tar"
    (emcmake cmake -S "$work/SDL2-$sdl_v" -B "$work/sdl2-build" -DCMAKE_BUILD_TYPE=Release \
        -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DCMAKE_INSTALL_PREFIX="$stage" &&
      cmake --build "$work/sdl2-build" -j"$jobs" && cmake --install "$work/sdl2-build") \
      >"$work/sdl2.log" 2>&1 || { tail -40 "$work/sdl2.log" >&2; exit 1; }
    touch "$stage/.sdl2"
  fi

  # Only the decoding library: the player programs want audio outputs the
  # browser does not have. Its config.sub predates the emscripten system name;
  # to configure, a bare wasm32 is the same thing.
  if [ ! -f "$stage/.mpg123" ]; then
    log "mpg123 $mpg123_v"
    tar -C "$work" -xjf "$mpg123_tar"
    m="$work/mpg123-$mpg123_v"
    (cd "$m" && emconfigure ./configure -q --host=wasm32-unknown-none --prefix="$stage" \
        --enable-static --disable-shared --enable-modules=no --with-audio=dummy \
        --disable-network --with-cpu=generic_fpu &&
      emmake make -j"$jobs" src/libmpg123/libmpg123.la) \
      >"$work/mpg123.log" 2>&1 || { tail -40 "$work/mpg123.log" >&2; exit 1; }
    cp "$m/src/libmpg123/.libs/libmpg123.a" "$stage/lib/"
    cp "$m/src/libmpg123/mpg123.h" "$m/src/libmpg123/fmt123.h" "$stage/include/"
    touch "$stage/.mpg123"
  fi

  if [ ! -f "$stage/.stb" ]; then
    log "stb_image $stb_v"
    tar -C "$work" -xJf "$stb_tar"
    stb_src=$(echo "$work"/libstb-*)
    cp "$stb_src/stb_image.h" "$stage/include/"
    printf '#define STB_IMAGE_IMPLEMENTATION\n#include "stb_image.h"\n' >"$work/stb_image.c"
    emcc -O2 -fwrapv -I"$stb_src" -c "$work/stb_image.c" -o "$work/stb_image.o"
    emar rcs "$stage/lib/libstb.a" "$work/stb_image.o"
    touch "$stage/.stb"
  fi

  cache_commit "$prefix"
  log "libraries built in $((SECONDS - start)) s"
fi
[ "${1:-}" = "--deps-only" ] && { echo "$prefix"; exit 0; }

build="$here/build-web"
emcmake cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DOSTREL_WEB_DEPS="$prefix" >/dev/null
# With the particles' sequence for Node, checked against glibc's rand().
cmake --build "$build" -j"$jobs" --target ostrel-web print_random_sequence
echo "$build/site"
