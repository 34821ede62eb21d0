#!/usr/bin/env bash
# Sets up what the production needs, builds one deliverable with its
# resources (scripts/test.sh builds the rest) and plays it.
# Usage: scripts/run.sh [deliverable]   (default ostrel-1600x900-4x)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
build=${OSTREL_BUILD_DIR:-"$here/build"}
deliverable=${1:-ostrel-1600x900-4x}

"$here/scripts/setup.sh" --target "$deliverable" "$build" >&2 ||
  { echo "ostrel: building $deliverable failed" >&2; exit 2; }

have_display=0
[ -n "${DISPLAY:-}" ] && have_display=1
have_sound=0
if [ -r /proc/asound/cards ] && grep -qE '^ *[0-9]+ ' /proc/asound/cards; then have_sound=1; fi

cd "$build/bin"
[ -x "./$deliverable" ] || { echo "ostrel: no deliverable named $deliverable in $build/bin" >&2; exit 2; }

if [ "$have_sound" -eq 0 ] && [ -z "${SDL_AUDIODRIVER:-}" ]; then
  export SDL_AUDIODRIVER=dummy
fi
if [ "$have_display" -eq 0 ]; then
  if [ "$have_sound" -eq 0 ]; then
    echo "ostrel: no display and no sound card: running $deliverable under xvfb-run with SDL's dummy audio driver"
  else
    echo "ostrel: no display: running $deliverable under xvfb-run"
  fi
elif [ "$have_sound" -eq 0 ]; then
  echo "ostrel: no sound card: running $deliverable with SDL's dummy audio driver"
fi
with_display "./$deliverable"
