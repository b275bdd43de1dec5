// Frame pacing. All times are unsigned 32-bit milliseconds and every comparison is made on
// differences, so the clock may wrap past 2^32 in the middle of a game.
#include "app/game_driver.h"

#include <algorithm>

namespace {
// Below this many milliseconds before the due time the wait polls instead of sleeping,
// because a sleep may overshoot by about a millisecond.
constexpr Millis pollWindow = 2;

// The arrows as the keyboard reports them now, asked in the order left, right, up, down.
ArrowKeys readArrows(Keyboard& keyboard) {
    ArrowKeys keys;
    keys.left = keyboard.keyPressed(Key::Left);
    keys.right = keyboard.keyPressed(Key::Right);
    keys.up = keyboard.keyPressed(Key::Up);
    keys.down = keyboard.keyPressed(Key::Down);
    return keys;
}
} // namespace

void RequestQueue::post(ShellRequest request) {
    if (!waiting(request) && count_ < capacity) {
        items_[count_++] = request;
    }
}

bool RequestQueue::waiting(ShellRequest request) const {
    return std::find(items_.begin(), items_.begin() + count_, request) != items_.begin() + count_;
}

bool RequestQueue::take(ShellRequest request) {
    const auto end = items_.begin() + count_;
    const auto at = std::find(items_.begin(), end, request);
    if (at == end) {
        return false;
    }
    std::copy(at + 1, end, at);
    --count_;
    return true;
}

GameDriver::GameDriver(Factory makeGame, const Seams& seams)
    : screen_(seams.display, seams.resources), makeGame_(std::move(makeGame)), seams_(seams) {
    game = makeGame_(seams_.clock.now(), seams_.resources);
    game->gameOver = true;
    startTime = seams_.clock.now();
    frameCount = 0;
}

GameDriver::~GameDriver() = default;

void GameDriver::waitUntilDue() {
    const Millis due = framePeriod * static_cast<Millis>(frameCount);
    for (;;) {
        const Millis elapsed = seams_.clock.now() - startTime;
        if (elapsed >= due) {
            return;
        }
        const Millis remaining = due - elapsed;
        seams_.clock.pause(remaining > pollWindow ? remaining - pollWindow : 0);
    }
}

void GameDriver::update() {
    ArrowKeys keys;
    if (!game->gameOver) {
        keys = readArrows(seams_.keyboard);
    }
    game->update(keys);
    for (const SoundCue& cue : game->sounds) {
        seams_.audio.playSound(cue.id, cue.mode);
    }
    if (game->stalled) {
        game->stalled = false;
        frameCount = static_cast<std::int32_t>((seams_.clock.now() - startTime) / framePeriod);
    }
}

void GameDriver::runFrame() {
    Millis frameStart = seams_.clock.now();
    waitUntilDue();
    if (requests.take(ShellRequest::Restart)) {
        game.reset();
        start(makeGame_(seams_.clock.now(), seams_.resources));
        frameStart = startTime;
    }
    update();
    update();
    if (frameStart - startTime < framePeriod * static_cast<Millis>(frameCount)) {
        game->render(screen_);
    }
    if (game->gameOver) {
        gameOver = true;
    }
    ++frameCount;
}

void GameDriver::start(std::unique_ptr<Game> next) {
    game.reset();
    // The new game starts on a new frame, with the palette read afresh.
    screen_.release();
    game = std::move(next);
    startTime = seams_.clock.now();
    frameCount = 0;
    gameOver = false;
}

void GameDriver::resumeAfterPause() {
    startTime = seams_.clock.now() - framePeriod * static_cast<Millis>(frameCount);
}
