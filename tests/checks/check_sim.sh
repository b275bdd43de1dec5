#!/usr/bin/env bash
# Replays the recorded pingel-sim games of golden/cases.txt and compares each trace byte
# for byte with its golden file golden/NAME.trace.gz, and, for the cases that draw, the
# SHA-256 of every PNG frame with golden/NAME.png.sha256. The games replay identically on every build and platform
# (the game's own random source, a clock that advances 40 ms a frame), so any difference is
# a change of behaviour: the first differing line is printed.
#
# Usage: check_sim.sh [--wine] [--traces-only] [--update] PINGEL_SIM
#   --wine         run PINGEL_SIM (a .exe) under Wine, its line ends taken as Unix ones
#   --traces-only  skip the PNG frames (a pingel-sim built without PNG output)
#   --update       write the golden files anew from PINGEL_SIM (after a deliberate change)
set -euo pipefail
golden=$(cd "$(dirname "$0")/golden" && pwd)
wine="" tracesOnly="" update=""
while [ $# -gt 1 ]; do
  case "$1" in
    --wine) wine=1 ;;
    --traces-only) tracesOnly=1 ;;
    --update) update=1 ;;
    *) break ;;
  esac
  shift
done
[ $# -eq 1 ] || { echo "usage: $0 [--wine] [--traces-only] [--update] PINGEL_SIM" >&2; exit 2; }
sim=$1
work=$(mktemp -d /tmp/pingel-golden.XXXXXX)
trap 'rm -rf "$work"' EXIT

runSim() { # arguments of pingel-sim; its standard output with Unix line ends
  if [ -n "$wine" ]; then
    WINEDEBUG=-all wine "$sim" "$@" </dev/null 2>"$work/stderr" | tr -d '\r'
  else
    "$sim" "$@" </dev/null 2>"$work/stderr"
  fi
}

firstDifference() { # expected actual: the first line where they differ
  local said line
  said=$(cmp "$1" "$2" 2>&1 || true)
  if [[ "$said" == *EOF* ]]; then # one is a prefix of the other
    echo "  one ends early: expected $(wc -l <"$1") lines, got $(wc -l <"$2")"
    return
  fi
  line=$(echo "$said" | sed -n 's/.* line \([0-9]*\).*/\1/p')
  echo "  first difference at line $line:"
  echo "  expected: $(sed -n "${line}p" "$1")"
  echo "  got:      $(sed -n "${line}p" "$2")"
}

failed=0 passed=0 games=0
while IFS='|' read -r name start keys pngEvery; do
  case "$name" in '' | '#'*) continue ;; esac
  games=$((games + 1))
  args=(--clock-start "$start" --keys "$keys" --until-game-over --trace)
  draws=""
  if [ "$pngEvery" != "-" ] && [ -z "$tracesOnly" ]; then
    draws=1
    mkdir -p "$work/$name"
    args+=(--png "$work/$name" --png-every "$pngEvery")
  fi
  runSim "${args[@]}" >"$work/$name.trace" || {
    echo "$name: pingel-sim failed; it said:" >&2
    tail -n 5 "$work/stderr" | sed 's/^/  /' >&2
    failed=1
    continue
  }
  if [ -n "$draws" ]; then
    (cd "$work/$name" && sha256sum -- *.png) >"$work/$name.png.sha256"
  fi
  if [ -n "$update" ]; then
    gzip -9n <"$work/$name.trace" >"$golden/$name.trace.gz"
    [ -z "$draws" ] || cp "$work/$name.png.sha256" "$golden/"
    echo "$name: golden files written"
    continue
  fi
  ok=1
  gzip -dc "$golden/$name.trace.gz" >"$work/$name.expected"
  if ! cmp -s "$work/$name.expected" "$work/$name.trace"; then
    echo "$name: the trace differs from $name.trace.gz (--clock-start $start)" >&2
    firstDifference "$work/$name.expected" "$work/$name.trace" >&2
    ok=""
  fi
  if [ -n "$draws" ] && ! cmp -s "$golden/$name.png.sha256" "$work/$name.png.sha256"; then
    echo "$name: the PNG frames differ from $name.png.sha256 (every $pngEvery frames)" >&2
    firstDifference "$golden/$name.png.sha256" "$work/$name.png.sha256" >&2
    ok=""
  fi
  if [ -n "$ok" ]; then passed=$((passed + 1)); else failed=1; fi
done <"$golden/cases.txt"
[ -n "$update" ] && exit 0
echo "pingel-sim: $passed of $games recorded games replayed identically"
exit "$failed"
