// One update of the penguin: power mode, the buffered turn, the step, the tunnel, the
// sprite. The sprite's rectangle is shrunk by 2 on every side whenever a sprite is set by
// the update, so until his first update with a direction he is caught and eats with the
// whole 24 x 24 picture.
#include "game/player.h"

#include "game/controller.h"

namespace {
constexpr float speed = 1.0f; // pixels per update
} // namespace

Player::Player(Image* const spriteSet[4], const Maze& maze, const Controller& controller)
    : ActiveActor(spriteSet, maze), controller_(controller) {
    reset();
}

Player::~Player() = default;

void Player::reset() {
    setPosition(startX, startY);
    direction = {0, 0};
    requestedDirection = {0, 0};
    setSprite(sprites[right]);
    powered = false;
}

void Player::powerUp() {
    powerTicks = powerDuration;
    powered = true;
}

void Player::update() {
    if (removalPending) {
        return;
    }
    if (powered && --powerTicks <= 0) {
        powered = false;
    }
    if (controller_.dx != 0 || controller_.dy != 0) {
        requestedDirection = {float(controller_.dx), float(controller_.dy)};
    }

    const float x = position.x, y = position.y;
    if (walkable(x + requestedDirection.x, y + requestedDirection.y)) {
        direction = requestedDirection;
        moveBy(direction.x * speed, direction.y * speed);
    } else if (walkable(x + direction.x, y + direction.y)) {
        moveBy(direction.x * speed, direction.y * speed);
    }
    wrapAndFace(direction);
}
