#!/usr/bin/env bash
# Measures the portal under load on one engine: 1,000 members (their passwords hashed
# first, their first password check made before the clock starts), then the game's
# submission requests from 32 clients over loopback for `seconds` (10 unless given), then
# the same clients against a bare GET on the same HTTP server code. Prints accepted
# submissions per second, the 50th and 99th percentile latencies and the ratio to the
# bare GET. Then, in the same run, the same clients send proven submissions: 32 of the
# members each send his own ten-minute game (30,000 updates), which the portal runs to
# prove the score (the games are played once by the load tool's looking-ahead player and
# kept in the build folder, as the password hashes are). A benchmark: it asserts nothing.
#
# With --compare REV, the plain submissions are measured first on the portal of the
# commit REV (built from a worktree of this repository in build/compare-REV), then on
# this one, back to back in the same run and each on a fresh database.
#
# Usage: scripts/measure_portal.sh [sqlite|postgresql] [seconds] [--compare REV] [load tool options...]
#   e.g. scripts/measure_portal.sh sqlite 10 --keep-alive
# PostgreSQL runs in a temporary cluster made by pg_virtualenv, with fsync on.
set -euo pipefail
cd "$(dirname "$0")/.."
engine=${1:-sqlite}
seconds=${2:-10}
shift $(($# < 2 ? $# : 2))
compare=""
if [ "${1:-}" = --compare ]; then
  compare=$2
  shift 2
fi
. scripts/portal_load_common.sh

# buildCompared REV: the release portal and load tool of REV, in build/compare-REV.
buildCompared() {
  local tree=build/compare-$1
  if [ ! -x "$tree/build/release/portal/pingel-portal" ]; then
    [ -d "$tree" ] || git worktree add --detach "$tree" "$1" >/dev/null
    cmake -S "$tree" --preset release >/dev/null
    cmake --build "$tree/build/release" --target pingel-portal pingel-portal-load -j2 >/dev/null
  fi
  echo "$tree/build/release"
}
if [ -n "$compare" ] && [ -z "${PINGEL_PG_READY:-}" ]; then
  buildCompared "$compare" >/dev/null
fi

enterEngine "$0" "$engine" "$seconds" ${compare:+--compare "$compare"} "$@"

# measure LABEL BUILD: the plain submissions against BUILD's portal on a fresh database.
measure() {
  local label=$1 tools=$2 db
  shift 2
  if [ "$engine" = sqlite ]; then
    db=$work/$label.db
  else
    createdb "$label"
    db=postgresql:///$label
  fi
  lastDatabase=$db
  echo "== $label"
  "$tools/tools/portal-load/pingel-portal-load" prepare --database "$db" --members 1000 \
    --hashes "$build/portal-load-hashes.txt"
  portal=$tools/portal/pingel-portal startPortal "$db" "$port" "$work/portal-$label.log"
  "$tools/tools/portal-load/pingel-portal-load" run --target "127.0.0.1:$port" --members 1000 \
    --clients 32 --seconds "$seconds" "$@"
  stopPortal
}

echo "== $engine, $(nproc) cores, $(date -u +%FT%TZ)"
if [ -n "$compare" ]; then
  measure "compared-$(git rev-parse --short "$compare")" "$(buildCompared "$compare")" "$@"
fi
measure this "$build" "$@"
games=$build/portal-load-games.txt
if [ "$(wc -l <"$games" 2>/dev/null || echo 0)" -lt 32 ]; then
  echo "playing 32 ten-minute games for the proven submissions (minutes, once)..."
  "$load" games --out "$games" --members 32 --updates 30000
fi
echo "== with ten-minute replays, each proven by the portal"
startPortal "$lastDatabase" "$port" "$work/portal.log"
"$load" run --target "127.0.0.1:$port" --members 32 --clients 32 --seconds "$seconds" \
  --games "$games" --no-reference --score-base 1000000000 "$@"
