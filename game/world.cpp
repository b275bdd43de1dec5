// The stand-in World.
#include "game/world.h"

World::World() : screen(std::make_unique<ScreenBuffer>(424, 271)) {
    screenBuffer = screen.get();
}

World::~World() = default;

void World::update() {
    if (!gameOver) {
        ++updates;
    }
}

void World::render() {
    screen->initialise();
    if (!screen->initialised) {
        return;
    }
    screen->fillRect(0, 0, screen->width, screen->height, 201);
    screen->draw(maze.track, 0, 0);
    screen->present();
}

std::unique_ptr<Game> makeWorld() {
    return std::make_unique<World>();
}
