// pingel, the game on Linux: opens the SDL window, hands the window's messages to the
// shell, and runs the program until it quits, with libcurl for the highscores.
#include "app/main_loop.h"
#include "app/main_window.h"
#include "game/world.h"
#include "platform/curl/curl_http.h"
#include "platform/sdl/sdl_platform.h"

#include <cstdio>

int main() {
    SdlPlatform sdl;
    if (!sdl.ok()) {
        std::fprintf(stderr, "pingel: no window: %s\n", sdl.error.c_str());
        return 1;
    }
    sdl.onCommand = windowCommand;
    sdl.onDestroy = windowDestroyed;
    sdl.onPaletteFocus = windowRegainedPalette;
    Platform* previous = setPlatform(&sdl);
    CurlHttpClient http;
    const int exitCode = runPingel(makeWorld, http);
    setPlatform(previous);
    return exitCode;
}
