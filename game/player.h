// The penguin. He runs one pixel per World update along the maze's tracks in his current
// direction and keeps the last arrow pressed as a request, taken as soon as the pixel one
// step that way is on a track; so a turn may be asked for before the junction. At the ends
// of the tunnel row he jumps to the other side. A power pill gives him 400 updates of power
// mode, in which the butterflies can be eaten. The World builds him with its maze and its
// controller, which holds the arrows of each update.
#pragma once

#include "game/actor.h"

#include <cstdint>

class Controller;

class Player : public ActiveActor {
  public:
    static constexpr float startX = 179, startY = 188;
    static constexpr std::int32_t powerDuration = 400;

    // sprites: facing up, right, down, left.
    Player(Image* const sprites[4], const Maze& maze, const Controller& controller);
    ~Player() override;

    // Back to the start: standing still, facing right, power mode off.
    void reset();
    // Power mode for the next 400 updates, started afresh if it is on.
    void powerUp();
    void update() override;

    bool powered = false;
    bool caught = false; // by a butterfly, this update; the World takes it from there
    std::int32_t powerTicks = 0;
    Vec2 direction;
    Vec2 requestedDirection;

  private:
    const Controller& controller_;
};
