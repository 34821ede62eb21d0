#!/usr/bin/env bash
# Remakes the soundtrack from its score: renders res/audio/melody.mp3 and
# writes the section map choreography/SECTIONS.md. The same sources give the
# same bytes on every run.
# Usage: scripts/make-music.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
build=${1:-"$here/build-music"}

cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j 2 --target musicgen

ensure_packages lame
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/musicgen" "$work/melody.wav" "$here/choreography/SECTIONS.md"
# Constant bit rate, fixed quality; the LAME tag carries the encoder delay
# and padding so that decoders drop them and the first beat is sample 0.
lame --silent --noreplaygain -m j -b 256 -q 2 "$work/melody.wav" "$here/res/audio/melody.mp3"
echo "make-music: wrote res/audio/melody.mp3 and choreography/SECTIONS.md"
