#!/usr/bin/env bash
# End to end, zoomed: starts pingel on a virtual 1920 x 1080 screen, where it must open at
# scale 3 (1263 x 873), and compares the frozen start board with the headless render
# enlarged three times (each pixel a 3 x 3 block). Ctrl + minus and Ctrl + plus step the
# window down to scale 2 and back; F11 and Alt + Enter go to full screen, where the board
# lies centred at scale 3 on black, and back. At scale 3 the menu answers a click at its
# zoomed position, and pingel ends with exit code 0 on Alt-F4.
#
# Usage: sdl_zoom_end_to_end.sh PINGEL HEADLESS_FRAME_TOOL
set -euo pipefail

pingel=$1
frameTool=$2
sessionName="pingel-zoom"
. "$(dirname "$0")/../xvfb_session.sh"

scale=3
canvasWidth=421
canvasHeight=291
menuHeight=20
"$frameTool" "$work" || fail "the headless renderer failed"
convert "$work/frozen.ppm" -scale "$((scale * 100))%" "$work/frozen-x3.ppm"

startXvfb 1920x1080
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
"$pingel" >"$work/pingel.log" 2>&1 &
pingelPid=$!
window=$(findWindow Pingel 100)
[ -n "$window" ] || fail "no window named Pingel"

size() { # the window's size, as WIDTHxHEIGHT, once it has settled
  sleep 0.8
  eval "$(xdotool getwindowgeometry --shell "$window")"
  echo "${WIDTH}x${HEIGHT}"
}
expectSize() { # step expected
  local seen
  seen=$(size)
  [ "$seen" = "$2" ] || fail "$1: window $seen, expected $2"
}
board() { # step x y: the board of the shot `step` at (x, y) of the window, against the render
  pictureWidth=$((421 * scale))
  pictureHeight=$((271 * scale))
  pictureX=$2
  pictureY=$3
  shot "$1"
  local n
  n=$(differing "$work/$1.png" "$work/frozen-x3.ppm")
  [ "$n" = "0" ] || fail "$1: the board differs from the render at scale $scale in $n pixels"
}

expectSize "start" "$((canvasWidth * scale))x$((canvasHeight * scale))"
xdotool windowfocus --sync "$window"
sleep 1
board zoom3 0 $((menuHeight * scale))

xdotool key ctrl+minus
expectSize "Ctrl + minus" "$((canvasWidth * 2))x$((canvasHeight * 2))"
xdotool key ctrl+plus
expectSize "Ctrl + plus" "$((canvasWidth * scale))x$((canvasHeight * scale))"

xdotool key F11
expectSize "F11" "1920x1080"
board full $(((1920 - canvasWidth * scale) / 2)) $(((1080 - canvasHeight * scale) / 2 + menuHeight * scale))
n=$(convert "$work/full-window.png" -crop 300x1080+0+0 +repage -fill white +opaque black \
  -format "%[fx:mean*w*h]" info:)
[ "${n%.*}" = "0" ] || fail "full screen: the margin left of the board is not black"
xdotool key alt+Return
expectSize "Alt + Enter" "$((canvasWidth * scale))x$((canvasHeight * scale))"

# The menu at its zoomed place: "Spel", then its second row "Spelregler" opens a dialog.
click "$window" $((15 * scale)) $((10 * scale))
click "$window" $((15 * scale)) $((46 * scale))
shotUntil dialog facesAbove "$work/dialog-window.png" $((20000 * scale * scale)) ||
  fail "no dialog after a click on Spelregler ($(faceCount "$work/dialog-window.png"))"
xdotool key Return
sleep 0.5

xdotool key alt+F4
expectExitZero Alt-F4
sessionPassed
echo "pingel zoomed end to end: passed"
