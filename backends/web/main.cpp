// pingel in the browser: the entry point of the web build. Runs the program on the page's
// backend, which is every seam but the HTTP client, with fetch() for the highscores.
#include "app/main_loop.h"
#include "backends/web/web_http.h"
#include "backends/web/web_platform.h"
#include "game/world.h"

int main() {
    WebPlatform web;
    WebHttpClient http;
    const int exitCode = runPingel(makeWorld, {web, web, web, web, web, web, web, http});
    web.showEnded();
    return exitCode;
}
