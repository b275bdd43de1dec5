#!/usr/bin/env bash
# Installs what is missing, builds Pingel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target pingel
exec build/release/platform/sdl/pingel
