#!/usr/bin/env bash
# The install: `cmake --install` of the build into a scratch folder must give pingel in
# bin/, a valid desktop entry, the icons at every hicolor size, valid AppStream metainfo
# and a man page; CPack's Debian package must hold the same files and pass lintian (where
# lintian is installed; it needs no network).
#
# Usage: install_check.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d /tmp/pingel-install.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
cd "$scratch/usr"
app=share/applications/se.pingel.pingel.desktop
metainfo=share/metainfo/se.pingel.pingel.metainfo.xml
expected=(bin/pingel "$app" "$metainfo" share/man/man6/pingel.6.gz share/doc/pingel/copyright)
for size in 16 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/pingel.png")
done
for f in "${expected[@]}"; do
  [ -f "$f" ] || fail "not installed: $f"
done
[ -x bin/pingel ] || fail "bin/pingel cannot be run"
bin/pingel --help | grep -q -- --fullscreen || fail "the installed pingel does not answer --help"
for size in 16 24 32 48 64 128 256; do
  seen=$(identify -format "%wx%h %[channels]" "share/icons/hicolor/${size}x${size}/apps/pingel.png")
  [ "$seen" = "${size}x${size} srgba" ] || fail "icon ${size}: $seen"
done
desktop-file-validate "$app" || fail "desktop-file-validate: $app"
appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli validate: $metainfo"
gzip -t share/man/man6/pingel.6.gz || fail "the man page is not gzip"
zcat share/man/man6/pingel.6.gz | grep -q '^\.TH PINGEL 6' || fail "the man page has no title"

# The package.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb" >/dev/null
deb=$(ls "$scratch"/deb/pingel_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for f in "${expected[@]}"; do
  grep -qx "\./usr/$f" <<<"$contents" || fail "not in the package: /usr/$f"
done
dpkg-deb -f "$deb" Depends | grep -q libsdl2 || fail "the package does not depend on SDL2"
if command -v lintian >/dev/null; then
  # The game stays in /usr/bin, where `cmake --install` puts it, not in /usr/games: the
  # package's own lintian override says so.
  lintian --no-cfg "$deb" ||
    fail "lintian found errors in $deb"
else
  echo "lintian is not installed: the package was not linted"
fi
echo "install check: passed"
