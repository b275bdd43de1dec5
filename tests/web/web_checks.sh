#!/usr/bin/env bash
# The browser build's checks: builds the `web` preset (the site in build/web/site), renders
# the expected start board on the headless platform, and plays the site in headless
# Chromium (browser_checks.py) as served by a real pingel-portal on loopback with a fresh
# SQLite database; the replay viewer watches a game that pingel-sim records (the
# pingel-sim beside the portal's build folder, else the dev preset's). Ends with
# "N passed, M failed".
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
sim=$(dirname "$portal")/../tools/pingel-sim
if [ ! -x "$sim" ]; then
  cmake --preset dev >/dev/null
  cmake --build --preset dev -j2 --target pingel-sim >/dev/null
  sim=build/dev/tools/pingel-sim
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" "$work"
"$sim" --clock-start 4242 --keys "R:120 U:80 L:200 D:60 RU:90 -:30 LD:400" --updates 1200 \
  --record "$work/watch.rep" >/dev/null
/usr/bin/python3 "$root/tests/web/browser_checks.py" "$portal" "$root/build/web/site" "$work" "$@"
