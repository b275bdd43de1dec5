// What the GameDriver needs of a game: one step of the simulation, the drawing of a frame,
// and three things it reads after each step. A game draws into the frame buffer it was
// built with; the driver owns that buffer and paces the steps.
#pragma once

class Counter;

class Game {
  public:
    virtual ~Game() = default;
    virtual void update() = 0;
    virtual void render() = 0;
    // The score of this game, which the shell follows for the best score; null if the
    // game keeps none.
    virtual Counter* score() { return nullptr; }

    // The game has ended; it stays on the screen until the next one is built.
    bool gameOver = false;
    // Raised by an update that held the whole program still (a sound played to its end):
    // the driver forgets the frames missed meanwhile instead of catching them up, and
    // lowers it.
    bool stalled = false;
};
