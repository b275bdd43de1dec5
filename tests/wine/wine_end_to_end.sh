#!/usr/bin/env bash
# End to end on Windows: runs the cross-built pingel.exe under Wine on its own virtual X
# server, finds the window "Pingel", checks that its game picture is 421 x 271 and that its
# pixels are exactly those the headless platform renders of the frozen start board, zooms
# it to scale 2 with Ctrl + plus (each pixel a 2 x 2 block) and back with Ctrl + minus, starts
# a game with F1 and sees the picture change, opens "Spelregler" from the menu and sees the
# information dialog, closes it with Enter, and ends the program with Alt-F4, expecting exit
# code 0. Screenshots and logs are kept in the work folder when a step fails.
#
# Usage: wine_end_to_end.sh PINGEL_EXE HEADLESS_FRAME_TOOL
set -euo pipefail

exe=$1
frameTool=$2
sessionName="pingel-wine"
sessionCleanupHook=endWine
endWine() {
  wineserver -k 2>/dev/null || true
}
clickHover=0.3
clickSettle=0.8
. "$(dirname "$0")/../xvfb_session.sh"
export WINEDEBUG=-all WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml="

pictureWidth=421
pictureHeight=271
# The GAME OVER banner of the frozen board, drawn at (100, 63), 156 x 14.
bannerBox="156x14+100+63"

"$frameTool" "$work" || fail "the headless renderer failed"

startXvfb 1920x1080 # room for the window at scale 2

echo "preparing a Wine prefix (once per run)"
wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
wineserver -w 2>/dev/null || true

(
  set +e
  wine "$exe" >"$work/pingel.log" 2>&1
  echo $? >"$work/exit-code"
) &
pingelPid=$!

window=$(findWindow Pingel)
[ -n "$window" ] || fail "no window named Pingel"
sleep 2
# Wine may draw the window's frame and caption itself (no window manager here) or leave
# them out: find the client area by the frozen board it must show, pixel for pixel.
import -window "$window" "$work/first-window.png"
found=$(compare -metric AE -subimage-search "$work/first-window.png" "$work/frozen.ppm" null: 2>&1 || true)
case "$found" in
  "0 @ "*) ;;
  *) fail "the window does not show the headless render of the start board anywhere ($found)" ;;
esac
offset=${found#0 @ }
clientX=${offset%,*}
clientY=${offset#*,}
[ "$clientY" -ge 10 ] || fail "no menu bar above the client area (it starts at y $clientY)"
echo "frozen board: identical to the headless render, client area 421 x 271 at $clientX,$clientY"

pictureX=$clientX
pictureY=$clientY
shot frozen

# --- Ctrl + plus zooms the frozen board to scale 2, Ctrl + minus brings it back ---
xdotool windowfocus --sync "$window" 2>/dev/null || true
click "$window" $((clientX + 200)) $((clientY + 120))
xdotool key ctrl+KP_Add
sleep 1.5
import -window "$window" "$work/zoom2-window.png"
convert "$work/frozen.ppm" -scale 200% "$work/frozen-x2.ppm"
convert "$work/zoom2-window.png" -crop "$((2 * pictureWidth))x$((2 * pictureHeight))+$clientX+$clientY" \
  +repage "$work/zoom2.png"
n=$(differing "$work/zoom2.png" "$work/frozen-x2.ppm")
[ "$n" = "0" ] || fail "Ctrl + plus: the board at scale 2 differs from the render in $n pixels"
echo "Ctrl + plus: the board at scale 2, each pixel a 2 x 2 block"
xdotool key ctrl+KP_Subtract
sleep 1.5
shot unzoomed
n=$(differing "$work/frozen.png" "$work/unzoomed.png")
[ "$n" = "0" ] || fail "Ctrl + minus: the board at scale 1 differs in $n pixels"
# --- F1 starts a game: the GAME OVER banner goes ---
xdotool windowfocus --sync "$window" 2>/dev/null || true
click "$window" $((clientX + 200)) $((clientY + 120))
xdotool key F1
sleep 1.5
shot started
n=$(differing "$work/frozen.png" "$work/started.png" "$bannerBox")
[ "$n" != "0" ] || fail "F1 did not start a game (the GAME OVER banner is still there)"
echo "F1: a game started ($n pixels of the banner changed)"

# --- "Spelregler" from the menu "Spel": the information dialog ---
click "$window" $((clientX + 15)) $((clientY - 9))
rowHeight=19
click "$window" $((clientX + 40)) $((clientY + rowHeight + rowHeight / 2 + 2))
dialog=$(findWindow Information)
[ -n "$dialog" ] || fail "the information dialog did not open"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
echo "information dialog: ${WIDTH}x${HEIGHT} at $X,$Y"
import -window root "$work/dialog.png"
# Enter presses its default button, OK. The keyboard goes to the dialog once it has been
# clicked (into its text); the first click may only bring the dialog forward.
closed=""
for _ in 1 2 3; do
  click "$dialog" 100 100
  xdotool key Return
  sleep 1
  if [ -z "$(xdotool search --name '^Information$' 2>/dev/null || true)" ]; then
    closed=1
    break
  fi
done
[ -n "$closed" ] || fail "Enter did not close the information dialog"
echo "information dialog: closed with Enter"

# --- Alt-F4 ends the program with exit code 0 ---
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 0.3
xdotool key alt+F4
for _ in $(seq 100); do
  [ -s "$work/exit-code" ] && break
  sleep 0.1
done
[ -s "$work/exit-code" ] || fail "pingel.exe did not end after Alt-F4"
code=$(cat "$work/exit-code")
[ "$code" = "0" ] || fail "pingel.exe ended with exit code $code"
echo "Alt-F4: the program ended with exit code 0"
sessionPassed
echo "1 passed, 0 failed"
