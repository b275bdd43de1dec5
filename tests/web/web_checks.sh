#!/usr/bin/env bash
# The browser build's checks: builds the `web` preset (the site in build/web/site), renders
# the expected start board on the headless platform, and plays the site in headless
# Chromium (browser_checks.py) as served by a real pingel-portal on loopback with a fresh
# SQLite database. Ends with "N passed, M failed".
#
# Usage: tests/web/web_checks.sh [HEADLESS_FRAME_TOOL [PORTAL_BINARY]] [-- CHECK OPTIONS]
#   Tools not given are built in the dev preset's folder.
# Needs Debian's emscripten, chromium, chromium-driver and python3-selenium.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

tool=
portal=
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  if [ -z "$tool" ]; then tool=$1; else portal=$1; fi
  shift
done
[ $# -gt 0 ] && shift

cmake --preset web >/dev/null
cmake --build --preset web -j2 >/dev/null

if [ -z "$tool" ] || [ -z "$portal" ]; then
  cmake --preset dev >/dev/null
  cmake --build --preset dev -j2 --target pingel-headless-frame pingel-portal >/dev/null
  tool=${tool:-build/dev/tests/e2e/pingel-headless-frame}
  portal=${portal:-build/dev/portal/pingel-portal}
fi

portal=$(realpath "$portal")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" "$work"
/usr/bin/python3 "$root/tests/web/browser_checks.py" "$portal" "$root/build/web/site" "$work" "$@"
