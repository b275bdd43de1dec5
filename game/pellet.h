// The things the penguin eats. A Pellet (5 points) and a PowerPill (no points, but a sound
// and power mode) stand still and ask once per World update whether their centre lies in
// the player's rectangle; an eaten one raises removalPending and the lists drop it at the
// end of that update. The World builds them with its player, its score and the list of
// sounds its update leaves for the driver.
#pragma once

#include "game/actor.h"
#include "game/game.h"

class Counter;
class Player;

class Pellet : public ActiveActor {
  public:
    Pellet(Image* sprite, float x, float y, const Player& player, Counter& score);
    ~Pellet() override;
    void update() override;

  private:
    const Player& player_;
    Counter& score_;
};

class PowerPill : public ActiveActor {
  public:
    PowerPill(Image* sprite, float x, float y, Player& player, std::vector<SoundCue>& sounds);
    ~PowerPill() override;
    void update() override;

  private:
    Player& player_;
    std::vector<SoundCue>& sounds_;
};
