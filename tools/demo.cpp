// pingel-demo: runs the game driver headless for two seconds of game time with the penguin
// running left, prints what happened and the maze's tracks as text, so a newcomer sees
// something before the window exists. (pingel-sim is the scriptable tool.)
#include "app/game_driver.h"
#include "game/world.h"
#include "platform/headless/headless.h"

#include <cstdio>
#include <string>

int main() {
    HeadlessScope scope;
    GameDriver driver(makeWorld);
    driver.restartRequested = true;
    scope.headless.setKeyDown(Key::Left, true);
    for (int frame = 0; frame < 50; ++frame) {
        driver.runFrame();
    }
    auto& h = scope.headless;
    auto& world = static_cast<World&>(*driver.game);
    std::printf("Pingel demo: 50 frames (%d drawn) in %u ms of game time; score %d, %d pellets "
                "left, %d butterflies\n",
                h.presentCount, h.now() - driver.startTime, world.scoreDisplay->value(),
                world.pelletList.size(), world.enemyList.size());
    if (h.lastFrame.empty()) {
        std::puts("(no frame was drawn: the palette resource 139 is missing)");
    }
    // Every third column and fourth row of the track image: '#' on a track.
    const Image& track = world.maze.track;
    for (int y = 16; y < 240; y += 4) {
        std::string line;
        for (int x = 0; x < 360; x += 3) {
            bool on = false;
            for (int dy = 0; dy < 4; ++dy) {
                for (int dx = 0; dx < 3; ++dx) {
                    on = on || track.pixel(x + dx, y + dy) != 0;
                }
            }
            line += on ? '#' : ' ';
        }
        std::puts(line.c_str());
    }
    return 0;
}
