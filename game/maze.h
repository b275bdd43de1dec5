// The maze is not walls but 32 straight track segments, the centre lines of the corridors,
// drawn one pixel wide into a hidden track image of the screen's size. An actor may step
// onto a point only where the track pixel under it is set, so every actor runs along these
// lines and turns only where they meet. The walls the player sees belong to the background picture.
#pragma once

#include "gfx/image.h"
#include "platform/screen_size.h"

#include <array>

struct TrackSegment {
    std::int32_t x1, y1, x2, y2;
};

class Maze {
  public:
    static constexpr int trackWidth = screen_size::width;
    static constexpr int trackHeight = screen_size::height;
    static constexpr std::uint8_t trackColour = 40;
    // The tunnel row's two ends: an actor that reaches one running outwards comes in at the
    // other, on the right one beyond the end so that its next step enters the track.
    static constexpr float tunnelLeftEnd = 0.0f;
    static constexpr float tunnelRightEnd = 356.0f;
    static constexpr float tunnelLanding = 357.0f;
    static const std::array<TrackSegment, 32> segments;

    Maze();

    // True when the track pixel under (x, y), truncated toward zero, is set.
    bool isWalkable(float x, float y) const;

    Image track;
};
