#!/usr/bin/env bash
# Makes a minimal Debian root with debootstrap (--variant=minbase plus the
# given packages) once, in $OSTREL_CACHE (default ~/.cache/ostrel); prints
# its path. A finished root is reused as it is.
# Usage: scripts/debian-root.sh NAME SUITE PACKAGE,PACKAGE,...
#   NAME  the root's folder in the cache; raise its recipe number when what
#         goes into it changes, so that an older root is not reused
# Needs root. The root is made under NAME.partial and renamed when complete,
# so that an interrupted run leaves nothing that looks usable.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '5,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
name=$1 suite=$2 packages=$3
root="$ostrel_cache/$name"
if [ -f "$root/.complete" ]; then
  echo "$root"
  exit 0
fi
[ "$(id -u)" -eq 0 ] || { echo "debian-root: needs root (debootstrap)" >&2; exit 2; }
ensure_packages debootstrap
# The first Debian archive the system's own apt uses.
mirror=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i ~ /\/debian\/?$/) { print $i; exit } }' \
  /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
mirror=${mirror:-http://deb.debian.org/debian}
echo "debian-root: making a minimal $suite root in $root (from $mirror)" >&2
stage=$(cache_stage "$root")
log=$(mktemp)
if ! debootstrap --variant=minbase --include="$packages" "$suite" "$stage" "$mirror" >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  rm -f "$log"
  echo "debian-root: debootstrap failed" >&2
  exit 1
fi
rm -f "$log"
rm -rf "$stage/var/cache/apt/archives/"*.deb
cache_commit "$root"
echo "$root"
