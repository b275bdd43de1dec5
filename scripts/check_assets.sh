#!/usr/bin/env bash
# Runs the given pingel-assetgen into a scratch folder and fails on any difference from the
# committed resources/ (pictures, palette, sounds, pictures_sounds.rc), docs/ (sheet and
# scene) and dist/icons/hicolor (the desktop icons): every generated file must be committed byte for byte, and resources/ may hold
# no picture, bitmap or sound that the tool does not make (it would be embedded).
#
#     scripts/check_assets.sh build/dev/tools/assetgen/pingel-assetgen
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:?usage: scripts/check_assets.sh <pingel-assetgen>}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/resources" "$scratch/docs" "$scratch/dist/icons/hicolor"
"$tool" "$scratch/resources" "$scratch/docs" "$scratch/dist/icons/hicolor"

status=0
for made in "$scratch"/resources/* "$scratch"/docs/* "$scratch"/dist/icons/hicolor/*/apps/*; do
  committed=${made#"$scratch"/}
  if [ ! -f "$committed" ]; then
    echo "missing: $committed" >&2
    status=1
  elif ! cmp -s "$made" "$committed"; then
    echo "differs: $committed" >&2
    status=1
  fi
done
shopt -s nullglob
for committed in resources/*.rle resources/*.bmp resources/*.wav resources/pictures_sounds.rc; do
  if [ ! -f "$scratch/$committed" ]; then
    echo "extra (not made by the tool): $committed" >&2
    status=1
  fi
done
if [ "$status" -ne 0 ]; then
  echo "The committed pictures and sounds are not what $tool makes." >&2
  echo "Regenerate with: $tool resources docs dist/icons/hicolor" >&2
fi
exit "$status"
