#!/usr/bin/env bash
# Installs the Debian 12 packages Pingel needs to build, play and test; with "play", only
# those that building and playing need (scripts/play.sh); with "portal", only those of
# the portal (scripts/portal.sh). Safe to run again: it asks apt only for what is missing.
#
#     scripts/setup.sh [play|portal]
set -euo pipefail

# Building the game and playing it.
play_packages=(
  build-essential cmake g++ pkgconf libstb-dev
  libsdl2-dev libimgui-dev fonts-dejavu-extra
  libcurl4 libcurl3-gnutls
)
# The tests, the checks, the Windows build and its installer (NSIS; 7-Zip reads it), the
# install checks, the portal and the browser build.
test_packages=(
  clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-apps imagemagick
  mingw-w64 wine wine32 nsis p7zip-full
  desktop-file-utils appstream lintian systemd
  pkg-config libcpp-httplib-dev libmicrohttpd-dev libunistring-dev libkainjow-mustache-dev
  libsqlite3-dev libpq-dev libsodium-dev postgresql tzdata
  emscripten chromium chromium-driver python3-selenium
)

# The portal alone (scripts/portal.sh); configuring the project also looks for the
# game's SDL2 and Dear ImGui.
portal_packages=(
  build-essential cmake g++ pkgconf libsdl2-dev libimgui-dev
  libmicrohttpd-dev libunistring-dev libkainjow-mustache-dev
  libsqlite3-dev libpq-dev libsodium-dev tzdata
)

case "${1:-all}" in
play) packages=("${play_packages[@]}") ;;
portal) packages=("${portal_packages[@]}") ;;
all) packages=("${play_packages[@]}" "${test_packages[@]}") ;;
*)
  echo "usage: scripts/setup.sh [play|portal]" >&2
  exit 2
  ;;
esac

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
# Wine runs the 32-bit Windows program: it needs the i386 architecture's packages.
needs_i386=""
for p in "${missing[@]}"; do
  [ "$p" = "wine32" ] && needs_i386=1
done
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
if [ -n "$needs_i386" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
if ! $sudo apt-get update -qq || ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"; then
  echo "Could not install: ${missing[*]} (is this Debian 12 with its package sources reachable?)" >&2
  exit 1
fi
