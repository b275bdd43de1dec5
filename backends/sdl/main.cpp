// pingel, the game on Linux: reads the command line (the zoom, full screen, a replay to
// watch), opens the SDL window and runs the program until it quits, with libcurl for the
// highscores. The SDL backend is every seam but the HTTP client; the shell receives the
// window's messages through pumpMessage.
#include "app/main_loop.h"
#include "backends/curl/curl_http.h"
#include "backends/sdl/sdl_platform.h"
#include "game/world.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

namespace {

constexpr const char* usage =
    "Usage: pingel [--scale N] [--fullscreen] [--replay FILE]\n"
    "  --scale N      show the window N times as large (1 to 16)\n"
    "  --fullscreen   start in full screen (F11 toggles)\n"
    "  --replay FILE  play a recorded game back (Space pauses and goes on, 1, 2 and 4 choose\n"
    "                 the speed, F1 leaves it for a game of your own); exit status 2 when\n"
    "                 FILE is missing, too large or not a replay\n";

// A whole number from 1 to 16, or 0 when the text is anything else.
int parseScale(const char* text) {
    int value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > 16) {
            return 0;
        }
        value = value * 10 + (*p - '0');
    }
    return value >= 1 && value <= 16 ? value : 0;
}

} // namespace

int main(int argc, char** argv) {
    SdlPlatform::Options options;
    std::optional<replay::Replay> watched;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--replay" && i + 1 < argc) {
            const char* file = argv[++i];
            replay::Decoded decoded = readReplayFile(file);
            if (!decoded.replay) {
                std::fprintf(stderr, "pingel: --replay %s: %s\n", file, decoded.reason.c_str());
                return 2;
            }
            watched = std::move(decoded.replay);
        } else if (arg == "--fullscreen") {
            options.fullscreen = true;
        } else if (arg == "--scale" && i + 1 < argc && parseScale(argv[i + 1]) > 0) {
            options.scale = parseScale(argv[++i]);
        } else if (arg.starts_with("--scale=") && parseScale(argv[i] + 8) > 0) {
            options.scale = parseScale(argv[i] + 8);
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "pingel: unknown or incomplete option: %s\n%s", argv[i], usage);
            return 2;
        }
    }
    SdlPlatform sdl(options);
    if (!sdl.ok()) {
        std::fprintf(stderr, "pingel: no window: %s\n", sdl.error.c_str());
        return 1;
    }
    CurlHttpClient http(sdl);
    std::unique_ptr<Game> opening;
    if (watched) {
        opening = std::make_unique<Playback>(std::move(*watched), sdl);
    }
    return runPingel(makeWorld, {sdl, sdl, sdl, sdl, sdl, sdl, sdl, http}, std::move(opening));
}
