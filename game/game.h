// What the GameDriver needs of a game: one step of the simulation with that step's input,
// the drawing of a frame into the driver's frame buffer, and what it reads after each step.
// A step calls no platform: what the shell must carry out is left on the game for the
// driver to take (the sounds of the step in their order, and whether the step stands for
// a moment in which the whole program stood still).
#pragma once

#include "game/controller.h"
#include "platform/audio.h"

#include <cstdint>
#include <vector>

class Counter;
namespace replay {
class Recording;
}
class ScreenBuffer;

// A sound a step asks for: played at once, or to its end with the whole program waiting.
struct SoundCue {
    int id;
    SoundMode mode;
    bool operator==(const SoundCue&) const = default;
};

class Game {
  public:
    virtual ~Game() = default;
    // One step; `keys` are the arrows as they stand for it. A game that is over takes no
    // step (and its driver reads no keys for it).
    virtual void update(const ArrowKeys& keys) = 0;
    virtual void render(ScreenBuffer& screen) = 0;
    // The score of this game, which the shell follows for the best score; null if the
    // game keeps none.
    virtual Counter* score() { return nullptr; }
    // Whether one of the game's numbers was found changed from outside the program.
    virtual bool tampered() const { return false; }
    // Every update the game has taken so far, with its seed; null if the game records
    // none. A game records each update it takes, up to its last.
    virtual const replay::Recording* recording() const { return nullptr; }
    // The number of the update after which the score last changed (0 before any).
    virtual std::uint32_t scoreReachedAt() const { return 0; }

    // The game has ended; it stays on the screen until the next one is built.
    bool gameOver = false;
    // The sounds the last step asked for, in order; each step starts the list afresh.
    std::vector<SoundCue> sounds;
    // Raised by a step that stands for a moment in which the whole program stood still (a
    // sound played to its end): the driver forgets the frames missed meanwhile instead of
    // catching them up, and lowers it.
    bool stalled = false;
};
