// A butterfly. It waits unseen at the centre for 200 updates, then wanders along the
// tracks in a preferred direction that it redraws at random every 21 updates, and becomes
// visible at the first redraw. Whenever it shares the player's column or row and the first
// pixel towards him is on a track it chases him; in power mode it flees instead, at half
// speed, and blinks. Touching the player catches him (the caught sound plays to its end), or
// in power mode gets it eaten for 100 points. The World builds it with its maze, its player,
// its score, its random source and the list of sounds its update leaves for the driver.
#pragma once

#include "game/actor.h"
#include "game/game.h"

#include <cstdint>

class Counter;
class GameRandom;
class Player;

class Enemy : public ActiveActor {
  public:
    static constexpr float startX = 180, startY = 127;
    static constexpr std::int32_t waitUpdates = 200;
    static constexpr std::int32_t turnPeriod = 20; // chooseDirection every 21st update

    // sprites: facing up, right, down, left.
    Enemy(Image* const sprites[4], const Maze& maze, Player& player, Counter& score,
          GameRandom& random, std::vector<SoundCue>& sounds);
    ~Enemy() override;

    void reset();
    // Draws a new preferred direction from the game's random source...
    void chooseDirection();
    // ...or from a given draw r in 0..32767.
    void chooseDirection(int r);
    void update() override;

    std::int32_t turnCounter = 0;
    std::int32_t startDelay = 0;
    Vec2 velocity;
    Vec2 preferredDirection;

  private:
    // The chase and flight rules; false when none applies.
    bool followPlayer(float speed, bool powered);

    Player& player_;
    Counter& score_;
    GameRandom& random_;
    std::vector<SoundCue>& sounds_;
};
