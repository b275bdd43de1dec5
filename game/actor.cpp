// Actor geometry and drawing, and the walkers' shared movement. Positions are floats; they
// become pixel coordinates only by truncation toward zero where a sprite is drawn.
#include "game/actor.h"

#include "game/maze.h"
#include "gfx/screen_buffer.h"

Actor::Actor(Image* spriteImage) {
    setSprite(spriteImage);
    visible = true;
    setPosition(100, 100);
}

Actor::~Actor() = default;

void Actor::setSprite(Image* image) {
    anchor = {float(image->width) * 0.5f, float(image->height) * 0.5f};
    boxMin = {0, 0};
    boxMax = {float(image->width), float(image->height)};
    sprite = image;
}

void Actor::updateBox() {
    box.left = position.x + boxMin.x - anchor.x;
    box.top = position.y + boxMin.y - anchor.y;
    box.right = position.x + boxMax.x - anchor.x;
    box.bottom = position.y + boxMax.y - anchor.y;
}

void Actor::setPosition(float x, float y) {
    position = {x, y};
    updateBox();
}

void Actor::moveBy(float dx, float dy) {
    position.x += dx;
    position.y += dy;
    updateBox();
}

void Actor::inflateBox(int d) {
    boxMin.x -= float(d);
    boxMin.y -= float(d);
    boxMax.x += float(d);
    boxMax.y += float(d);
    updateBox();
}

void Actor::draw(ScreenBuffer& screen) {
    if (!visible || removalPending) {
        return;
    }
    screen.draw(*sprite, static_cast<int>(position.x - anchor.x),
                static_cast<int>(position.y - anchor.y));
}

bool Actor::overlaps(const Actor& other) const {
    const Box& a = box;
    const Box& b = other.box;
    return b.left <= a.right && b.right >= a.left && b.top <= a.bottom && b.bottom >= a.top;
}

ActiveActor::ActiveActor(Image* spriteImage) : Actor(spriteImage) {}

ActiveActor::ActiveActor(Image* const spriteSet[4], const Maze& maze)
    : Actor(spriteSet[right]), maze_(&maze) {
    for (int i = 0; i < 4; ++i) {
        sprites[i] = spriteSet[i];
    }
}

void ActiveActor::draw(ScreenBuffer& screen) {
    blinkPhase = blinking ? !blinkPhase : false;
    if (!blinkPhase) {
        Actor::draw(screen);
    }
}

bool ActiveActor::walkable(float x, float y) const {
    return maze_ != nullptr && maze_->isWalkable(x, y);
}

void ActiveActor::wrapAndFace(const Vec2& heading) {
    if (position.x == Maze::tunnelRightEnd && heading.x > 0) {
        setPosition(Maze::tunnelLeftEnd, position.y);
    }
    if (position.x == Maze::tunnelLeftEnd && heading.x < 0) {
        setPosition(Maze::tunnelLanding, position.y);
    }

    const auto face = [this](Facing facing) {
        setSprite(sprites[facing]);
        inflateBox(-2);
    };
    if (heading.x > 0) {
        face(right);
    }
    if (heading.x < 0) {
        face(left);
    }
    if (heading.y > 0) {
        face(down);
    }
    if (heading.y < 0) {
        face(up);
    }
}
