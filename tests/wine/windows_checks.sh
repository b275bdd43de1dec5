#!/usr/bin/env bash
# The Windows program's checks, after the cross build: pingel.exe imports only system
# DLLs; pingel-sim.exe under Wine replays the recorded games of tests/checks/golden byte
# for byte, as the Linux pingel-sim must (our own random source makes every game replay
# identically), and a game it records is proven by a real portal and replayed by the Linux
# pingel-sim to the same trace; the highscore road through WinInet gives every outcome the
# dialog expects (wininet_check.sh); pingel.exe runs under Wine end to end
# (wine_end_to_end.sh); and the installer installs, starts and uninstalls the game
# (installer_check.sh, which also makes the installer and the zip and checks what they hold).
#
# Usage: windows_checks.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
win=$1
lin=$2
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=-all

imports=$(i686-w64-mingw32-objdump -p "$win/backends/win32/pingel.exe" | awk '/DLL Name/ {print tolower($3)}')
for dll in $imports; do
  case "$dll" in
    kernel32.dll | user32.dll | gdi32.dll | winmm.dll | shell32.dll | msvcrt.dll) ;;
    *) echo "pingel.exe imports $dll, which is not a system DLL" >&2; exit 1 ;;
  esac
done
echo "imports: $(echo $imports | tr '\n' ' ')"

prefix=$(mktemp -d /tmp/pingel-wineprefix.XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix
wineboot -i >/dev/null 2>&1 || true
# A kernel built without 32-bit support cannot start Wine's 32-bit loader at all; that is
# the machine, not the program, so the checks that run Windows code are skipped, loudly.
if ! wine "$win/tools/pingel-sim.exe" --help >/dev/null 2>"$prefix/probe.err"; then
  if grep -qi "exec format error" "$prefix/probe.err"; then
    echo "SKIPPED: this kernel cannot run 32-bit programs, so nothing runs under Wine here:" >&2
    sed 's/^/  /' "$prefix/probe.err" >&2
    # What the installer and the zip hold is checked all the same.
    bash "$here/installer_check.sh" "$win"
    exit 0
  fi
  echo "pingel-sim.exe --help failed under Wine:" >&2
  sed 's/^/  /' "$prefix/probe.err" >&2
  exit 1
fi
# The recorded games' traces (their pictures need PNG output, which this build lacks).
bash "$here/../checks/check_sim.sh" --wine --traces-only "$win/tools/pingel-sim.exe"

# A game recorded under Wine (a recorded game's seed and keys) and sent from here to a real
# portal as the game sends a score: proven ("0") and served back as it was; the Linux
# pingel-sim replays it to the trace Wine wrote while recording it.
IFS='|' read -r _ start keys _ < <(grep '^seed-4242-drawn|' "$here/../checks/golden/cases.txt")
wine "$win/tools/pingel-sim.exe" --clock-start "$start" --keys "$keys" --until-game-over --trace \
  --record "$(winepath -w "$prefix/wine.rep")" </dev/null | tr -d '\r' >"$prefix/wine.trace"
/usr/bin/python3 "$here/../web/prove_replay.py" "$lin/portal/pingel-portal" "$prefix/wine.rep"
"$lin/tools/pingel-sim" --replay "$prefix/wine.rep" >"$prefix/linux.trace"
cmp "$prefix/wine.trace" "$prefix/linux.trace" ||
  { echo "the Linux replay of the game recorded under Wine differs from Wine's trace" >&2; exit 1; }
echo "a game recorded under Wine: proven on the portal and replayed on Linux identically"

bash "$here/wininet_check.sh" "$win" "$lin"

bash "$here/wine_end_to_end.sh" "$win/backends/win32/pingel.exe" "$lin/tests/e2e/pingel-headless-frame"

bash "$here/installer_check.sh" "$win"
