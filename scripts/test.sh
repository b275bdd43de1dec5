#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the format check, the check
# that includes follow the layers (scripts/check_layers.sh), a debug build with GCC and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer with Clang (each with its
# CTest tests, and the portal's storage tests on a throwaway PostgreSQL cluster), the
# browser build in headless Chromium, an optimised build, the Windows build under Wine, a
# check that the asset tool of both builds makes exactly the committed resources, and a
# short run of each fuzz target under the sanitizers. Warnings are errors. Exits non-zero
# on any failure.
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

echo "== include directions"
scripts/check_layers.sh

for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset" -DPINGEL_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
  # The portal's storage tests once more, on a throwaway PostgreSQL 15 cluster.
  tests/portal/run_postgres_tests.sh "build/$preset"
done

echo "== web (the browser build in headless Chromium)"
tests/web/web_checks.sh build/dev/tests/e2e/pingel-headless-frame build/dev/portal/pingel-portal

echo "== release (optimised GCC build, benchmarks included; warnings are errors here too)"
cmake --preset release -DPINGEL_WERROR=ON >/dev/null
cmake --build --preset release -j"$jobs"

echo "== Windows: cross build, pingel.exe under Wine, pingel-sim traces as on Linux, the installer"
cmake --preset windows -DPINGEL_WERROR=ON >/dev/null
cmake --build --preset windows -j"$jobs"
file build/windows/backends/win32/pingel.exe | grep -q "PE32 executable (GUI) Intel 80386" ||
  { echo "pingel.exe is not a 32-bit Windows GUI program" >&2; exit 1; }
tests/wine/windows_checks.sh build/windows build/dev

echo "== generated resources (GCC and Clang builds of the asset tool)"
for preset in dev asan; do
  scripts/check_assets.sh "build/$preset/tools/assetgen/pingel-assetgen"
done

# Each fuzz target runs for a while on a scratch copy of its seed corpus.
fuzz_seconds="${PINGEL_FUZZ_SECONDS:-20}"
echo "== fuzz (${fuzz_seconds} s a target)"
cmake --preset fuzz -DPINGEL_WERROR=ON >/dev/null
cmake --build --preset fuzz -j"$jobs" --target pingel_reply_fuzz pingel_rle_fuzz \
  pingel_bitmap_fuzz pingel_portal_form_fuzz pingel_replay_fuzz
for target in reply rle bitmap portal_form replay; do
  corpus="build/fuzz/corpus-$target"
  rm -rf "$corpus" && mkdir -p "$corpus" && cp "fuzz/corpus/$target/"* "$corpus/"
  if ! "build/fuzz/fuzz/pingel_${target}_fuzz" -max_total_time="$fuzz_seconds" -max_len=20000 \
    -artifact_prefix="build/fuzz/$target-" \
    "$corpus" >"build/fuzz/$target.log" 2>&1; then
    tail -n 40 "build/fuzz/$target.log" >&2
    echo "fuzz: pingel_${target}_fuzz found a fault (log: build/fuzz/$target.log)" >&2
    exit 1
  fi
  tail -n 1 "build/fuzz/$target.log"
done
