#!/usr/bin/env bash
# Cross-builds the Windows release (scripts/make-release.sh --windows, into
# build-windows) and checks its zip under Wine: the WindowsRelease test of the
# plain build (OSTREL_BUILD_DIR, default build/). Installs Wine when missing.
# Usage: scripts/test-release-windows.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
build=${OSTREL_BUILD_DIR:-"$here/build"}

ensure_packages wine wine64 libwine

"$here/scripts/make-release.sh" --windows
# The particles' sequence as a Windows program, checked against glibc's rand().
cmake --build "$here/build-windows" --target print_random_sequence
[ -f "$build/CMakeCache.txt" ] || "$here/scripts/setup.sh" "$build"
# A tree configured before the release tests existed learns of them here.
cmake "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target windows_release_test scene_tests ostrel_testdata
# Each Wine run brings its own virtual screen.
OSTREL_WINDOWS_BUILD="$here/build-windows" \
  ctest --test-dir "$build" -R '^WindowsRelease$|CrossBuiltRandomSequence.*/Windows' \
  --output-on-failure --no-tests=error --timeout 900
