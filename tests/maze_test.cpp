// Maze: walkability at the segment ends, the tunnel, the edges and off the centre lines;
// the track image's colour and symmetry.
#include "game/maze.h"

#include <gtest/gtest.h>

TEST(Maze, WalkabilityAtTellingPoints) {
    const Maze maze;
    struct Case {
        float x, y;
        bool walkable;
    };
    const Case cases[] = {
        {0, 128, true},    {356, 128, true},     {38, 28, true},      {318, 228, true},
        {357, 128, false}, {-1, 128, false},     {-0.5f, 128, true},  {178.7f, 100.2f, true},
        {180, 127, false}, {40, 100, false},     {420, 270, false},   {421, 128, false},
        {178, 271, false}, {0.9f, 128.9f, true}, {1e30f, 128, false}, {-1e30f, 128, false},
        {158, 128, true},  {157, 128, false},    {198, 128, true},    {199, 128, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(maze.isWalkable(c.x, c.y), c.walkable) << c.x << "," << c.y;
    }
}

TEST(Maze, TrackIsOneColourAndMirrorSymmetric) {
    const Maze maze;
    const Image& t = maze.track;
    for (int y = 0; y < t.height; ++y) {
        for (int x = 0; x < t.width; ++x) {
            ASSERT_TRUE(t.pixel(x, y) == 0 || t.pixel(x, y) == Maze::trackColour) << x << "," << y;
            if (x <= Maze::tunnelRightEnd) {
                const int mirrored = static_cast<int>(Maze::tunnelRightEnd) - x;
                ASSERT_EQ(t.pixel(x, y), t.pixel(mirrored, y)) << x << "," << y;
            }
        }
    }
}
