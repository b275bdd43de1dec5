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
# Usage: scripts/measure_portal.sh [sqlite|postgresql] [seconds] [load tool options...]
#   e.g. scripts/measure_portal.sh sqlite 10 --keep-alive
# PostgreSQL runs in a temporary cluster made by pg_virtualenv, with fsync on.
set -euo pipefail
cd "$(dirname "$0")/.."
engine=${1:-sqlite}
seconds=${2:-10}
shift $(($# < 2 ? $# : 2))
. scripts/portal_load_common.sh

enterEngine "$0" "$engine" "$seconds" "$@"

echo "== $engine, $(nproc) cores, $(date -u +%FT%TZ)"
"$load" prepare --database "$database" --members 1000 --hashes "$build/portal-load-hashes.txt"
startPortal "$database" "$port" "$work/portal.log"
"$load" run --target "127.0.0.1:$port" --members 1000 --clients 32 --seconds "$seconds" "$@"
games=$build/portal-load-games.txt
if [ "$(wc -l <"$games" 2>/dev/null || echo 0)" -lt 32 ]; then
  echo "playing 32 ten-minute games for the proven submissions (minutes, once)..."
  "$load" games --out "$games" --members 32 --updates 30000
fi
echo "== with ten-minute replays, each proven by the portal"
"$load" run --target "127.0.0.1:$port" --members 32 --clients 32 --seconds "$seconds" \
  --games "$games" --no-reference --score-base 1000000000 "$@"
