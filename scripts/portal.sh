#!/usr/bin/env bash
# Starts the game's portal on this machine: installs the Debian packages it needs when they
# are missing, builds pingel-portal (optimised) and serves on 127.0.0.1 with the SQLite
# database in the user's data folder, at the port the default game build talks to.
# Usage: scripts/portal.sh [serve options, e.g. --listen 127.0.0.1:9090 --database FILE]
# Members: build/portal/portal/pingel-portal member add EMAIL NICKNAME (password on stdin).
set -euo pipefail
cd "$(dirname "$0")/.."

# Configuring the project also looks for the game's SDL2 and Dear ImGui.
packages=(build-essential cmake g++ pkg-config libcpp-httplib-dev libsqlite3-dev libpq-dev
          libsodium-dev libsdl2-dev libimgui-dev)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo="sudo"
    else
      echo "The portal needs these Debian packages and cannot install them without root:" >&2
      echo "  apt-get install ${missing[*]}" >&2
      exit 1
    fi
  fi
  if ! $sudo apt-get update -qq ||
    ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"; then
    echo "Could not install: ${missing[*]} (is this Debian 12 with its package sources reachable?)" >&2
    exit 1
  fi
fi

build=build/portal
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target pingel-portal
exec "$build/portal/pingel-portal" serve "$@"
