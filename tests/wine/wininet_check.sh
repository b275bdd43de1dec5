#!/usr/bin/env bash
# The highscore road on Windows: pingel-httpcheck.exe posts through the WinInet backend
# under Wine to a loopback portal on the Linux side (pingel-loopback-portal, one answer per
# case), and what the dialog would see (result code, version page, the backend's kind of
# failure, and for a missing library the message) is compared with the table below. The
# answers are those of the libcurl loopback tests; where the outcome is the library's own,
# the number is WinInet's as Wine gives it: a late answer 12030 (the connection aborted at
# the time bound, so "broken") where libcurl says 28 ("no answer"), nothing listening 12029
# where it says 7. An answer trickled byte by byte keeps each receive within its bound; the
# whole exchange's bound cuts it off, as WinInet's own timeout number 12002 (Windows gives
# that for a late answer too). A connection closed without an answer is a failed send with
# libcurl (52); Wine's WinInet reports the send as done and has no status to give, which
# reads as the HTTP status failure -3. Neither is ever taken as accepted. A second table
# gives the kind of each WinInet error number that has one, and of some that have none, as
# the backend maps them.
#
# Usage: wininet_check.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
# Runs in its own Wine prefix unless WINEPREFIX is set.
set -euo pipefail
win=$1
lin=$2
check=$win/backends/win32/pingel-httpcheck.exe
portal=$lin/tests/pingel-loopback-portal
export WINEDEBUG=-all

work=$(mktemp -d /tmp/pingel-wininet.XXXXXX)
if [[ -z "${WINEPREFIX:-}" ]]; then
  export WINEPREFIX=$work/prefix
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
  wineboot -i >/dev/null 2>&1 || true
else
  trap 'rm -rf "$work"' EXIT
fi

# Starts the portal with the given answer; its port in $port.
start_portal() {
  "$portal" "$@" >"$work/port" &
  portal_pid=$!
  for _ in $(seq 100); do
    [[ -s "$work/port" ]] && break
    sleep 0.05
  done
  port=$(head -n 1 "$work/port")
}

failed=0
cases=0
# name | portal answer (STATUS DELAY_MS BODY, close, unused, none) | check options |
# expected result, version page, kind and (when not *) message
big="0\\n$(printf 'x%.0s' $(seq 19998))"
cut="$(printf ' %.0s' $(seq 16383))1"
while IFS='|' read -r name answer options expected; do
  cases=$((cases + 1))
  port=1
  portal_pid=
  case "$answer" in
    none) ;;
    unused) port=$("$portal" unused) ;;
    big) start_portal 200 0 "$big" ;;
    cut) start_portal 200 0 "$cut" ;;
    *) eval "start_portal $answer" ;;
  esac
  # shellcheck disable=SC2086
  got=$(timeout 60 wine "$check" 127.0.0.1 "$port" 1000 1500 $options 2>/dev/null | tr -d '\r')
  if [[ -n "$portal_pid" ]]; then
    kill "$portal_pid" 2>/dev/null || true
    wait "$portal_pid" 2>/dev/null || true
  fi
  IFS=$'\t' read -r want_result want_version want_kind want_message <<<"$expected"
  IFS=$'\t' read -r result version kind message <<<"$got"
  if [[ "$result" != "$want_result" || "$version" != "$want_version" || "$kind" != "$want_kind" ||
    ("$want_message" != "*" && "$message" != "$want_message") ]]; then
    echo "wininet: $name: got '$got', expected '$expected'" >&2
    failed=$((failed + 1))
  fi
done <<EOF_CASES
accepted|200 0 0||0	0	none	*
accepted with a new version|200 0 '1\\n2'||1	2	none	*
unknown account|200 0 2||2	0	none	*
wrong password|200 0 '3\\r\\n'||3	0	none	*
a server error|500 0 0||-3	9	error-status	*
an HTML page|200 0 '<html>Logga in i proxyn</html>'||-4	9	none	*
20000 bytes, cut but read|big||0	0	none	*
cut right before the code|cut||-4	9	none	*
an answer after the time allowed|200 3000 0||12030	9	broken	*
an answer trickled past the time allowed|trickle 150 0||12002	9	no-answer	*
the connection closed without an answer|close||-3	9	error-status	HTTP 0: 
nothing listening|unused||12029	9	out-of-reach	*
no library|none|--no-library|-1	9	library-missing	Kunde inte hitta WinInet.dll
no HttpOpenRequestA|none|--no-function HttpOpenRequestA|-1	9	library-missing	Kunde inte hitta funktionen HttpOpenRequestA i WinInet.dll
no InternetCloseHandle|none|--no-function InternetCloseHandle|-1	9	library-missing	Kunde inte hitta funktionen InternetCloseHandle i WinInet.dll
EOF_CASES

# WinInet's error numbers and their kinds: timed out, name not resolved, cannot connect,
# connection aborted and reset; then numbers of no known kind (out of handles, an extended
# error, none, libcurl's timeout).
kinds='12002	no-answer
12007	out-of-reach
12029	out-of-reach
12030	broken
12031	broken
12001	other
12003	other
0	other
28	other'
cases=$((cases + 1))
# shellcheck disable=SC2046
got=$(timeout 60 wine "$check" --kinds $(cut -f1 <<<"$kinds") 2>/dev/null | tr -d '\r')
if [[ "$got" != "$kinds" ]]; then
  echo "wininet: the kinds of WinInet's error numbers differ:" >&2
  diff <(echo "$kinds") <(echo "$got") >&2 || true
  failed=$((failed + 1))
fi
if ((failed > 0)); then
  echo "wininet: $failed of $cases cases differ" >&2
  exit 1
fi
echo "wininet: $cases highscore outcomes as expected under Wine"
