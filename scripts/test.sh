#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a debug build with GCC, a
# build with AddressSanitizer and UndefinedBehaviorSanitizer with Clang, and the format
# check. Warnings are errors. Then the asset tool of both builds must make exactly the
# committed resources, and the loader's fuzz targets run for a short while each.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs="$(nproc)"

echo "== format"
files=$(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror $files; then
  echo "clang-format: the files above need formatting (clang-format -i)" >&2
  exit 1
fi

for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset" -DPINGEL_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

echo "== generated resources (GCC and Clang builds of the asset tool)"
for preset in dev asan; do
  scripts/check_assets.sh "build/$preset/tools/assetgen/pingel-assetgen"
done

echo "== fuzz"
cmake --preset fuzz -DPINGEL_WERROR=ON >/dev/null
cmake --build --preset fuzz -j"$jobs" --target pingel_fuzz_rle pingel_fuzz_bitmap
for target in rle bitmap; do
  scratch=$(mktemp -d)
  # New inputs go to the scratch folder; resources/ only seeds the run.
  if ! "build/fuzz/fuzz/pingel_fuzz_$target" -max_total_time=20 -timeout=10 -rss_limit_mb=1024 \
      -artifact_prefix="$scratch/" "$scratch" resources >"$scratch/log" 2>&1; then
    tail -n 40 "$scratch/log" >&2
    echo "fuzz target $target failed; the input is kept in $scratch" >&2
    exit 1
  fi
  grep -h "^Done" "$scratch/log" || true
  rm -rf "$scratch"
done
