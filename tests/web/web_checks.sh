#!/usr/bin/env bash
# The browser build's checks: builds the `web` preset (the site in build/web/site), renders
# the expected start board on the headless platform, and plays the site in headless
# Chromium (browser_checks.py) from a loopback server. Ends with "N passed, M failed".
#
# Usage: tests/web/web_checks.sh [HEADLESS_FRAME_TOOL]
#   Without the tool, it is built in the dev preset's folder.
# Needs Debian's emscripten, chromium, chromium-driver and python3-selenium.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

cmake --preset web >/dev/null
cmake --build --preset web -j2 >/dev/null

tool=${1:-}
if [ -z "$tool" ]; then
  cmake --preset dev >/dev/null
  cmake --build --preset dev -j2 --target pingel-headless-frame >/dev/null
  tool=build/dev/tests/e2e/pingel-headless-frame
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" "$work"
/usr/bin/python3 "$root/tests/web/browser_checks.py" "$root/build/web/site" "$work"
