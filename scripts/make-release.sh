#!/usr/bin/env bash
# Builds the four deliverables in Release and packs them with res/, the launcher
# and HOW-TO-RUN.txt into ostrel-<version>-linux-x86_64.tar.gz.
#
# Usage: scripts/make-release.sh [--windows | --all] [--video] [--youtube] [--jobs N] [--print-chunks]
#                                [--build-dir DIR] [--output DIR] [--version V] [--no-build]
#   --windows        cross-compile for Windows instead and pack
#                    ostrel-<version>-windows-x86_64.zip (default build tree: build-windows)
#   --all            both: the Linux archive, then the Windows zip
#   --video          also render the whole production into ostrel-<version>-1080p60.mp4
#                    beside the archive, the party's fallback video (long; in
#                    chunks that survive an interruption: scripts/make-video.sh)
#   --youtube        also render the 2160p60 YouTube master ostrel-<version>-2160p60.mp4
#   --jobs N         render N chunks of the videos at once (default 1)
#   --print-chunks   print the videos' missing chunks as shell commands instead
#   --build-dir DIR  build tree to use (default: build-release beside the sources)
#   --output DIR     where the archive goes (default: dist/ in the build tree)
#   --version V      version in the archive's name (default: git describe, else "dev")
#   --no-build       pack what DIR already holds instead of configuring and building
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"

build=""
output=""
version=""
do_build=1
windows=0
all=0
video=""
jobs=1
print_chunks=()
args=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) windows=1; shift ;;
    --build-dir) build=$2; shift 2 ;;
    --output) output=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    --all) all=1; shift ;;
    --video) video+=" 1080p60"; shift ;;
    --youtube) video+=" 2160p60"; shift ;;
    --jobs) jobs=$2; shift 2 ;;
    --print-chunks) print_chunks=(--print-chunks); shift ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "make-release: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

if [ "$all" -eq 1 ]; then
  [ -z "$build" ] || { echo "make-release: --all builds in its default trees; drop --build-dir" >&2; exit 2; }
  rest=()
  for arg in "${args[@]}"; do [ "$arg" = --all ] || rest+=("$arg"); done
  "$0" "${rest[@]}"
  exec "$0" --windows "${rest[@]}"
fi

if [ -z "$build" ]; then
  if [ "$windows" -eq 1 ]; then build="$here/build-windows"; else build="$here/build-release"; fi
fi
[ -n "$output" ] || output="$build/dist"
if [ -z "$version" ]; then
  version=$(git -C "$here" describe --tags --always --dirty 2>/dev/null || echo dev)
fi
case "$version" in
  *[!A-Za-z0-9._+-]*|"") echo "make-release: unusable version '$version'" >&2; exit 2 ;;
esac

deliverables=(ostrel-1600x900-4x ostrel-1920x1080-4x ostrel-1920x1080-8x ostrel-1920x1080-16x)

# stage_release NAME SUFFIX STRIP...: checks that the build tree holds the four
# programs (file names ending in SUFFIX) and res/, then lays them out, stripped
# by STRIP, with res/ under $stage/NAME (sets stage and root). res/ comes from
# the build tree: exactly what the programs were built and tested with.
stage_release() {
  local release=$1 suffix=$2
  shift 2
  for d in "${deliverables[@]}"; do
    [ -f "$build/bin/$d$suffix" ] || { echo "make-release: $build/bin/$d$suffix is missing (build it first)" >&2; exit 1; }
  done
  [ -d "$build/res" ] || { echo "make-release: $build/res is missing" >&2; exit 1; }
  stage=$(mktemp -d)
  trap 'rm -rf "$stage"' EXIT
  root="$stage/$release"
  mkdir -p "$root/bin"
  for d in "${deliverables[@]}"; do
    install -m 0755 "$build/bin/$d$suffix" "$root/bin/$d$suffix"
    "$@" "$root/bin/$d$suffix"
  done
  cp -R "$build/res" "$root/res"
}

# ---- Windows: the zip -------------------------------------------------------
if [ "$windows" -eq 1 ]; then
  if [ "$do_build" -eq 1 ]; then
    deps=$("$here/scripts/build-deps-windows.sh")
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DOSTREL_WINDOWS_DEPS="$deps"
    cmake --build "$build" -j "$(nproc)" --target "${deliverables[@]}" ostrel_res
  fi
  ensure_packages zip

  # The last commit's time stands for every time in the zip, the programs'
  # own link time too (strip writes it).
  epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 0)}
  name="ostrel-$version-windows-x86_64"
  stage_release "$name" .exe env SOURCE_DATE_EPOCH="$epoch" x86_64-w64-mingw32-strip --strip-unneeded
  # Windows' own tools expect CR LF line ends in text files.
  sed 's/$/\r/' "$here/release/ostrel.bat" > "$root/ostrel.bat"
  sed 's/$/\r/' "$here/release/HOW-TO-RUN-windows.txt" > "$root/HOW-TO-RUN.txt"

  mkdir -p "$output"
  archive="$(cd "$output" && pwd)/$name.zip"
  rm -f "$archive"
  # Fixed modes, order and times, no directory entries or extra fields: the
  # same tree packs to the same bytes. zip stores local time, hence UTC.
  find "$root" -type d -exec chmod 0755 {} + && find "$root" -type f ! -name '*.exe' -exec chmod 0644 {} +
  find "$root" -exec env TZ=UTC touch -h -d "@$epoch" {} +
  (cd "$stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D -9 "$archive" -@)
  echo "$archive"
  exit 0
fi
# -----------------------------------------------------------------------------

if [ "$do_build" -eq 1 ]; then
  # Static SDL2 and libmpg123 (built once, cached): the programs then need
  # nothing beyond glibc and the system's OpenGL. Built in a Debian 11 root,
  # they ask for glibc 2.31 at most; without root, on this system.
  if [ "$(id -u)" -eq 0 ]; then
    "$here/scripts/build-release-linux.sh" "$build" "${deliverables[@]}" ostrel_res
  else
    echo "make-release: not root: building on this system, whose glibc the programs will need" >&2
    deps=$("$here/scripts/build-deps-linux.sh")
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DOSTREL_STATIC_DEPS="$deps" \
      -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCHMARKS=OFF -DOSTREL_BUILD_TOOLS=OFF -DOSTREL_SANITIZE=OFF
    cmake --build "$build" -j "$(nproc)" --target "${deliverables[@]}" ostrel_res
  fi
fi
name="ostrel-$version-linux-x86_64"
stage_release "$name" "" strip --strip-unneeded
install -m 0755 "$here/release/ostrel" "$root/ostrel"
install -m 0644 "$here/release/HOW-TO-RUN.txt" "$root/HOW-TO-RUN.txt"

mkdir -p "$output"
archive="$(cd "$output" && pwd)/$name.tar.gz"
# Fixed owner, order and times (the last commit's), so that the same tree
# packs to the same bytes.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 0)}
tar -C "$stage" --owner=0 --group=0 --numeric-owner --sort=name \
  --mtime="@$epoch" -cf - "$name" | gzip -n -9 > "$archive"

if [ -n "$video" ]; then
  # The capture is a tool of the ordinary build; frame n shows n/60 s exactly,
  # however long the machine takes (about 50 minutes for 1080p60 here, on
  # one core's worth of software rendering per chunk).
  plain="$here/build"
  [ -f "$plain/CMakeCache.txt" ] || "$here/scripts/setup.sh" "$plain"
  cmake --build "$plain" -j "$(nproc)" --target ostrel-capture ostrel_res
  for target in $video; do
    movie="$(cd "$output" && pwd)/ostrel-$version-$target.mp4"
    if [ ${#print_chunks[@]} -gt 0 ]; then
      "$here/scripts/make-video.sh" --build-dir "$plain" --target "$target" --print-chunks "$movie"
    else
      "$here/scripts/make-video.sh" --build-dir "$plain" --target "$target" --jobs "$jobs" "$movie" >&2
    fi
  done
fi
# The archive's path ends the output, except where the output is the chunks'
# commands for a job runner.
if [ ${#print_chunks[@]} -gt 0 ]; then echo "$archive" >&2; else echo "$archive"; fi
