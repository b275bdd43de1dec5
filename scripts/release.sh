#!/usr/bin/env bash
# Builds every release artifact of the committed HEAD into dist/release/VERSION/ (VERSION
# is the CMake project's): the Linux game's and the portal's Debian packages (cpack -G
# DEB in one optimised Linux build), the Windows installer and zip (cpack in the Windows
# cross build), a tarball of the browser site (the web preset's site/), and SHA256SUMS,
# checked with sha256sum -c at the end. Installs what it needs with scripts/setup.sh.
#
#     scripts/release.sh
#
# It refuses a working tree with uncommitted changes, and builds from `git archive HEAD`
# unpacked into build/release-work/: the artifacts are then exactly the commit, whatever
# else lies in the tree (untracked files, old build folders and their caches), and the
# builds always start clean in the same folder. Time stamps come from the commit
# (SOURCE_DATE_EPOCH): the site tarball holds no time, owner or file order of this machine,
# and pingel.exe carries the commit's time (stripping stamps it); the packages' own
# archives keep the build's file times.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: the working tree has uncommitted changes; commit or stash them first:" >&2
  git status --short --untracked-files=no >&2
  exit 1
fi
scripts/setup.sh

version=$(sed -n 's/^project(Pingel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no project version in CMakeLists.txt" >&2; exit 1; }
commit=$(git rev-parse --short HEAD)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH
jobs=${PINGEL_JOBS:-$(nproc)}
out="$root/dist/release/$version"
work="$root/build/release-work"
src="$work/src"
echo "== Pingel $version from commit $commit into dist/release/$version/"

rm -rf "$work" "$out"
mkdir -p "$src" "$out"
git archive --format=tar HEAD | tar -x -C "$src"

echo "== the browser site (web preset, Emscripten)"
(cd "$src" && cmake --preset web >/dev/null && cmake --build --preset web -j"$jobs" >/dev/null)
site="$src/build/web/site"
if [ ! -f "$site/index.html" ] || [ ! -f "$site/pingel.wasm" ]; then
  echo "release.sh: the web build made no site in $site" >&2
  exit 1
fi
mkdir -p "$work/tar/pingel-web-$version"
cp -R "$site/." "$work/tar/pingel-web-$version/"
tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
  --mode='u+rwX,go+rX,go-w' --format=gnu -C "$work/tar" -cf - "pingel-web-$version" |
  gzip -9n >"$out/pingel-web-$version.tar.gz"

echo "== the Debian packages (optimised Linux build, cpack -G DEB)"
linux="$work/linux"
cmake -S "$src" -B "$linux" -DCMAKE_BUILD_TYPE=Release -DPINGEL_TESTS=OFF -DPINGEL_WERROR=ON \
  -DPINGEL_PORTAL_SITE="$site" >/dev/null
cmake --build "$linux" -j"$jobs"
(cd "$linux" && cpack -G DEB >"$work/cpack-deb.log" 2>&1) || {
  cat "$work/cpack-deb.log" >&2
  exit 1
}
debs=("$linux"/*.deb)
[ -e "${debs[0]}" ] || { echo "release.sh: cpack made no .deb" >&2; exit 1; }
cp "${debs[@]}" "$out/"

echo "== Windows: the installer and the zip (mingw-w64 cross build, cpack -G NSIS and ZIP)"
(cd "$src" && cmake --preset windows -DPINGEL_WERROR=ON >/dev/null &&
  cmake --build --preset windows -j"$jobs")
(cd "$src/build/windows" && cpack -G "NSIS;ZIP" >"$work/cpack-windows.log" 2>&1) || {
  cat "$work/cpack-windows.log" >&2
  exit 1
}
cp "$src/build/windows/pingel-$version-win32.exe" "$src/build/windows/pingel-$version-win32.zip" "$out/"

echo "== SHA256SUMS"
(
  cd "$out"
  files=()
  for f in *; do
    [ "$f" = SHA256SUMS ] || files+=("$f")
  done
  sha256sum -- "${files[@]}" >SHA256SUMS
  sha256sum -c SHA256SUMS
)

echo "== Pingel $version (commit $commit): dist/release/$version/"
(cd "$out" && du -h --apparent-size -- *)
