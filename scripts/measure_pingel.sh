#!/usr/bin/env bash
# Measures the Linux game under a virtual X server: the processor time pingel takes while
# a game runs for 20 seconds, the time from one drawn frame to the next (median and 99th
# percentile), and the time from starting the program to its first drawn frame. It builds
# an optimised pingel that logs a time stamp for each frame it draws (the PINGEL_FRAME_LOG
# build option) in build/frame-log.
#
# Usage: scripts/measure_pingel.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

cmake -S . -B build/frame-log -DCMAKE_BUILD_TYPE=Release -DPINGEL_FRAME_LOG=ON >/dev/null
cmake --build build/frame-log -j2 --target pingel >/dev/null
pingel=build/frame-log/platform/sdl/pingel

sessionName="pingel-measure"
. tests/xvfb_session.sh
startXvfb

ticks=$(getconf CLK_TCK)
cpuTicks() { # utime + stime of the process, in clock ticks
  awk '{ print $14 + $15 }' "/proc/$1/stat"
}

launched=$(date +%s%N)
"$pingel" 2>"$work/frames.log" >/dev/null &
pingelPid=$!
window=$(findWindow Pingel 100)
[ -n "$window" ] || fail "no window named Pingel"
xdotool windowfocus --sync "$window"
sleep 1
xdotool key F1 # a game starts
sleep 1
: >"$work/frames.log.mark"
startLines=$(grep -c '^frame ' "$work/frames.log" || true)
before=$(cpuTicks "$pingelPid")
sleep "$seconds"
after=$(cpuTicks "$pingelPid")

first=$(grep -m1 '^frame ' "$work/frames.log" | awk '{ print $3 }')
echo "first drawn frame: $(( (first - launched) / 1000000 )) ms after launch"
awk -v t="$ticks" -v s="$seconds" -v a="$before" -v b="$after" \
  'BEGIN { printf "processor use during %d s of play: %.2f %% of one core\n", s, 100 * (b - a) / t / s }'
grep '^frame ' "$work/frames.log" | tail -n +"$((startLines + 1))" | awk '{ print $2 }' |
  awk 'NR > 1 { print ($1 - prev) / 1e6 } { prev = $1 }' | sort -n |
  awk '{ v[NR] = $1 } END {
         if (NR == 0) { print "no frames drawn"; exit }
         p50 = v[int((NR + 1) / 2)]; p99 = v[int(NR * 0.99 + 0.999)]
         over = 0; for (i = 1; i <= NR; i++) if (v[i] > 42) over++
         printf "frame to frame (%d intervals): median %.2f ms, 99th percentile %.2f ms, min %.2f, max %.2f, over 42 ms: %d\n", NR, p50, p99, v[1], v[NR], over }'
sessionPassed
