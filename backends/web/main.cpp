// pingel in the browser: the entry point of the web build. Runs the program on the page's
// backend, which is every seam but the HTTP client, with fetch() for the highscores. When
// the page's address asks for a replay (/spela/?spel=ID) the program opens on it, played
// back; a replay that cannot be had or is no replay is told on the page, and the program
// opens on the finished board as usual.
#include "app/main_loop.h"
#include "app/playback.h"
#include "backends/web/web_http.h"
#include "backends/web/web_platform.h"
#include "game/world.h"

#include <memory>

int main() {
    WebPlatform web;
    WebHttpClient http;
    std::unique_ptr<Game> opening;
    WebPlatform::AskedReplay asked = web.fetchAskedReplay(replay::maxBytes);
    if (!asked.problem.empty()) {
        web.showPlaybackProblem(asked.problem);
    } else if (asked.asked) {
        replay::Decoded decoded = replay::decode(asked.bytes);
        if (decoded.replay) {
            opening = std::make_unique<Playback>(std::move(*decoded.replay), web);
        } else {
            web.debugText(("pingel: the replay is refused: " + decoded.reason).c_str());
            web.showPlaybackProblem(
                "Spelet g\xC3\xA5r inte att spela upp: det \xC3\xA4r inte ett inspelat "
                "Pingel-spel som den h\xC3\xA4r versionen kan visa.");
        }
    }
    const int exitCode =
        runPingel(makeWorld, {web, web, web, web, web, web, web, http}, std::move(opening));
    web.showEnded();
    return exitCode;
}
