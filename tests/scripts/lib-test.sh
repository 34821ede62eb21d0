#!/usr/bin/env bash
# Checks scripts/lib.sh: cached builds appear only whole, staging paths are
# rewritten, displays and package installs are handled as the scripts expect.
# Usage: lib-test.sh SOURCE_DIR
set -uo pipefail
. "$1/scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if ! "$@"; then echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

# An interrupted build leaves nothing under the final name; the next try
# starts from an empty staging folder unless it resumes.
prefix="$work/cache/lib-r1"
stage=$(cache_stage "$prefix")
check "the staging folder is PREFIX.partial" [ "$stage" = "$prefix.partial" ]
touch "$stage/half-built" "$stage/.step1"
check "an unfinished build is not under the final name" [ ! -e "$prefix" ]
stage=$(cache_stage "$prefix" --resume)
check "a resumed build keeps its finished steps" [ -f "$stage/.step1" ]
stage=$(cache_stage "$prefix")
check "a fresh build starts empty" [ -z "$(ls -A "$stage")" ]

# Committed: complete, in place, and naming its final path.
mkdir -p "$stage/bin" "$stage/lib/pkgconfig"
printf 'prefix=%s\nlibdir=%s/lib\n' "$stage" "$stage" > "$stage/lib/pkgconfig/x.pc"
printf '#!/bin/sh\necho %s/include\n' "$stage" > "$stage/bin/x-config"
printf '\0binary %s\0' "$stage" > "$stage/lib/libx.a"
mkdir -p "$prefix" && touch "$prefix/stale"
cache_commit "$prefix"
check "the build is complete" [ -f "$prefix/.complete" ]
check "the staging folder is gone" [ ! -e "$prefix.partial" ]
check "an older unfinished prefix is replaced" [ ! -e "$prefix/stale" ]
check "text files name the final prefix" \
  grep -qxF "libdir=$prefix/lib" "$prefix/lib/pkgconfig/x.pc"
check "no text file names the staging folder" \
  bash -c "! grep -rIqF '$prefix.partial' '$prefix'"
check "binary files are left alone" grep -qaF "$prefix.partial" "$prefix/lib/libx.a"

# A command runs on the display there is, or on a virtual one.
check "with a display, the command runs on it" \
  [ "$(DISPLAY=:42 with_display sh -c 'echo $DISPLAY')" = ":42" ]
inner=$(env -u DISPLAY bash -c ". '$1/scripts/lib.sh'; with_display sh -c 'echo \$DISPLAY'")
check "without a display, the command gets a virtual one ($inner)" [ -n "$inner" ]

# Installed packages call no apt-get; a missing one is installed, waiting for
# another install's lock.
mkdir -p "$work/fake"
printf '#!/bin/sh\necho "$@" >> %s/apt.log\n' "$work" > "$work/fake/apt-get"
printf '#!/bin/sh\nexec "$@"\n' > "$work/fake/sudo"
chmod +x "$work/fake/apt-get" "$work/fake/sudo"
PATH="$work/fake:$PATH" ensure_packages bash coreutils 2>/dev/null
check "installed packages need no apt-get" [ ! -e "$work/apt.log" ]
PATH="$work/fake:$PATH" ensure_packages bash ostrel-no-such-package 2>/dev/null
check "a missing package is installed, alone" \
  grep -qE 'DPkg::Lock::Timeout=[0-9]+ install .*--no-install-recommends ostrel-no-such-package$' "$work/apt.log"

[ "$failures" -eq 0 ] && echo "lib-test: all checks passed"
exit $((failures > 0))
