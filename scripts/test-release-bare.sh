#!/usr/bin/env bash
# Proves that a release archive runs on a bare Debian: unpacks it inside a
# minimal bookworm root that holds only Mesa's drivers, Xvfb and xauth besides
# the base system, and plays it there through the launcher to its end.
# Usage: scripts/test-release-bare.sh ARCHIVE SHORT.mp3
#   ARCHIVE    an ostrel-*-linux-x86_64.tar.gz from scripts/make-release.sh
#   SHORT.mp3  played in place of the soundtrack, so that the run is short
# Needs root (debootstrap, chroot). The root is made once with debootstrap and
# kept in $OSTREL_CACHE (default ~/.cache/ostrel); each run unpacks afresh.
set -euo pipefail
[ $# -eq 2 ] || { sed -n '5,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
archive=$(realpath "$1")
mp3=$(realpath "$2")
[ -f "$archive" ] && [ -f "$mp3" ] || { echo "test-release-bare: no such file: $1 or $2" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "test-release-bare: needs root (debootstrap, chroot)" >&2; exit 2; }

# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
suite=bookworm
extra=libgl1-mesa-dri,xvfb,xauth
# Raise when the recipe of the root changes, so that an older root is not reused.
recipe=1
root="$ostrel_cache/bare-$suite-minbase-${extra//,/-}-r$recipe"

if [ ! -f "$root/.complete" ]; then
  ensure_packages debootstrap
  # The first Debian archive the system's own apt uses.
  mirror=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i ~ /\/debian\/?$/) { print $i; exit } }' \
    /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  echo "test-release-bare: making a minimal $suite root in $root (from $mirror)" >&2
  stage=$(cache_stage "$root")
  log=$(mktemp)
  if ! debootstrap --variant=minbase --include="$extra" "$suite" "$stage" "$mirror" >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    rm -f "$log"
    echo "test-release-bare: debootstrap failed" >&2
    exit 1
  fi
  rm -f "$log"
  cache_commit "$root"
fi

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
