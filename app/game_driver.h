// The GameDriver stands between the main loop and the game. It owns the current game,
// replaces it when a restart is asked for, and paces it by the millisecond clock: frame n
// is due 40 ms x n after startTime, every frame runs two updates, and a frame draws only if
// it began before its due time. A late frame runs its updates without drawing, so after a
// stall the game catches up in real time while the picture stands still.
//
// The wait for a frame's due time sleeps through the platform while more than 2 ms remain
// and then polls the clock: it never returns early and never keeps a processor busy.
//
// The driver also carries the request flags by which the menu, the dialogs and the main
// loop hand work to one another; each is raised by one side and cleared by the other.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <memory>

// What the driver needs of a game: two steps and a flag.
class Game {
  public:
    virtual ~Game() = default;
    virtual void update() = 0;
    virtual void render() = 0;
    bool gameOver = false;
};

class GameDriver {
  public:
    static constexpr Millis framePeriod = 40;
    using Factory = std::function<std::unique_ptr<Game>()>;

    // Builds the first game and freezes it at once: the program opens on a finished board.
    explicit GameDriver(Factory makeGame);
    virtual ~GameDriver();
    GameDriver(const GameDriver&) = delete;
    GameDriver& operator=(const GameDriver&) = delete;

    void runFrame();
    // Forgets the frames missed since startTime instead of catching them up.
    void resyncFrameCount();
    // Moves the schedule so that the next frame is due now (after a dialog).
    void resumeAfterPause();

    bool submitOfferRequested = false;
    bool restartRequested = false;
    bool gameOver = false;
    bool loginRequested = false;
    bool infoRequested = false;
    bool busy = false;
    std::unique_ptr<Game> world;
    Millis startTime = 0;
    std::int32_t frameCount = 0;
    Millis frameStartTime = 0;

  private:
    void waitUntilDue();
    Factory makeGame_;
};

// The one GameDriver of the process; null after quit.
extern GameDriver* gameDriver;
