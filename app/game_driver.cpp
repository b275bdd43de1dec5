// Frame pacing. All times are unsigned 32-bit milliseconds and every comparison is made on
// differences, so the clock may wrap past 2^32 in the middle of a game.
#include "app/game_driver.h"

namespace {
// Below this many milliseconds before the due time the wait polls instead of sleeping,
// because a sleep may overshoot by about a millisecond.
constexpr Millis pollWindow = 2;
} // namespace

GameDriver::GameDriver(Factory makeGame) : makeGame_(std::move(makeGame)) {
    game = makeGame_(screen_);
    game->gameOver = true;
    startTime = platform().now();
    frameCount = 0;
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

void GameDriver::update() {
    game->update();
    if (game->stalled) {
        game->stalled = false;
        frameCount = static_cast<std::int32_t>((platform().now() - startTime) / framePeriod);
    }
}

void GameDriver::runFrame() {
    Millis frameStart = platform().now();
    waitUntilDue();
    if (restartRequested) {
        game.reset();
        // The new game starts on a new frame, with the palette read afresh.
        screen_.release();
        game = makeGame_(screen_);
        startTime = frameStart = platform().now();
        frameCount = 0;
        restartRequested = false;
        gameOver = false;
    }
    update();
    update();
    if (frameStart - startTime < framePeriod * static_cast<Millis>(frameCount)) {
        game->render();
    }
    if (game->gameOver) {
        gameOver = true;
    }
    ++frameCount;
}

void GameDriver::resumeAfterPause() {
    startTime = platform().now() - framePeriod * static_cast<Millis>(frameCount);
}
