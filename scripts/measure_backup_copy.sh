#!/usr/bin/env bash
# Measures `pingel-portal backup` and `copy` on a database of SCORES scores (100,000 unless
# given) of 2,000 members, each score with a replay of 1,600 characters, most of them
# proven, the lists' kept bests counted: the backup of the SQLite file, the copy SQLite to
# SQLite, and, in a temporary PostgreSQL 15 cluster (pg_virtualenv, fsync on), SQLite to
# PostgreSQL and back. Prints the seconds each took and the files' sizes. A measurement:
# it asserts nothing.
# Usage: scripts/measure_backup_copy.sh [BUILD_DIR] [SCORES]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
scores=${2:-100000}
portal="$(pwd)/$build/portal/pingel-portal"
[ -x "$portal" ] || { echo "no $portal: build the target pingel-portal first" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
db="$dir/portal.db"
"$portal" build list --database "$db" >/dev/null
/usr/bin/python3 - "$db" "$scores" <<'PY'
import random, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
rng = random.Random(1998)
db.executemany("INSERT INTO members (email_key, email, nickname, nickname_key, password_hash,"
               " created_at, confirmed_at) VALUES (?, ?, ?, ?, 'h', 0, 0)",
               [(f"m{m}@example.se", f"m{m}@example.se", f"Spelare {m}", f"spelare {m}")
                for m in range(1, 2001)])
now, year, n = 1774872000, 365 * 86400, int(sys.argv[2])
letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
def row(i):
    proven = rng.random() < 0.7
    return (rng.randrange(1, 2001), rng.randrange(40000) * 5, now - year + i * year // n,
            int(proven), "" if proven else "no replay",
            "".join(rng.choices(letters, k=1600)), rng.randrange(2**32), f"{rng.getrandbits(64):016x}")
db.executemany("INSERT INTO scores (member_id, score, play_time_ms, ranked, build_checksum,"
               " build_length, cpu_speed, cpu, address, submitted_at, proven, verdict, replay,"
               " replay_seed, opening_digest) VALUES (?, ?, 600000, 1, 1, 2, 1000, 'CPU',"
               " '192.0.2.7', ?, ?, ?, ?, ?, ?)", (row(i) for i in range(n)))
db.commit()
PY
# The kept bests are counted at the first read of the lists.
"$portal" competition set 2026-03-02 2026-03-15 --database "$db"
"$portal" winners --database "$db" >/dev/null 2>&1
echo "database: $(du -h "$db" | cut -f1), $scores scores"
TIMEFORMAT='%R s'
echo -n "backup: "; { time "$portal" backup "$dir/backup.db" --database "$db" 2>/dev/null; } 2>&1
echo -n "copy SQLite -> SQLite: "
{ time "$portal" copy --from "$db" --to "$dir/copy.db" >/dev/null 2>&1; } 2>&1
export portal db dir
pg_virtualenv -v 15 bash -c '
  TIMEFORMAT="%R s"
  echo -n "copy SQLite -> PostgreSQL: "
  { time "$portal" copy --from "$db" --to postgresql:// > "$dir/to-pg.txt" 2>/dev/null; } 2>&1
  echo -n "copy PostgreSQL -> SQLite: "
  { time "$portal" copy --from postgresql:// --to "$dir/back.db" > "$dir/back.txt" 2>/dev/null; } 2>&1
  diff "$dir/to-pg.txt" "$dir/back.txt" >/dev/null || echo "the copies differ: $(cat "$dir/back.txt")"
  cat "$dir/back.txt"' 2>&1 | grep -v "^Creating\|^Dropping\|^Ver\|^[0-9][0-9]  \|^$"
