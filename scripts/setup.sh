#!/usr/bin/env bash
# Installs the Debian 12 packages Pingel needs to build, play and test. Safe to run again:
# it asks apt only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake g++ clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libstb-dev
  libsdl2-dev libimgui-dev fonts-dejavu-extra
  libcurl4 libcurl3-gnutls
  xvfb xdotool x11-apps imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    echo "Pingel needs these Debian packages and cannot install them without root:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi
if ! $sudo apt-get update -qq || ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"; then
  echo "Could not install: ${missing[*]} (is this Debian 12 with its package sources reachable?)" >&2
  exit 1
fi
