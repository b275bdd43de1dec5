#!/usr/bin/env bash
# End to end: starts pingel under its own virtual X server (Xvfb), finds the window
# "Pingel", checks its size, compares the frozen start board with what the headless
# platform renders of the same game, sends the (zero) score from "Registrera high-score"
# and sees the dialog drawn while it is sent, starts a game with F1, holds an arrow, opens
# "Spelregler" from the menu and closes it with Enter, and quits with "Avsluta (Alt-F4)",
# expecting exit code 0. Each step's screenshot is kept in the work folder on failure.
#
# The checks compare with the headless pictures rather than fixed pixels, so they hold for
# whatever the game draws: where the headless game shows a change (the game starting, the
# penguin leaving his start), the window must show one too.
#
# Usage: sdl_end_to_end.sh PINGEL HEADLESS_FRAME_TOOL
set -euo pipefail

pingel=$1
frameTool=$2
sessionName="pingel-e2e"
. "$(dirname "$0")/../xvfb_session.sh"

# The game picture's size, and where the menu items are: the menu bar is at the top of the
# window, its pop-up rows below it (the first pop-up "Spel" at the left).
pictureWidth=421
pictureHeight=271
spelX=15
kopplaX=125 # "Koppla upp", whose first row is "Registrera high-score"
rowY=(30 46 62) # "Starta nytt spel (F1)", "Spelregler", "Avsluta (Alt-F4)"
# The penguin's start, as a box in the picture: he stands at (179, 188), 24 x 24 pixels.
startBox="40x40+159+168"
# In the highscore dialog (at the top left of the picture): its row of buttons, and the
# line under them.
buttonRow="290x26+0+158"
statusLine="290x16+0+186"

# --- expectations from the headless platform ---
"$frameTool" "$work" || fail "the headless renderer failed"

startXvfb

# --- start ---
# In a sanitizer build, memory errors still end the run; leak reports do not, since the
# system's sound and desktop-bus libraries that SDL loads leave allocations behind (some in
# libraries already unloaded at exit, which no suppression can name). The shell's own
# leaks are caught by the unit tests, which run without those libraries.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
"$pingel" >"$work/pingel.log" 2>&1 &
pingelPid=$!
window=$(findWindow Pingel 100)
alive || fail "pingel ended at start"
[ -n "$window" ] || fail "no window named Pingel"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" -eq "$pictureWidth" ] || fail "window width $WIDTH, expected $pictureWidth"
menuHeight=$((HEIGHT - pictureHeight))
pictureX=0
pictureY=$menuHeight
[ "$menuHeight" -ge 10 ] && [ "$menuHeight" -le 40 ] ||
  fail "window height $HEIGHT leaves no room for a menu bar above the picture"
xdotool windowfocus --sync "$window"
sleep 1

# --- the frozen start board, pixel for pixel ---
shot frozen
n=$(differing "$work/frozen.png" "$work/frozen.ppm")
[ "$n" = "0" ] || fail "the start board differs from the headless render in $n pixels"
sleep 0.5
shot frozen-later
n=$(differing "$work/frozen.png" "$work/frozen-later.png")
[ "$n" = "0" ] || fail "the frozen board changed by itself ($n pixels)"

# --- "Registrera high-score": the window stays alive while the score is sent ---
# An attempt measures the processor for some seconds before it connects, whatever answers
# (or not) at the build's portal: meanwhile the dialog must be drawn again, its send button
# saying "Skickar...", and once the attempt is over the line under the buttons says how it
# went. Escape then closes the dialog over the start board.
click "$window" "$kopplaX" $((menuHeight / 2))
click "$window" "$kopplaX" "${rowY[0]}"
sleep 0.5
xdotool type --delay 20 "anna@example.se"
xdotool key Tab
xdotool type --delay 20 "hemlis"
sleep 0.3
shot login
xdotool key Return
shotUntil sending differentFrom "$work/login.png" "$work/sending.png" "$buttonRow" ||
  fail "the dialog was not drawn again while the score was sent"
for _ in $(seq 90); do
  shot sent
  n=$(differing "$work/sending.png" "$work/sent.png" "$statusLine")
  [ "$n" = "0" ] || break
  sleep 0.5
done
[ "$n" != "0" ] || fail "no outcome under the buttons after the attempt"
alive || fail "pingel ended during the attempt"
xdotool key Escape
shotUntil after-login sameAs "$work/frozen.png" "$work/after-login.png" ||
  fail "the start board did not come back after the highscore dialog"

# --- F1 starts a game ---
xdotool key F1
if differentFrom "$work/frozen.ppm" "$work/started.ppm"; then
  shotUntil started differentFrom "$work/frozen.png" "$work/started.png" ||
    fail "F1 did not start a game: the board stayed as it was"
else
  sleep 1.5
  shot started
  sameAs "$work/frozen.png" "$work/started.png" ||
    fail "the board changed after F1 where the headless game does not"
fi

# --- holding an arrow moves the penguin ---
xdotool keydown Right
sleep 1
xdotool keyup Right
sleep 0.2
shot moved
expectMove=$(differing "$work/started.ppm" "$work/moved.ppm" "$startBox")
seenMove=$(differing "$work/started.png" "$work/moved.png" "$startBox")
if [ "$expectMove" != "0" ]; then
  [ "$seenMove" != "0" ] || fail "holding the right arrow did not move the penguin"
fi
alive || fail "pingel ended during play"

# --- "Spelregler" opens the information dialog; Enter closes it ---
before=$(faceCount "$work/moved.png")
click "$window" "$spelX" $((menuHeight / 2))
click "$window" "$spelX" "${rowY[1]}"
shotUntil dialog facesAbove "$work/dialog.png" $((before + 20000)) ||
  fail "no dialog over the game after Spelregler (face pixels $before -> $(faceCount "$work/dialog.png"))"
xdotool key Escape # ignored by the information dialog
sleep 0.5
shot dialog-escape
n=$(differing "$work/dialog.png" "$work/dialog-escape.png" "400x180+10+20")
[ "$n" = "0" ] || fail "Escape changed the information dialog"
xdotool key Return
shotUntil closed facesBelow "$work/closed.png" $((before + 2000)) ||
  fail "the dialog stayed after Enter (face pixels $(faceCount "$work/closed.png"))"

# --- "Avsluta (Alt-F4)" ends the program with exit code 0 ---
click "$window" "$spelX" $((menuHeight / 2))
click "$window" "$spelX" "${rowY[2]}"
expectExitZero Avsluta

sessionPassed
echo "pingel end to end: passed"
