// The World is one game, from its construction to game over. It owns every image, the
// frame buffer, the maze, the keyboard controller and the three displays of the side
// panel; it creates the actors and keeps them in the four process-wide object lists. The
// GameDriver calls update (one step of the simulation, 50 a second) and render (the whole
// scene, drawn and presented).
//
// Actors only raise flags (removalPending, caught) and add to the score; the World acts on
// the flags after they have all run, so no list changes under a walk. It publishes the
// objects the actors and the shell reach: screenBuffer, scoreCounter, levelCounter,
// livesCounter and player.
#pragma once

#include "app/game_driver.h"
#include "game/controller.h"
#include "game/counter.h"
#include "game/maze.h"
#include "gfx/image.h"
#include "gfx/screen_buffer.h"

#include <array>
#include <memory>

class ActiveActor;
class Player;

enum class ObjectKind { Player, Enemy, Pellet, PowerPill };

class World : public Game {
  public:
    World();
    ~World() override;
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    void update() override;
    void render() override;
    // Registers a new actor in the lists of its kind and in allObjects (see world.cpp).
    bool addObject(ObjectKind kind, ActiveActor* actor);
    // Lays out a level's board afresh: 98 pellets, 4 pills, the player at his start.
    void setupLevel();

    using ImagePtr = std::unique_ptr<Image>;

    KeyboardController controller;
    Maze maze;
    std::array<ImagePtr, 10> digitImages;
    std::array<ImagePtr, 4> playerImages; // up, right, down, left
    std::array<ImagePtr, 4> enemyImages;  // up, right, down, left
    std::array<ImagePtr, 9> levelBannerImages;
    ImagePtr pelletImage;
    ImagePtr pillImage;
    ImagePtr gameOverImage;
    Counter extraLifeCounter; // extra lives awarded so far
    bool startSoundPending = false;
    ImagePtr backgroundImage;

    std::unique_ptr<ScreenBuffer> screen;
    std::unique_ptr<CounterDisplay> scoreDisplay;
    std::unique_ptr<CounterDisplay> levelDisplay;
    std::unique_ptr<CounterDisplay> livesDisplay;

  private:
    void updateAll(class ObjectList& list);
    void addEnemy();
    void loseLife();

    std::uint64_t serial_ = 0; // which World this is, to know whose pointers are published
};

// Builds a World for the GameDriver.
std::unique_ptr<Game> makeWorld();

// The current World's displays and player. A World clears the ones it published when it
// is destroyed; the player itself lives on in allObjects until the next World clears it.
extern CounterDisplay* scoreCounter;
extern CounterDisplay* levelCounter;
extern CounterDisplay* livesCounter;
extern Player* player;
