// pingel-demo: runs the game driver headless for two seconds of game time and prints the
// maze's tracks as text, so a newcomer sees something before the window exists.
#include "app/game_driver.h"
#include "game/world.h"
#include "platform/headless/headless.h"

#include <cstdio>

int main() {
    HeadlessScope scope;
    GameDriver driver(makeWorld);
    driver.restartRequested = true;
    for (int frame = 0; frame < 50; ++frame) {
        driver.runFrame();
    }
    auto& h = scope.headless;
    std::printf("Pingel demo: 50 frames (%d drawn) in %u ms of game time, %lld updates\n",
                h.presentCount, h.now() - driver.startTime,
                static_cast<long long>(static_cast<World&>(*driver.world).updates));
    if (h.lastFrame.empty()) {
        std::puts("(no frame was drawn: the palette resource 139 is missing)");
        return 0;
    }
    // Every third column and fourth row of the last frame: '#' on a track, '.' elsewhere.
    for (int y = 16; y < 240; y += 4) {
        std::string line;
        for (int x = 0; x < 360; x += 3) {
            bool track = false;
            for (int dy = 0; dy < 4; ++dy) {
                for (int dx = 0; dx < 3; ++dx) {
                    track = track || h.lastFrame[(y + dy) * h.lastFrameWidth + x + dx] == 40;
                }
            }
            line += track ? '#' : ' ';
        }
        std::puts(line.c_str());
    }
    return 0;
}
