// The World is one game, from its construction to game over, and a value that runs
// anywhere: it is built from the clock value that seeds it and the resources its pictures
// come from, and each update takes that update's arrows. It calls no platform and shares
// nothing with other Worlds, so any number of them may run at once on any threads, and the
// same seed and keys give the same game everywhere.
//
// It owns everything of the game: its random source, every image, the maze, the
// controller, the score, level and lives displays of the side panel (whose counters carry
// the game's tamper flag), and the four object lists in which the player, the pellets, the
// pills and the butterflies live. It builds the actors and hands each what it needs: the
// maze, the controller, the player, the score, the random source and the list of sounds.
// The GameDriver calls update (one step of the simulation, 50 a second), plays the sounds
// the step left in `sounds`, and calls render (the whole scene, drawn into the frame buffer
// it gives and presented).
//
// It records itself as it is played: its seed and every update's arrows (recording()), and
// the update after which its score last changed, so that the shell can keep the game that
// made a score as a replay (replay.h) up to that update.
//
// Actors only raise flags (removalPending, caught), add to the score and ask for sounds;
// the World acts on the flags after they have all run, so no list changes under a walk.
// When a butterfly has caught the penguin (the caught sound is to hold the program still),
// the update raises stalled for the driver.
//
// game/ sits on gfx/ and the platform seam and includes nothing of net/, app/ or a
// backend: the driver reaches a game only through the Game interface (game.h).
#pragma once

#include "game/controller.h"
#include "game/counter.h"
#include "game/game.h"
#include "game/maze.h"
#include "game/object_list.h"
#include "game/random.h"
#include "game/replay.h"
#include "gfx/image.h"
#include "platform/clock.h"

#include <array>
#include <memory>

class ActiveActor;
class Player;
class Resources;
class ScreenBuffer;

class World : public Game {
  public:
    // A new game seeded with `seed` (the clock's reading when it is built), its pictures
    // from `resources`. The resources are read only here.
    World(Millis seed, const Resources& resources);
    ~World() override;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    void update(const ArrowKeys& keys) override;
    void render(ScreenBuffer& screen) override;
    Counter* score() override { return scoreDisplay.get(); }
    bool tampered() const override;
    const replay::Recording* recording() const override { return &recording_; }
    std::uint32_t scoreReachedAt() const override { return scoreReachedAt_; }
    // Lays out a level's board afresh: 98 pellets, 4 pills, the player at his start.
    void setupLevel();

    using ImagePtr = std::unique_ptr<Image>;

    GameRandom random;
    Controller controller;
    Maze maze;
    std::array<ImagePtr, 10> digitImages;
    std::array<ImagePtr, 4> playerImages; // up, right, down, left
    std::array<ImagePtr, 4> enemyImages;  // up, right, down, left
    std::array<ImagePtr, 9> levelBannerImages;
    ImagePtr pelletImage;
    ImagePtr pillImage;
    ImagePtr gameOverImage;
    ImagePtr backgroundImage;
    Counter extraLifeCounter; // extra lives awarded so far
    bool startSoundPending = false;

    std::unique_ptr<CounterDisplay> scoreDisplay;
    std::unique_ptr<CounterDisplay> levelDisplay;
    std::unique_ptr<CounterDisplay> livesDisplay;

    // Every actor, in drawing order, and the three kinds; an actor is deleted when the
    // last list that holds it drops it.
    ObjectList allObjects;
    ObjectList enemyList;
    ObjectList pelletList;
    ObjectList pillList;
    Player* player = nullptr; // lives in allObjects

  private:
    // The update's work, after it was recorded.
    void step(const ArrowKeys& keys);
    replay::Recording recording_;
    std::uint32_t scoreReachedAt_ = 0;
    enum class Kind { Player, Enemy, Pellet, PowerPill };
    // Registers a new actor in the list of its kind and in allObjects (see world.cpp).
    void addObject(Kind kind, ActiveActor* actor);
    void updateAll(ObjectList& list);
    void addEnemy();
    void loseLife();
};

// Builds a World for the GameDriver.
std::unique_ptr<Game> makeWorld(Millis seed, const Resources& resources);
