# shellcheck shell=bash
# What the scripts in scripts/ all do, done one way. Sourced, never run:
#   . "$here/scripts/lib.sh"
# ostrel_cache            the cache outside the clone ($OSTREL_CACHE, default
#                         ~/.cache/ostrel): third-party builds, sources, ccache
# ensure_packages P...    installs those Debian packages that are missing
# with_display CMD...     runs CMD, under xvfb-run when there is no display
# cache_stage PREFIX      starts a build of PREFIX in PREFIX.partial; prints it
# cache_commit PREFIX     marks PREFIX.partial complete and moves it to PREFIX
# A cached build counts only once its folder holds .complete, which is written
# last and moved into place in one rename: an interrupted build never looks
# finished, and the next run starts it again.

# shellcheck disable=SC2034 # read by the scripts that source this
ostrel_cache=${OSTREL_CACHE:-"$HOME/.cache/ostrel"}

ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "ostrel: installing ${missing[*]}" >&2
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  # Another install running beside this one (two scripts, two clones) is
  # waited for rather than failed on.
  local apt=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=600)
  local log
  log=$(mktemp)
  # Package lists are refreshed only when an install from the present ones fails.
  if ! "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
    if ! { "${apt[@]}" update && "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
      tail -n 20 "$log" >&2
      rm -f "$log"
      echo "ostrel: installing ${missing[*]} failed" >&2
      return 1
    fi
  fi
  rm -f "$log"
}

# The virtual screen is as large as the largest deliverable's window.
with_display() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  else
    command -v xvfb-run >/dev/null || ensure_packages xvfb xauth
    xvfb-run -a -s "-screen 0 1920x1080x24" "$@"
  fi
}

# cache_stage PREFIX [--resume]: an empty staging folder, or with --resume the
# one an interrupted run left (for builders that mark their own finished steps).
cache_stage() {
  local stage="$1.partial"
  [ "${2:-}" = --resume ] || rm -rf "$stage"
  mkdir -p "$stage"
  echo "$stage"
}

# Files that name the staging folder (sdl2-config, pkg-config and CMake files)
# are made to name the final one.
cache_commit() {
  local prefix=$1 stage="$1.partial" f
  grep -rlIF --devices=skip "$stage" "$stage" 2>/dev/null | while read -r f; do
    sed -i "s|$stage|$prefix|g" "$f"
  done
  touch "$stage/.complete"
  rm -rf "$prefix"
  mv "$stage" "$prefix"
}
