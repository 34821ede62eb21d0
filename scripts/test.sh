#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: the plain build, then the
# same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
# Usage: scripts/test.sh [--plain | --sanitize]   (default: both)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
mode=${1:-all}

# Tests never make noise and never need a sound card.
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

run_suite() {
  local build=$1; shift
  "$here/scripts/setup.sh" "$build" "$@"
  if [ "$build" = "$here/build-sanitize" ]; then
    # The software GL driver leaks a few blocks from code it unloads before
    # exit; the leak check test reads LeakSanitizer's report itself and fails
    # only on leaks our code allocated.
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
  fi
  with_display ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
}

# The leak check tells our leaks by this tree's path in the sanitizer's frames,
# which name sources as the compiler was given them: the compile cache must not
# hand it paths relative to the build folder.
run_sanitized() {
  CCACHE_BASEDIR= run_suite "$here/build-sanitize" -DOSTREL_SANITIZE=ON -DOSTREL_BUILD_BENCHMARKS=OFF
}

case "$mode" in
  --plain) run_suite "${OSTREL_BUILD_DIR:-$here/build}" ;;
  --sanitize) run_sanitized ;;
  all)
    run_suite "${OSTREL_BUILD_DIR:-$here/build}"
    run_sanitized
    ;;
  *) echo "usage: scripts/test.sh [--plain | --sanitize]" >&2; exit 2 ;;
esac
