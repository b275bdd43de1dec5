// The GameDriver stands between the main loop and the game. It owns the frame buffer and
// the current game; it replaces the game when a restart is asked for, and paces it by the
// millisecond clock: frame n is due 40 ms x n after startTime, every frame runs two
// updates, and a frame draws only if it began before its due time. A late frame runs its
// updates without drawing, so after a stall the game catches up in real time while the
// picture stands still.
//
// The driver carries out what the game cannot: before each update it reads the arrows
// from the keyboard (left, right, up, down; not for a game that is over) and hands them to
// the update as a value; after it, it plays the sounds the update asked for, in their
// order. An update that held the program still (a sound played to its end; the game says
// so with its stalled flag) is not caught up: the driver forgets the frames missed
// meanwhile.
//
// The wait for a frame's due time sleeps through the clock while more than 2 ms remain
// and then polls it: it never returns early and never keeps a processor busy.
//
// The driver also carries the queue of requests by which the menu, the dialogs and the
// main loop hand work to one another.
#pragma once

#include "game/game.h"
#include "gfx/screen_buffer.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/keyboard.h"

#include <cstdint>
#include <functional>
#include <memory>

// What the shell asks of its next passes. One queue holds the requests; a request that is
// already waiting is not queued twice. Each is taken by whoever serves it: the next frame
// takes a restart, the pass takes the dialogs, always in the order offer, login,
// information, and leaves a dialog's request waiting until that dialog has ended.
enum class ShellRequest : std::uint8_t { OfferSubmit, Login, Info, Restart };

class RequestQueue {
  public:
    void post(ShellRequest request);
    bool waiting(ShellRequest request) const;
    // Removes the request; false when it was not waiting.
    bool take(ShellRequest request);

  private:
    static constexpr std::size_t capacity = 4; // one of each kind at most
    std::array<ShellRequest, capacity> items_{};
    std::size_t count_ = 0;
};

class GameDriver {
    // First, so that it outlives the game drawn into it.
    ScreenBuffer screen_;

  public:
    static constexpr Millis framePeriod = 40;
    // Builds a game seeded with the clock's reading, its pictures from the resources.
    using Factory = std::function<std::unique_ptr<Game>(Millis seed, const Resources& resources)>;

    // What the driver reaches of the platform.
    struct Seams {
        Clock& clock;
        Keyboard& keyboard;
        Audio& audio;
        Display& display;
        const Resources& resources;
    };

    // Builds the first game and freezes it at once: the program opens on a finished board.
    GameDriver(Factory makeGame, const Seams& seams);
    ~GameDriver();
    GameDriver(const GameDriver&) = delete;
    GameDriver& operator=(const GameDriver&) = delete;

    void runFrame();
    // Puts `next` on the screen at once in place of the current game, on a new frame with
    // the palette read afresh and a new schedule (a playback at start-up).
    void start(std::unique_ptr<Game> next);
    // Moves the schedule so that the next frame is due now (after a dialog).
    void resumeAfterPause();
    // The frame buffer every game of the run draws into.
    ScreenBuffer& screen() { return screen_; }
    // The milliseconds since the current game started.
    Millis playTime() const { return seams_.clock.now() - startTime; }

    RequestQueue requests;
    bool gameOver = false;
    std::unique_ptr<Game> game;
    Millis startTime = 0;
    std::int32_t frameCount = 0;

  private:
    void waitUntilDue();
    // One update of the game with the keys of the moment, its sounds played; after a
    // stalled one, forgets the frames missed since startTime instead of catching them up.
    void update();
    Factory makeGame_;
    Seams seams_;
};
