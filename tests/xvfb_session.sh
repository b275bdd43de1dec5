# shellcheck shell=bash
# A virtual X display for the scripts that drive pingel through its window: the end-to-end
# tests (Linux and Wine) and the measurement script. Sourced, not run. It gives a work
# folder, Xvfb started on a free display, a clean-up on exit that ends what was started
# (and keeps the screenshots and logs when the run failed), and the helpers that find a
# window, click into it, take the game picture, count differing pixels or a dialog's face,
# and see the program end.
#
# The sourcing script sets, before sourcing: sessionName (the work folder's prefix); and
# may set sessionCleanupHook (a command run first at clean-up, e.g. ending the Wine server)
# and clickHover and clickSettle (the pauses around a click, in seconds).
# It sets pingelPid when it starts the program, window when it has found the window, and
# pictureX, pictureY, pictureWidth, pictureHeight: where the game picture lies in the window.
# It calls sessionPassed when everything passed. With PINGEL_KEEP_SHOTS set in the
# environment the work folder is kept even then.

work=$(mktemp -d "/tmp/${sessionName:-pingel-session}.XXXXXX")
xvfbPid=""
pingelPid=""
window=""
sessionFailed=1
clickHover=${clickHover:-0.2}   # seconds between moving the pointer and clicking
clickSettle=${clickSettle:-0.4} # seconds after a click

sessionCleanup() {
  [ -z "${sessionCleanupHook:-}" ] || $sessionCleanupHook
  if [ -n "$pingelPid" ] && kill -0 "$pingelPid" 2>/dev/null; then
    kill "$pingelPid" 2>/dev/null || true
    wait "$pingelPid" 2>/dev/null || true
  fi
  if [ -n "$xvfbPid" ]; then
    kill "$xvfbPid" 2>/dev/null || true
    wait "$xvfbPid" 2>/dev/null || true
  fi
  if [ "$sessionFailed" -eq 0 ] && [ -z "${PINGEL_KEEP_SHOTS:-}" ]; then
    rm -rf "$work"
  else
    echo "screenshots and logs kept in $work" >&2 # always with PINGEL_KEEP_SHOTS set
  fi
}
trap sessionCleanup EXIT

sessionPassed() {
  sessionFailed=0
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

startXvfb() { # [WIDTHxHEIGHT]: a display of our own (800x600 unless given), exported as DISPLAY
  Xvfb -displayfd 3 -screen 0 "${1:-800x600}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfbPid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
}

alive() {
  [ -n "$pingelPid" ] && kill -0 "$pingelPid" 2>/dev/null
}

findWindow() { # name [tenths of a second]: the first window of that name, "" if none came
  local found=""
  for _ in $(seq "${2:-200}"); do
    found=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$found" ] && break
    alive || break
    sleep 0.1
  done
  echo "$found"
}

click() { # window x y: a left click at (x, y) of that window
  xdotool mousemove --window "$1" "$2" "$3"
  sleep "$clickHover"
  xdotool click 1
  sleep "$clickSettle"
}

shot() { # name: the game picture of the window as work/name.png (the window as name-window.png)
  import -window "$window" "$work/$1-window.png"
  convert "$work/$1-window.png" -crop "${pictureWidth}x${pictureHeight}+${pictureX}+${pictureY}" \
    +repage "$work/$1.png"
}

differing() { # a b [crop]: how many pixels differ
  local a=$1 b=$2
  if [ $# -ge 3 ]; then
    convert "$a" -crop "$3" +repage "$work/crop-a.png"
    convert "$b" -crop "$3" +repage "$work/crop-b.png"
    a="$work/crop-a.png"
    b="$work/crop-b.png"
  fi
  compare -metric AE "$a" "$b" null: 2>&1 || true
}

# Waiting for what the program shows: shots until a check holds, for at most 10 s, so that
# a busy machine only makes a check slower, never wrong.
shotUntil() { # name check...: shots of `name` until `check...` succeeds; 1 if it never did
  for _ in $(seq 50); do
    shot "$1"
    "${@:2}" && return 0
    sleep 0.2
  done
  return 1
}
sameAs() { # a b [crop]: no pixel differs
  [ "$(differing "$@")" = "0" ]
}
differentFrom() { # a b [crop]: some pixel differs
  [ "$(differing "$@")" != "0" ]
}
facesAbove() { # picture count: more than `count` pixels of a dialog's face
  [ "$(faceCount "$1")" -gt "$2" ]
}
facesBelow() { # picture count: fewer than `count` pixels of a dialog's face
  [ "$(faceCount "$1")" -lt "$2" ]
}

faceCount() { # picture: how many pixels have the classic face colour of a dialog
  convert "$1" -fill black +opaque "rgb(192,192,192)" -fill white -opaque "rgb(192,192,192)" \
    -format "%[fx:mean*w*h]" info: | cut -d. -f1
}

expectExitZero() { # what: pingel ends within 5 s of `what`, with exit code 0
  for _ in $(seq 50); do
    alive || break
    sleep 0.1
  done
  alive && fail "pingel still runs after $1"
  local code=0
  wait "$pingelPid" || code=$?
  pingelPid=""
  [ "$code" -eq 0 ] || fail "pingel exited with code $code"
}
