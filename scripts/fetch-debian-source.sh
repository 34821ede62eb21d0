#!/usr/bin/env bash
# Fetches the upstream tarballs of Debian source packages into the cache
# outside the clone, once; prints the path of each tarball.
# Usage: scripts/fetch-debian-source.sh PACKAGE...   (e.g. libsdl2 glew mpg123)
# The cache is $OSTREL_CACHE (default ~/.cache/ostrel); tarballs go to sources/.
# Uses its own deb-src list and package lists, so the system's stay untouched.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: scripts/fetch-debian-source.sh PACKAGE..." >&2; exit 2; }
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
cache=$ostrel_cache
dir="$cache/sources"
mkdir -p "$dir"

# The tarball already fetched for a package, if any ("<package>_<version>.orig.tar.*").
cached() {
  local pkg=$1
  ls "$dir"/"${pkg}"_*.orig.tar.* 2>/dev/null | head -n 1
}

missing=()
for pkg in "$@"; do
  [ -n "$(cached "$pkg")" ] || missing+=("$pkg")
done

if [ ${#missing[@]} -gt 0 ]; then
  lists="$cache/apt-lists"
  mkdir -p "$lists/partial"
  src="$cache/deb-src.sources"
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src"
  opts=(-o "Dir::Etc::SourceList=$src" -o Dir::Etc::SourceParts=/dev/null -o "Dir::State::Lists=$lists")
  ensure_packages dpkg-dev
  apt-get "${opts[@]}" -q update >/dev/null
  # Some packages' signature files are missing on the mirror and apt then
  # exits non-zero although the tarball arrived; the check below decides.
  (cd "$dir" && apt-get "${opts[@]}" source --download-only "${missing[@]}" >/dev/null 2>&1) || true
fi

for pkg in "$@"; do
  tarball=$(cached "$pkg")
  [ -n "$tarball" ] || { echo "fetch-debian-source: no source tarball for $pkg" >&2; exit 1; }
  echo "$tarball"
done
