// The maze is not walls but 32 straight track segments, the centre lines of the corridors,
// drawn one pixel wide into a hidden 421 x 271 track image. An actor may step onto a point
// only where the track pixel under it is set, so every actor runs along these lines and
// turns only where they meet. The walls the player sees belong to the background picture.
#pragma once

#include "gfx/image.h"

#include <array>

struct TrackSegment {
    std::int32_t x1, y1, x2, y2;
};

class Maze : public Image {
  public:
    static constexpr int trackWidth = 421;
    static constexpr int trackHeight = 271;
    static constexpr std::uint8_t trackColour = 40;
    static const std::array<TrackSegment, 32> segments;

    Maze();
    ~Maze() override;

    // True when the track pixel under (x, y), truncated toward zero, is set.
    bool isWalkable(float x, float y) const;

    Image track;
};
