// Maze: walkability at the segment ends, the tunnel, the edges and off the centre lines.
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

TEST(Maze, TrackImageHoldsExactlyTheSegments) {
    const Maze maze;
    ASSERT_EQ(maze.track.width, 421);
    ASSERT_EQ(maze.track.height, 271);
    int set = 0;
    for (int i = 0; i < 421 * 271; ++i) {
        ASSERT_TRUE(maze.track.pixels[i] == 0 || maze.track.pixels[i] == 40);
        set += maze.track.pixels[i] != 0;
    }
    // Every set pixel lies on a segment, and the network is mirror-symmetric about x = 178.
    for (int y = 0; y < 271; ++y) {
        for (int x = 0; x < 421; ++x) {
            bool onSegment = false;
            for (const TrackSegment& s : Maze::segments) {
                onSegment = onSegment ||
                            (s.x1 == s.x2 && x == s.x1 && y >= std::min(s.y1, s.y2) &&
                             y <= std::max(s.y1, s.y2)) ||
                            (s.y1 == s.y2 && y == s.y1 && x >= std::min(s.x1, s.x2) &&
                             x <= std::max(s.x1, s.x2));
            }
            ASSERT_EQ(maze.track.pixel(x, y) != 0, onSegment) << x << "," << y;
            if (x <= 356) {
                ASSERT_EQ(maze.track.pixel(x, y), maze.track.pixel(356 - x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(set, 2000);
}
