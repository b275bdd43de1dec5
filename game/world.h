// The World is one game, from its construction to game over. It is built with the frame
// buffer it draws into (the GameDriver owns it) and owns everything else of the game:
// every image, the maze, the keyboard controller, the score, level and lives displays of
// the side panel, and the four object lists in which the player, the pellets, the pills
// and the butterflies live. It builds the actors and hands each what it needs: the frame
// buffer, the maze, the controller, the player and the score. The GameDriver calls update
// (one step of the simulation, 50 a second) and render (the whole scene, drawn and
// presented).
//
// Actors only raise flags (removalPending, caught) and add to the score; the World acts on
// the flags after they have all run, so no list changes under a walk. When a butterfly has
// caught the penguin (the caught sound has held the program still), the update raises
// stalled for the driver.
//
// game/ sits on gfx/ and the platform seam and includes nothing of net/, app/ or a
// backend: the driver reaches a game only through the Game interface (game.h).
#pragma once

#include "game/controller.h"
#include "game/counter.h"
#include "game/game.h"
#include "game/maze.h"
#include "game/object_list.h"
#include "gfx/image.h"

#include <array>
#include <memory>

class ActiveActor;
class Player;
class ScreenBuffer;

class World : public Game {
  public:
    explicit World(ScreenBuffer& screen);
    ~World() override;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    void update() override;
    void render() override;
    Counter* score() override { return scoreDisplay.get(); }
    // Lays out a level's board afresh: 98 pellets, 4 pills, the player at his start.
    void setupLevel();

    using ImagePtr = std::unique_ptr<Image>;

    ScreenBuffer& screen;
    KeyboardController controller;
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
    enum class Kind { Player, Enemy, Pellet, PowerPill };
    // Registers a new actor in the list of its kind and in allObjects (see world.cpp).
    void addObject(Kind kind, ActiveActor* actor);
    void updateAll(ObjectList& list);
    void addEnemy();
    void loseLife();
};

// Builds a World for the GameDriver.
std::unique_ptr<Game> makeWorld(ScreenBuffer& screen);
