#!/usr/bin/env bash
# The access log opened again on SIGHUP, as logrotate asks: a real `pingel-portal serve
# --access-log FILE` logs a request into FILE; FILE is moved away and the server sent
# SIGHUP; it then creates FILE again and logs the next requests there, while the moved file
# keeps the lines before. The server lives on through the signal and stops on SIGTERM.
#
# Usage: tests/portal/access_log_reopen.sh PATH-TO-pingel-portal
set -euo pipefail
portal=$1
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
log=$work/access.log

"$portal" serve --listen "127.0.0.1:$port" --database "$work/portal.db" --outbox "$work/outbox" \
  --access-log "$log" 2>"$work/stderr" &
pid=$!

# fetch PATH: one request, its reply read to the end.
fetch() {
  { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null || return 1
  printf 'GET %s HTTP/1.0\r\n\r\n' "$1" >&3
  cat <&3 >/dev/null
  exec 3<&-
}
# retry COMMAND...: tries it up to 300 times, a tenth of a second apart.
retry() {
  for _ in $(seq 300); do
    "$@" && return 0
    kill -0 "$pid" || { echo "the portal ended; its standard error:"; cat "$work/stderr"; exit 1; }
    sleep 0.1
  done
  echo "never: $*"
  exit 1
}

retry fetch /before
retry grep -q ' /before ' "$log"
mv "$log" "$log.1"
kill -HUP "$pid"
retry test -e "$log"
# Lines may still reach the moved file until the writer takes the new one up.
n=0
logged() {
  n=$((n + 1))
  fetch "/after-$n" && grep -q " /after-$n " "$log"
}
retry logged

grep -q ' /before ' "$log.1" || { echo "the moved log lost its line"; exit 1; }
if grep -q ' /before ' "$log"; then
  echo "a line from before SIGHUP in the new log"
  exit 1
fi
[ "$(stat -c %a "$log")" = 640 ] || [ "$(umask)" != 0022 ] || {
  echo "the new log is not 0640"
  exit 1
}
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" = 0 ] || { echo "the portal exited with $status"; exit 1; }
echo "access log reopened on SIGHUP"
