#!/usr/bin/env bash
# Kills the portal with SIGKILL in the middle of a load and starts it again on the same
# database: every submission that was answered 0 or 1 must be in the database, and the
# database must be sound (SQLite's integrity check; on PostgreSQL, pg_amcheck over the
# portal's tables and indexes). The load tool logs each accepted submission with a
# score that no other submission of the run has. Takes about half a minute per engine.
#
# Usage: scripts/portal_kill_check.sh [sqlite|postgresql] [seconds of load]
set -euo pipefail
cd "$(dirname "$0")/.."
engine=${1:-sqlite}
seconds=${2:-8}
members=100
. scripts/portal_load_common.sh

atExit() { [ -n "${loadPid:-}" ] && kill "$loadPid" 2>/dev/null; }
enterEngine "$0" "$engine" "$seconds"

"$load" prepare --database "$database" --members "$members" \
  --hashes "$build/portal-load-hashes-$members.txt"
startPortal "$database" "$port" "$work/portal.log"
"$load" run --target "127.0.0.1:$port" --members "$members" --clients 32 \
  --seconds "$seconds" --no-reference --log "$work/accepted.txt" >"$work/load.out" 2>&1 &
loadPid=$!
# Once the timed load runs, wait half of it, then kill the portal outright.
for _ in $(seq 600); do
  grep -qs '^first checks' "$work/load.out" && break
  kill -0 "$loadPid" 2>/dev/null || break
  sleep 0.1
done
sleep "$(awk -v s="$seconds" 'BEGIN { print s / 2 }')"
kill -KILL "$portalPid"
wait "$portalPid" 2>/dev/null || true
echo "killed the portal (SIGKILL) after $(awk -v s="$seconds" 'BEGIN { print s / 2 }') s of load"
startPortal "$database" "$port" "$work/portal.log"
status=0
wait "$loadPid" || status=$?
loadPid=
cat "$work/load.out"
[ "$status" = 0 ] || { echo "the load failed" >&2; exit 1; }
stopPortal

"$load" verify --database "$database" --log "$work/accepted.txt"
if [ "$engine" = postgresql ]; then
  amcheck=$(find /usr/lib/postgresql/*/bin -name pg_amcheck 2>/dev/null | sort -V | tail -1)
  "$amcheck" --install-missing --heapallindexed --no-dependent-toast "${PGDATABASE:-postgres}"
  echo "pg_amcheck: no corruption found"
fi
echo "kill check passed ($engine)"
