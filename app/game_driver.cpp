// Frame pacing. All times are unsigned 32-bit milliseconds and every comparison is made on
// differences, so the clock may wrap past 2^32 in the middle of a game.
#include "app/game_driver.h"

GameDriver* gameDriver = nullptr;

namespace {
// Below this many milliseconds before the due time the wait polls instead of sleeping,
// because a sleep may overshoot by about a millisecond.
constexpr Millis pollWindow = 2;
} // namespace

GameDriver::GameDriver(Factory makeGame) : makeGame_(std::move(makeGame)) {
    busy = true;
    world = makeGame_();
    world->gameOver = true;
    startTime = frameStartTime = platform().now();
    frameCount = 0;
    busy = false;
}

GameDriver::~GameDriver() = default;

void GameDriver::waitUntilDue() {
    const Millis due = framePeriod * static_cast<Millis>(frameCount);
    for (;;) {
        const Millis elapsed = platform().now() - startTime;
        if (elapsed >= due) {
            return;
        }
        const Millis remaining = due - elapsed;
        platform().pause(remaining > pollWindow ? remaining - pollWindow : 0);
    }
}

void GameDriver::runFrame() {
    busy = true;
    frameStartTime = platform().now();
    waitUntilDue();
    if (restartRequested) {
        world.reset();
        world = makeGame_();
        startTime = frameStartTime = platform().now();
        frameCount = 0;
        restartRequested = false;
        gameOver = false;
    }
    world->update();
    world->update();
    if (frameStartTime - startTime < framePeriod * static_cast<Millis>(frameCount)) {
        world->render();
    }
    if (world->gameOver) {
        gameOver = true;
    }
    busy = false;
    ++frameCount;
}

void GameDriver::resyncFrameCount() {
    frameCount = static_cast<std::int32_t>((platform().now() - startTime) / framePeriod);
}

void GameDriver::resumeAfterPause() {
    startTime = platform().now() - framePeriod * static_cast<Millis>(frameCount);
}
