#!/usr/bin/env bash
# Measures the Linux game under a virtual X server of 2560 x 1440 (room for full screen at
# scale 4). It builds an optimised pingel that logs a time stamp for each frame it draws
# (the PINGEL_FRAME_LOG build option) in build/frame-log, then gives:
#   - the time from starting the program to the first drawing of its window and to its
#     first drawn game frame, the median of 10 starts at scale 1;
#   - for a game running `seconds` (20 unless given) at scale 1 in a window, and again in
#     full screen (scale 4): the processor time pingel takes, the time from one drawn
#     frame to the next (median and 99th percentile), and its peak resident memory.
#
# Usage: scripts/measure_pingel.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
starts=10

cmake -S . -B build/frame-log -DCMAKE_BUILD_TYPE=Release -DPINGEL_FRAME_LOG=ON >/dev/null
cmake --build build/frame-log -j2 --target pingel >/dev/null
pingel=build/frame-log/backends/sdl/pingel

sessionName="pingel-measure"
. tests/xvfb_session.sh
startXvfb 2560x1440

ticks=$(getconf CLK_TCK)
cpuTicks() { # utime + stime of the process, in clock ticks
  awk '{ print $14 + $15 }' "/proc/$1/stat"
}
median() { # the median of the numbers on the standard input
  sort -n | awk '{ v[NR] = $1 } END { print (NR == 0) ? "none" : v[int((NR + 1) / 2)] }'
}

# --- start-up: launch -> first window drawing, launch -> first game frame ---
: >"$work/starts"
for i in $(seq "$starts"); do
  log="$work/start-$i.log"
  launched=$(date +%s%N)
  "$pingel" --scale 1 2>"$log" >/dev/null &
  pingelPid=$!
  for _ in $(seq 100); do
    grep -q '^frame ' "$log" && break
    sleep 0.05
  done
  kill "$pingelPid" 2>/dev/null || true
  wait "$pingelPid" 2>/dev/null || true
  pingelPid=""
  shown=$(grep -m1 '^window ' "$log" | awk '{ print $3 }')
  first=$(grep -m1 '^frame ' "$log" | awk '{ print $3 }')
  [ -n "$shown" ] && [ -n "$first" ] || fail "pingel drew no frame"
  echo "$(((shown - launched) / 1000000)) $(((first - launched) / 1000000))" >>"$work/starts"
done
echo "start-up, median of $starts (ms after launch): window drawn $(cut -d' ' -f1 "$work/starts" | median)," \
  "first game frame $(cut -d' ' -f2 "$work/starts" | median) (each: $(cut -d' ' -f2 "$work/starts" | tr '\n' ' '))"

# --- play: processor time, frame intervals, peak memory ---
play() { # label, pingel's arguments...
  local label=$1
  shift
  "$pingel" "$@" 2>"$work/frames.log" >/dev/null &
  pingelPid=$!
  window=$(findWindow Pingel 100)
  [ -n "$window" ] || fail "no window named Pingel"
  xdotool windowfocus --sync "$window"
  sleep 1
  xdotool key F1 # a game starts
  sleep 1
  local startLines before after
  startLines=$(grep -c '^frame ' "$work/frames.log" || true)
  before=$(cpuTicks "$pingelPid")
  sleep "$seconds"
  after=$(cpuTicks "$pingelPid")
  awk -v t="$ticks" -v s="$seconds" -v a="$before" -v b="$after" -v l="$label" \
    'BEGIN { printf "%s: processor use during %d s of play: %.2f %% of one core\n", l, s, 100 * (b - a) / t / s }'
  echo "$label: peak resident memory $(awk '/^VmHWM/ { printf "%.1f MB", $2 / 1024 }' "/proc/$pingelPid/status")"
  grep '^frame ' "$work/frames.log" | tail -n +"$((startLines + 1))" | awk '{ print $2 }' |
    awk 'NR > 1 { print ($1 - prev) / 1e6 } { prev = $1 }' | sort -n |
    awk -v l="$label" '{ v[NR] = $1 } END {
         if (NR == 0) { print l ": no frames drawn"; exit }
         p50 = v[int((NR + 1) / 2)]; p99 = v[int(NR * 0.99 + 0.999)]
         over = 0; for (i = 1; i <= NR; i++) if (v[i] > 42) over++
         printf "%s: frame to frame (%d intervals): median %.2f ms, 99th percentile %.2f ms, min %.2f, max %.2f, over 42 ms: %d\n", l, NR, p50, p99, v[1], v[NR], over }'
  kill "$pingelPid"
  wait "$pingelPid" 2>/dev/null || true
  pingelPid=""
}
play "scale 1, window" --scale 1
play "scale 4, full screen" --fullscreen
sessionPassed
