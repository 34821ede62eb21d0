#!/usr/bin/env bash
# Compiles the choreography (choreography/*.tracks) into the 53 track files
# in res/sync/, building the track tool first if needed. Commit the source and
# the compiled files together: a test compares them byte for byte.
# Usage: scripts/make-tracks.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" >/dev/null
fi
cmake --build "$build" -j 2 --target ostrel-track >/dev/null
tool="$build/bin/ostrel-track"

# Compile and check aside, so that res/sync/ only changes when all is well.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" compile -o "$work" "$here"/choreography/*.tracks
"$tool" check "$work"
cp "$work"/*.track "$here/res/sync/"
echo "make-tracks: wrote $(ls "$work" | wc -l) track files into res/sync/"
