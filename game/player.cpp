// One update of the penguin: power mode, the buffered turn, the step, the tunnel, the
// sprite. The sprite's rectangle is shrunk by 2 on every side whenever a sprite is set by
// the update, so until his first update with a direction he is caught and eats with the
// whole 24 x 24 picture.
#include "game/player.h"

#include "game/controller.h"
#include "game/maze.h"

namespace {
enum Facing { up = 0, right = 1, down = 2, left = 3 };
constexpr float tunnelRightEnd = 356.0f;
constexpr float tunnelLanding = 357.0f; // one beyond the right end: the next step enters
} // namespace

Player::Player(Image* const spriteSet[4], ScreenBuffer* screenBuffer)
    : ActiveActor(spriteSet[right], screenBuffer) {
    speed = 1.0f;
    powered = false;
    powerTicks = 0;
    for (int i = 0; i < 4; ++i) {
        sprites[i] = spriteSet[i];
    }
    maze = nullptr;
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

bool Player::walkable(float x, float y) const {
    return maze != nullptr && maze->isWalkable(x, y);
}

void Player::update() {
    if (removalPending) {
        return;
    }
    if (powered && --powerTicks <= 0) {
        powered = false;
    }
    if (controller != nullptr && (controller->dx != 0 || controller->dy != 0)) {
        requestedDirection = {float(controller->dx), float(controller->dy)};
    }

    const float x = position.x, y = position.y;
    if (walkable(x + requestedDirection.x, y + requestedDirection.y)) {
        direction = requestedDirection;
        moveBy(direction.x * speed, direction.y * speed);
    } else if (walkable(x + direction.x, y + direction.y)) {
        moveBy(direction.x * speed, direction.y * speed);
    }

    if (position.x == tunnelRightEnd && direction.x > 0) {
        setPosition(0, position.y);
    }
    if (position.x == 0 && direction.x < 0) {
        setPosition(tunnelLanding, position.y);
    }

    const auto face = [this](int facing) {
        setSprite(sprites[facing]);
        inflateBox(-2);
    };
    if (direction.x > 0) {
        face(right);
    }
    if (direction.x < 0) {
        face(left);
    }
    if (direction.y > 0) {
        face(down);
    }
    if (direction.y < 0) {
        face(up);
    }
}
