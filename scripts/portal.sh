#!/usr/bin/env bash
# Starts the game's portal on this machine: installs the Debian packages it needs when they
# are missing, builds pingel-portal (optimised) and serves on 127.0.0.1 with the SQLite
# database in the user's data folder, at the port the default game build talks to.
# Usage: scripts/portal.sh [serve options, e.g. --listen 127.0.0.1:9090 --database FILE]
# Members: build/portal/portal/pingel-portal member add EMAIL NICKNAME (password on stdin).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh portal

build=build/portal
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target pingel-portal
exec "$build/portal/pingel-portal" serve "$@"
