#!/usr/bin/env bash
# End to end from the Linux game to the portal: pingel under its own virtual X server
# (Xvfb) plays a game with F1 and the arrows until it is over, accepts the offer to send
# the best score, and sends it with the member's e-mail and password from the highscore
# dialog to a real pingel-portal serve (a fresh SQLite database, the member and pingel's
# own build listed). The dialog must close (accepted), and the portal's database must hold
# the score proven by its replay; /spel/ID serves that replay, and pingel-sim --replay of
# it ends at the stored score. The screenshots and the logs are kept on failure.
#
# The game sends its highscores where it was built to send them (PINGEL_PORTAL_HOST and
# PINGEL_PORTAL_PORT, a loopback host): the portal listens on 127.0.0.1:PORT, so this check
# fails, saying so, when something else already answers on that port. It stops nothing it
# did not start.
#
# Usage: sdl_replay_proven.sh PINGEL PINGEL_PORTAL PINGEL_SIM PORT
set -euo pipefail

pingel=$1
portalBin=$2
sim=$3
port=$4
sessionName="pingel-e2e-replay"
portalPid=""
stopPortal() {
  if [ -n "$portalPid" ] && kill -0 "$portalPid" 2>/dev/null; then
    kill "$portalPid" 2>/dev/null || true
    wait "$portalPid" 2>/dev/null || true
  fi
}
sessionCleanupHook=stopPortal
. "$(dirname "$0")/../xvfb_session.sh"

pictureWidth=421
pictureHeight=271
email="anna@example.se"
password="hemlis-42"

# --- the portal, where this build sends ---
code=0
curl -s -o /dev/null --max-time 5 "http://localhost:$port/" || code=$?
[ "$code" -eq 7 ] || fail "something already answers on localhost:$port, where this build of pingel" \
  "sends its highscores (a portal of scripts/portal.sh?); stop it and run this check again"
db="$work/portal.db"
portal() { "$portalBin" "$@" --database "$db"; }
echo "$password" | portal member add "$email" Anna >/dev/null
read -r checksum length < <(/usr/bin/python3 -c \
  'import sys, zlib; d = open(sys.argv[1], "rb").read(); print(zlib.crc32(d), len(d))' "$pingel")
portal build add "$checksum" "$length" >/dev/null
"$portalBin" serve --listen "127.0.0.1:$port" --database "$db" \
  >"$work/portal.log" 2>&1 &
portalPid=$!
for _ in $(seq 150); do
  curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$port/" && break
  kill -0 "$portalPid" 2>/dev/null || fail "pingel-portal serve ended: $(tail -n 3 "$work/portal.log")"
  sleep 0.1
done
curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$port/" || fail "the portal does not answer"

# --- the game ---
startXvfb
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" # see sdl_end_to_end.sh
"$pingel" >"$work/pingel.log" 2>&1 &
pingelPid=$!
window=$(findWindow Pingel 100)
[ -n "$window" ] || fail "no window named Pingel"
eval "$(xdotool getwindowgeometry --shell "$window")"
pictureX=0
pictureY=$((HEIGHT - pictureHeight))
xdotool windowfocus --sync "$window"
shot frozen
xdotool key F1
shotUntil started differentFrom "$work/frozen.png" "$work/started.png" ||
  fail "F1 did not start a game"

# Round and round with the arrows until the game is over and the offer to send its
# score stands over the board (a dialog's face; a game lasts about a minute and a half).
plain=$(faceCount "$work/started.png")
arrows=(Right Up Left Down)
offered=""
for i in $(seq 400); do
  xdotool keydown "${arrows[$((i % 4))]}"
  sleep 0.7
  xdotool keyup "${arrows[$((i % 4))]}"
  shot playing
  if facesAbove "$work/playing.png" $((plain + 8000)); then
    offered=1
    break
  fi
  alive || fail "pingel ended during play"
done
[ -n "$offered" ] || fail "no offer to send the score after $i rounds of the arrows"
sleep 0.5
shot offer

# "Ja" (Enter) opens the highscore dialog; its face is larger than the question's.
offerFaces=$(faceCount "$work/offer.png")
xdotool key Return
shotUntil login facesAbove "$work/login.png" $((offerFaces + 8000)) ||
  fail "no highscore dialog after accepting the offer"
xdotool type --delay 20 "$email"
xdotool key Tab
xdotool type --delay 20 "$password"
sleep 0.3
shot typed
xdotool key Return
# The send measures the processor for some seconds first; accepted, the dialog closes.
for _ in $(seq 120); do
  shot sent
  facesBelow "$work/sent.png" $((plain + 2000)) && break
  alive || fail "pingel ended while sending"
  sleep 0.5
done
facesBelow "$work/sent.png" $((plain + 2000)) ||
  fail "the highscore dialog stayed open: the portal did not accept the score (sent.png, portal.log)"

# --- what the portal made of it ---
score=$(/usr/bin/python3 - "$db" "http://127.0.0.1:$port" "$work/game.rep" "$checksum" "$length" <<'EOF'
import base64, sqlite3, sys, urllib.request
db, origin, out, checksum, length = sys.argv[1:]
with sqlite3.connect(f"file:{db}?mode=ro", uri=True) as c:
    rows = c.execute("SELECT id, score, proven, ranked, verdict, replay FROM scores").fetchall()
assert len(rows) == 1, f"expected one score, the database holds {len(rows)}"
id_, score, proven, ranked, verdict, replay = rows[0]
assert score > 0 and proven == 1 and ranked == 1, (score, proven, ranked, verdict)
stored = base64.urlsafe_b64decode(replay + "=" * (-len(replay) % 4))
with urllib.request.urlopen(f"{origin}/spel/{id_}", timeout=10) as reply:
    status, served = reply.status, reply.read()
assert (status, served) == (200, stored), (status, len(served), len(stored))
build = (int.from_bytes(served[7:11], "little"), int.from_bytes(served[11:15], "little"))
assert build == (int(checksum), int(length)), f"the replay names the build {build}"
open(out, "wb").write(served)
print(score)
EOF
) || fail "the portal's record of the score is not as it should be (above)"
last=$("$sim" --replay "$work/game.rep" | tail -n 1)
[[ "$last" == *" score=$score "* ]] ||
  fail "pingel-sim --replay of the served replay ends at '$last', the portal stored $score"

sessionPassed
echo "pingel's game of $score points: proven on the portal, served and replayed"
