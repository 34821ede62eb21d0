#!/usr/bin/env bash
# Cross-builds the Windows release (scripts/make-release.sh --windows, into
# build-windows) and checks its zip under Wine: the WindowsRelease test of the
# plain build (OSTREL_BUILD_DIR, default build/). Installs Wine when missing.
# Usage: scripts/test-release-windows.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTREL_BUILD_DIR:-"$here/build"}

if ! command -v wine >/dev/null; then
  echo "ostrel: installing wine"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends wine wine64 libwine >/dev/null
fi

"$here/scripts/make-release.sh" --windows
[ -f "$build/CMakeCache.txt" ] || "$here/scripts/setup.sh" "$build"
# A tree configured before the release tests existed learns of them here.
cmake "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target windows_release_test ostrel_testdata
# Each Wine run brings its own virtual screen.
OSTREL_WINDOWS_BUILD="$here/build-windows" \
  ctest --test-dir "$build" -R '^WindowsRelease$' --output-on-failure --timeout 900
