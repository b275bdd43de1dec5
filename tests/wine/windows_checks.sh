#!/usr/bin/env bash
# The Windows program's checks, after the cross build: pingel.exe imports only system
# DLLs; pingel-sim.exe under Wine writes byte for byte the traces of the Linux pingel-sim
# (our own random source makes every game replay identically); and pingel.exe runs under
# Wine end to end (wine_end_to_end.sh).
#
# Usage: windows_checks.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
win=$1
lin=$2
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=-all

imports=$(i686-w64-mingw32-objdump -p "$win/platform/win32/pingel.exe" | awk '/DLL Name/ {print tolower($3)}')
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
passed=0
while IFS='|' read -r start keys; do
  args=(--clock-start "$start" --keys "$keys" --until-game-over --trace)
  "$lin/tools/pingel-sim" "${args[@]}" >"$prefix/linux.trace"
  wine "$win/tools/pingel-sim.exe" "${args[@]}" 2>/dev/null | tr -d '\r' >"$prefix/windows.trace"
  if ! cmp -s "$prefix/linux.trace" "$prefix/windows.trace"; then
    echo "pingel-sim traces differ for --clock-start $start --keys '$keys'" >&2
    diff "$prefix/linux.trace" "$prefix/windows.trace" | head -n 5 >&2
    exit 1
  fi
  passed=$((passed + 1))
done <<'GAMES'
0|R:40 U:80 L:100 D:60 R:200
123456|R:40 U:80 L:100 D:60 R:200 L:500 U:300
4294967000|L:300 D:200 R:1000 U:100 L:2000
GAMES
echo "pingel-sim: $passed games traced identically on Linux and under Wine"

bash "$here/wine_end_to_end.sh" "$win/platform/win32/pingel.exe" "$lin/tests/e2e/pingel-headless-frame"
