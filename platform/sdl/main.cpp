// pingel, the game on Linux: opens the SDL window and runs the program until it quits,
// with libcurl for the highscores; the shell receives the window's messages through
// pumpMessage.
#include "app/main_loop.h"
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
    Platform* previous = setPlatform(&sdl);
    CurlHttpClient http;
    const int exitCode = runPingel(makeWorld, http);
    setPlatform(previous);
    return exitCode;
}
