#!/usr/bin/env bash
# The Windows installer and zip, as a player gets them: makes both with cpack in the
# Windows build folder; checks that each holds exactly the game's files (pingel.exe, the
# penguin icon, the readme; the installer its uninstaller too) and the same pingel.exe.
# Then, under Wine on its own virtual X server with a fresh prefix: installs silently
# (/S) into the default folder, finds pingel.exe there, the Start menu entries "Pingel"
# and "Uninstall" and the uninstall key of Add/Remove Programs; starts the installed
# pingel.exe, sees its window "Pingel" and ends it with Alt-F4 (exit code 0); uninstalls
# silently (/S) and finds the folder, the Start menu entries and the key gone. A kernel
# that cannot run 32-bit programs skips the Wine part, loudly.
#
# Usage: installer_check.sh WINDOWS_BUILD_DIR
set -euo pipefail

win=$(cd "$1" && pwd)
sessionName="pingel-installer"
sessionCleanupHook=endWine
endWine() {
  wineserver -k 2>/dev/null || true
}
. "$(dirname "$0")/../xvfb_session.sh"
export WINEDEBUG=-all WINEPREFIX="$work/prefix"
# No Mono or Gecko prompts, and no menu entries on the Linux desktop for the shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $win/CMakeCache.txt"
name="pingel-$version-win32"
# Stripping stamps the time into pingel.exe; the commit's time makes both packages' copies
# the same, byte for byte.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "$0")" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
(cd "$win" && cpack -G "NSIS;ZIP" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  fail "cpack could not make the installer and the zip"
}
installer="$win/$name.exe"
zip="$win/$name.zip"

# --- What the installer and the zip hold (7-Zip reads both) ---
file "$installer" | grep -q "PE32 executable (GUI) Intel 80386.*Nullsoft Installer" ||
  fail "$installer is not a 32-bit NSIS installer: $(file -b "$installer")"
members() { # archive: its files, sorted, without NSIS's own plug-ins
  7z l -slt "$1" | sed -n 's/^Path = //p' | tail -n +2 | grep -v '^\$PLUGINSDIR/' | sort
}
expected=$(printf '%s\n' Uninstall.exe pingel.exe pingel.ico readme.txt | sort)
[ "$(members "$installer")" = "$expected" ] ||
  fail "the installer holds $(members "$installer" | tr '\n' ' '), not $(echo "$expected" | tr '\n' ' ')"
expected=$(printf "$name/%s\n" pingel.exe pingel.ico readme.txt | sort)
[ "$(members "$zip")" = "$expected" ] ||
  fail "the zip holds $(members "$zip" | tr '\n' ' '), not $(echo "$expected" | tr '\n' ' ')"
7z x -so "$installer" pingel.exe >"$work/installer-pingel.exe" 2>/dev/null ||
  fail "7-Zip cannot unpack pingel.exe from the installer"
7z x -so "$zip" "$name/pingel.exe" >"$work/zip-pingel.exe" 2>/dev/null ||
  fail "7-Zip cannot unpack pingel.exe from the zip"
cmp -s "$work/installer-pingel.exe" "$work/zip-pingel.exe" ||
  fail "the installer and the zip hold different pingel.exe"
file "$work/zip-pingel.exe" | grep -q "PE32 executable (GUI) Intel 80386" ||
  fail "the zip's pingel.exe is not a 32-bit Windows GUI program"
echo "installer and zip: pingel.exe (the same in both), pingel.ico, readme.txt; $(du -k "$installer" | cut -f1) KiB and $(du -k "$zip" | cut -f1) KiB"

# --- Under Wine ---
startXvfb
echo "preparing a Wine prefix"
wineboot -i >"$work/wineboot.log" 2>&1 || true
wineserver -w 2>/dev/null || true
# A kernel built without 32-bit support cannot start Wine's 32-bit loader at all; that is
# the machine, not the installer, so the Wine part is skipped, loudly.
if ! wine "$win/tools/pingel-sim.exe" --help >/dev/null 2>"$work/probe.err"; then
  if grep -qi "exec format error" "$work/probe.err"; then
    echo "SKIPPED: this kernel cannot run 32-bit programs, so the installer does not run under Wine here:" >&2
    sed 's/^/  /' "$work/probe.err" >&2
    sessionPassed
    exit 0
  fi
  sed 's/^/  /' "$work/probe.err" >&2
  fail "pingel-sim.exe --help failed under Wine"
fi

uninstallKey() { # the uninstall key's values ("" when there is none), 32-bit view or not
  local key out
  for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pingel' \
    'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Pingel'; do
    if out=$(wine reg query "$key" 2>/dev/null); then
      echo "$out" | tr -d '\r'
      return 0
    fi
  done
}
shortcuts() { # the Start menu entries of Pingel anywhere in the prefix
  find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Pingel/*' -iname '*.lnk' 2>/dev/null | sort
}
installFolder() { # the default folder, with or without (x86)
  local folder
  for folder in "$WINEPREFIX/drive_c/Program Files (x86)/Pingel" "$WINEPREFIX/drive_c/Program Files/Pingel"; do
    if [ -e "$folder" ]; then
      echo "$folder"
      return 0
    fi
  done
}

if [ -n "$(uninstallKey)" ] || [ -n "$(installFolder)" ]; then
  fail "the fresh prefix already has Pingel"
fi
wine "$installer" /S >"$work/install.log" 2>&1 || fail "the installer failed (log: $work/install.log)"
wineserver -w 2>/dev/null || true
folder=$(installFolder)
[ -n "$folder" ] || fail "nothing installed under Program Files"
for f in pingel.exe pingel.ico readme.txt Uninstall.exe; do
  [ -f "$folder/$f" ] || fail "the installer left out $f"
done
cmp -s "$folder/pingel.exe" "$work/zip-pingel.exe" || fail "the installed pingel.exe is not the packed one"
links=$(shortcuts)
[ "$(echo "$links" | sed 's|.*/||' | tr '\n' ' ')" = "Pingel.lnk Uninstall.lnk " ] ||
  fail "the Start menu entries are: $(echo "$links" | tr '\n' ' ')"
# The link names its target (ANSI in the link's path, UTF-16 in its strings).
tr -d '\0' <"$(echo "$links" | grep '/Pingel.lnk$')" | grep -qai 'pingel\.exe' ||
  fail "the Start menu entry Pingel does not lead to pingel.exe"
key=$(uninstallKey)
echo "$key" | grep -q 'DisplayName.*REG_SZ.*Pingel' || fail "no uninstall key for Pingel: $key"
echo "$key" | grep -qi 'UninstallString.*REG_SZ.*Uninstall\.exe' ||
  fail "the uninstall key names no uninstaller: $key"
echo "installed: ${folder#"$WINEPREFIX/"}, Start menu entries Pingel and Uninstall, uninstall key"

# --- The installed game starts, shows its window and ends with Alt-F4 ---
(
  set +e
  cd "$folder" && wine "$folder/pingel.exe" >"$work/pingel.log" 2>&1
  echo $? >"$work/exit-code"
) &
pingelPid=$!
window=$(findWindow Pingel)
[ -n "$window" ] || fail "the installed pingel.exe showed no window named Pingel"
sleep 2
import -window root "$work/installed-pingel.png"
click "$window" 200 150
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 0.3
xdotool key alt+F4
for _ in $(seq 100); do
  [ -s "$work/exit-code" ] && break
  sleep 0.1
done
[ -s "$work/exit-code" ] || fail "the installed pingel.exe did not end after Alt-F4"
code=$(cat "$work/exit-code")
[ "$code" = "0" ] || fail "the installed pingel.exe ended with exit code $code"
pingelPid=""
echo "the installed pingel.exe: its window came, Alt-F4 ended it with exit code 0"

# --- Uninstalling removes everything the installer made ---
# The uninstaller copies itself to the temporary folder and runs from there, so it is
# done when that copy has removed the folder (the Wine server waits for it too).
wine "$folder/Uninstall.exe" /S >"$work/uninstall.log" 2>&1 || fail "the uninstaller failed"
for _ in $(seq 600); do
  [ -e "$folder" ] || break
  sleep 0.1
done
wineserver -w 2>/dev/null || true
[ ! -e "$folder" ] || fail "the installation folder is still there: $(ls -A "$folder" | tr '\n' ' ')"
[ -z "$(shortcuts)" ] || fail "Start menu entries are left: $(shortcuts | tr '\n' ' ')"
[ -z "$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Pingel' 2>/dev/null)" ] ||
  fail "the Start menu folder Pingel is left"
[ -z "$(uninstallKey)" ] || fail "the uninstall key is left: $(uninstallKey)"
echo "uninstalled: folder, Start menu entries and uninstall key gone"
sessionPassed
echo "1 passed, 0 failed"
