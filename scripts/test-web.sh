#!/usr/bin/env bash
# Runs the browser build's checks (tests/web/web-test.mjs) in headless
# Chromium: build-web/site against the desktop capture tool's frames.
# Usage: scripts/test-web.sh CAPTURE_BINARY   (e.g. build/bin/ostrel-capture)
# Exits 77 (skipped) when there is no web build to test: scripts/build-web.sh
# makes it. Installs chromium with apt-get and puppeteer-core (pinned in
# tests/web/package-lock.json) with npm when missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib.sh"
site=${OSTREL_WEB_SITE:-"$here/build-web/site"}
[ $# -eq 1 ] || { echo "usage: scripts/test-web.sh CAPTURE_BINARY" >&2; exit 2; }
capture=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

log() { echo "test-web: $*" >&2; }

if [ ! -f "$site/ostrel.wasm" ] || [ ! -f "$site/index.html" ]; then
  log "no web build at $site; skipped"
  exit 77
fi
[ -x "$capture" ] || { log "no capture tool at $capture"; exit 1; }

ensure_packages chromium

cd "$here/tests/web"
# Reinstalled when the lock file is newer than what was installed from it.
if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
  log "installing puppeteer-core"
  npm ci --no-audit --no-fund --loglevel=error >&2
fi

# The capture tool draws with desktop GL: it needs an X server.
with_display node web-test.mjs "$site" "$capture"
