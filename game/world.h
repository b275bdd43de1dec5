// The World is one game: it owns the maze and the frame buffer and answers the driver's
// update and render. (For now a small stand-in: it counts its updates and shows the
// maze's tracks; the actors come in with the rest of the game.)
#pragma once

#include "app/game_driver.h"
#include "game/maze.h"
#include "gfx/screen_buffer.h"

#include <memory>

class World : public Game {
  public:
    World();
    ~World() override;
    void update() override;
    void render() override;

    Maze maze;
    std::unique_ptr<ScreenBuffer> screen;
    std::int64_t updates = 0;
};

std::unique_ptr<Game> makeWorld();
