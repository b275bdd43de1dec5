// The GameDriver stands between the main loop and the game. It owns the frame buffer and
// the current game, which it builds with a reference to that buffer; it replaces the game
// when a restart is asked for, and paces it by the millisecond clock: frame n is due
// 40 ms x n after startTime, every frame runs two updates, and a frame draws only if it
// began before its due time. A late frame runs its updates without drawing, so after a
// stall the game catches up in real time while the picture stands still. An update that
// held the program still (the game says so with its stalled flag) is not caught up: the
// driver forgets the frames missed meanwhile.
//
// The wait for a frame's due time sleeps through the platform while more than 2 ms remain
// and then polls the clock: it never returns early and never keeps a processor busy.
//
// The driver also carries the request flags by which the menu, the dialogs and the main
// loop hand work to one another; each is raised by one side and cleared by the other.
#pragma once

#include "game/game.h"
#include "gfx/screen_buffer.h"
#include "platform/platform.h"

#include <functional>
#include <memory>

class GameDriver {
    // First, so that it outlives the game drawn into it.
    ScreenBuffer screen_;

  public:
    static constexpr Millis framePeriod = 40;
    using Factory = std::function<std::unique_ptr<Game>(ScreenBuffer&)>;

    // Builds the first game and freezes it at once: the program opens on a finished board.
    explicit GameDriver(Factory makeGame);
    ~GameDriver();
    GameDriver(const GameDriver&) = delete;
    GameDriver& operator=(const GameDriver&) = delete;

    void runFrame();
    // Moves the schedule so that the next frame is due now (after a dialog).
    void resumeAfterPause();
    // The frame buffer every game of the run draws into.
    ScreenBuffer& screen() { return screen_; }

    bool submitOfferRequested = false;
    bool restartRequested = false;
    bool gameOver = false;
    bool loginRequested = false;
    bool infoRequested = false;
    std::unique_ptr<Game> game;
    Millis startTime = 0;
    std::int32_t frameCount = 0;

  private:
    void waitUntilDue();
    // One update of the game; after a stalled one, forgets the frames missed since
    // startTime instead of catching them up.
    void update();
    Factory makeGame_;
};
