#!/usr/bin/env bash
# Installs what building and playing need (and nothing the tests need), builds an
# optimised pingel without the tests and starts it; arguments go to pingel (--scale N,
# --fullscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh play
cmake -S . -B build/play -DCMAKE_BUILD_TYPE=Release -DPINGEL_TESTS=OFF >/dev/null
cmake --build build/play -j"$(nproc)" --target pingel
exec build/play/backends/sdl/pingel "$@"
