#!/usr/bin/env bash
# Proves that a release archive runs on a bare Debian: unpacks it inside
# minimal roots of Debian 11 (bullseye, glibc 2.31: the oldest system the
# release is for) and Debian 12 (bookworm) that hold only Mesa's drivers, Xvfb
# and xauth besides the base system, and plays it in each through the launcher
# to its end.
# Usage: scripts/test-release-bare.sh ARCHIVE SHORT.mp3
#   ARCHIVE    an ostrel-*-linux-x86_64.tar.gz from scripts/make-release.sh
#   SHORT.mp3  played in place of the soundtrack, so that the run is short
# Needs root (debootstrap, chroot). Each root is made once with debootstrap
# and kept in $OSTREL_CACHE (default ~/.cache/ostrel); each run unpacks afresh.
set -euo pipefail
[ $# -eq 2 ] || { sed -n '7,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
archive=$(realpath "$1")
mp3=$(realpath "$2")
[ -f "$archive" ] && [ -f "$mp3" ] || { echo "test-release-bare: no such file: $1 or $2" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "test-release-bare: needs root (debootstrap, chroot)" >&2; exit 2; }

here=$(cd "$(dirname "$0")/.." && pwd)
extra=libgl1-mesa-dri,xvfb,xauth
# Raise when the recipe of the root changes, so that an older root is not reused.
recipe=1

play_in() {
  local suite=$1
  local root
  root=$("$here/scripts/debian-root.sh" "bare-$suite-minbase-${extra//,/-}-r$recipe" "$suite" "$extra")
  run=$(mktemp -d "$root/tmp/ostrel-bare.XXXXXX")
  inside=${run#"$root"}
  cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$run"
  }
  trap cleanup EXIT

  tar -xzf "$archive" -C "$run"
  top=$(find "$run" -mindepth 1 -maxdepth 1 -type d -name 'ostrel-*' | head -n 1)
  [ -n "$top" ] || { echo "test-release-bare: no ostrel-* folder in $archive" >&2; exit 1; }
  cp "$mp3" "$top/res/audio/melody.mp3"
  top_inside=$inside/${top##*/}

  mount -t proc proc "$root/proc"
  # A clean environment, as on a machine where nobody set anything up: no
  # display, no sound server, the launcher's defaults.
  start=$(date +%s.%N)
  set +e
  output=$(chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    TMPDIR=/tmp timeout 300 "$top_inside/ostrel" 2>&1)
  status=$?
  set -e
  seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')

  failed=0
  for line in "Initializing Engine" "Engine Shutting Down" "Shutting down window"; do
    if ! printf '%s\n' "$output" | grep -qF "$line"; then
      echo "test-release-bare: FAIL: no '$line' in the output" >&2
      failed=1
    fi
  done
  if [ "$status" -ne 0 ]; then
    echo "test-release-bare: FAIL: ./ostrel exited with $status" >&2
    failed=1
  fi
  if [ "$failed" -ne 0 ]; then
    printf '%s\n' "$output"
    exit 1
  fi
  # SDL's debug lines (hundreds, on the optional X11 libraries it probes) only
  # matter when something failed.
  printf '%s\n' "$output" | grep -v '^DEBUG: '
  echo "test-release-bare: PASS: ${archive##*/} played to its end in a bare $suite root in ${seconds}s" >&2
  cleanup
  trap - EXIT
}

for suite in bullseye bookworm; do
  play_in "$suite"
done
