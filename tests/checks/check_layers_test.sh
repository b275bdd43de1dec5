#!/usr/bin/env bash
# scripts/check_layers.sh on a scratch tree: each case puts one line into one file and
# expects the check to pass, or to fail naming that file and line. The table writes an
# include's '#' as '@', so that this file itself holds no include of a platform's header.
set -euo pipefail
check=$(cd "$(dirname "$0")/../../scripts" && pwd)/check_layers.sh
work=$(mktemp -d /tmp/pingel-layers.XXXXXX)
trap 'rm -rf "$work"' EXIT

failed=0
while IFS='|' read -r file line expect; do
  case "$file" in '' | '#'*) continue ;; esac
  rm -rf "$work/tree" && mkdir -p "$work/tree/$(dirname "$file")"
  line="${line/#@/#}"
  printf '// a file of the scratch tree\n#include <vector>\n%s\n' "$line" >"$work/tree/$file"
  if "$check" "$work/tree" >"$work/out" 2>&1; then got=pass; else got=fail; fi
  if [ "$got" != "$expect" ] || { [ "$got" = fail ] && ! grep -q "^$file:3: " "$work/out"; }; then
    echo "FAIL: $file with '$line': expected $expect, got $got:" >&2
    cat "$work/out" >&2
    failed=1
  fi
done <<'CASES'
# The layers, each including what lies below it, and what lies above.
platform/platform.cpp|@include "platform/latin1.h"|pass
platform/platform.cpp|@include "gfx/image.h"|fail
platform/platform.h|@include "backends/sdl/sdl_platform.h"|fail
platform/http_client.h|@include "net/http_binding.h"|fail
gfx/image.cpp|@include "platform/platform.h"|pass
gfx/image.cpp|@  include "game/maze.h"|fail
gfx/image.h|@include "backends/headless/headless.h"|fail
game/world.cpp|@include "gfx/screen_buffer.h"|pass
game/world.h|@include "app/game_driver.h"|fail
game/enemy.cpp|@include "../app/session.h"|fail
game/world.cpp|@include "net/highscore_request.h"|fail
game/maze.cpp|@include "maze.h"|pass
net/request.cpp|@include "platform/http_client.h"|pass
net/request.cpp|@include "app/build_config.h"|fail
net/request.cpp|@include "gfx/image.h"|fail
net/request.cpp|@include "backends/curl/curl_http.h"|fail
app/session.cpp|@include "net/highscore_request.h"|pass
app/session.cpp|@include "game/world.h"|pass
app/session.cpp|@include "backends/win32/win32_platform.h"|fail
portal/server.cpp|@include "net/highscore_request.h"|pass
portal/server.cpp|@include "backends/posix/socket.h"|fail
portal/server.cpp|@include "app/session.h"|fail
portal/server.cpp|@include "game/world.h"|pass
portal/server.cpp|@include "gfx/image.h"|pass
app/main_loop.cpp|@include "portal/server.h"|fail
game/world.cpp|@include "backends/headless/headless.h"|fail
platform/clock.h|@include "../backends/sdl/sdl_platform.h"|fail
# Backends and the programs on top include anything.
backends/sdl/main.cpp|@include "app/main_loop.h"|pass
tools/sim.cpp|@include "backends/headless/headless.h"|pass
tests/world_test.cpp|@include "app/game_driver.h"|pass
# A platform's own headers, in any spelling, only in backends/.
backends/sdl/sdl_platform.cpp|@include <SDL2/SDL.h>|pass
backends/win32/window.cpp|@include <windows.h>|pass
backends/curl/curl_http.cpp|@include <curl/curl.h>|pass
app/main_loop.cpp|@include <SDL.h>|fail
gfx/image.cpp|@include <SDL2/SDL_surface.h>|fail
tests/world_test.cpp|@include <SDL2/SDL.h>|fail
game/world.cpp|@include <Windows.h>|fail
net/request.cpp|@include <curl/curl.h>|fail
tools/sim.cpp|@include <emscripten/emscripten.h>|fail
app/main_loop.cpp|@include <emscripten.h>|fail
platform/window.h|@include <windows.h>|fail
# No extern variable in a header and no process-wide accessor of the seam, but in backends/.
game/counter.h|extern bool scoreTampered;|fail
net/facts.h|extern const int limit;|fail
game/counter.h|extern int count(int);|pass
app/glue.h|extern "C" void onGameOver();|pass
backends/win32/glue.h|extern HWND window;|pass
game/counter.cpp|extern bool scoreTampered;|pass
platform/platform.h|Platform& platform();|fail
platform/platform.cpp|Platform* setPlatform(Platform* p) {|fail
app/shell.cpp|Window& mainWindow() {|fail
gfx/screen.cpp|static Display* installed = nullptr;|fail
net/net.cpp|HttpClient *client;|fail
app/shell.cpp|Window& window(Shell& shell);|pass
backends/web/glue.cpp|static WebPlatform* active = nullptr;|pass
app/shell.cpp|    Clock& clock;|pass
CASES
[ "$failed" -eq 0 ] && echo "check_layers: every case as expected"
exit "$failed"
