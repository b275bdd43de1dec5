// Actors: everything on the board. An Actor is a sprite with a float position naming the
// sprite's centre, and a collision rectangle that follows the position; it draws into the
// frame buffer it is given. ActiveActor adds the per-update step and the blinking
// draw, and for the player and the enemies the movement they share: the maze they walk,
// their four sprites, the tunnel and the facing.
#pragma once

#include "game/object_list.h"

#include <array>

class Image;
class Maze;
class ScreenBuffer;

struct Vec2 {
    float x = 0, y = 0;
};

struct Box {
    float left = 0, top = 0, right = 0, bottom = 0;
};

class Actor : public ListedObject {
  public:
    explicit Actor(Image* sprite);
    ~Actor() override;

    // Takes the image's size for the anchor and the rectangle; the box follows at the next
    // change of position.
    void setSprite(Image* image);
    void setPosition(float x, float y);
    void moveBy(float dx, float dy);
    // Grows the rectangle by d on every side (the game shrinks it with d = -2).
    void inflateBox(int d);
    virtual void draw(ScreenBuffer& screen);
    // The rectangles overlap, touching edges included.
    bool overlaps(const Actor& other) const;
    // The position lies inside r with margins of 2 on the left and 1 elsewhere. (Inline:
    // every pellet asks it on every update.)
    bool liesWithin(const Box& r) const {
        const float x = position.x, y = position.y;
        return r.left + 2 <= x && x <= r.right - 1 && r.top + 1 <= y && y <= r.bottom - 1;
    }

    Vec2 position;
    Vec2 anchor;
    Vec2 boxMin, boxMax;
    Image* sprite = nullptr;
    bool visible = true;
    Box box;

  private:
    void updateBox();
};

class ActiveActor : public Actor {
  public:
    // The order of the sprites everywhere.
    enum Facing { up = 0, right = 1, down = 2, left = 3 };

    // An actor that stands still (a pellet, a pill).
    explicit ActiveActor(Image* sprite);
    // An actor that walks the maze with a sprite for each way it faces; it starts facing
    // right.
    ActiveActor(Image* const sprites[4], const Maze& maze);
    // A blinking actor is drawn only on every second draw.
    void draw(ScreenBuffer& screen) override;
    virtual void update() = 0;

    bool blinking = false;
    bool blinkPhase = false;
    std::array<Image*, 4> sprites{};

  protected:
    // Whether the track pixel under (x, y) is set (false for an actor without a maze).
    bool walkable(float x, float y) const;
    // After a step heading that way: through the tunnel if it ran out at one end, then the
    // sprite of the way it heads, its rectangle shrunk by 2 (a vertical heading wins).
    void wrapAndFace(const Vec2& heading);

    const Maze* maze_ = nullptr;
};
