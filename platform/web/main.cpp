// pingel in the browser: the entry point of the web build. Runs the program on the page's
// backend, with fetch() for the highscores. The games it builds are watched so that a tap on
// the board can start a new one while the last is over.
#include "app/main_loop.h"
#include "game/world.h"
#include "platform/web/web_http.h"
#include "platform/web/web_platform.h"

int main() {
    WebPlatform web;
    Platform* previous = setPlatform(&web);
    WebHttpClient http;
    // The game being played. The driver asks for F1, and with it for a tap, only while its
    // game exists; a game is replaced between two such questions.
    Game* current = nullptr;
    web.setGameOverQuery([&current] { return current != nullptr && current->gameOver; });
    const int exitCode = runPingel(
        [&current](ScreenBuffer& screen) {
            std::unique_ptr<Game> game = makeWorld(screen);
            current = game.get();
            return game;
        },
        http);
    current = nullptr;
    web.setGameOverQuery(nullptr);
    web.showEnded();
    setPlatform(previous);
    return exitCode;
}
