#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a debug build with GCC, a
# build with AddressSanitizer and UndefinedBehaviorSanitizer with Clang, and the format
# check. Warnings are errors. Exits non-zero on any failure.
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
