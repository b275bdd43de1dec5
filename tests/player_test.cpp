// The penguin: buffered turns, stops at track ends, the tunnel's far end, diagonal
// requests, power mode's bounds; and the controller's reading of the arrows.
#include "game/player.h"

#include "game/controller.h"
#include "game/maze.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct PlayerFixture : ::testing::Test {
    Maze maze;
    Image up{24, 24}, right{24, 24}, down{24, 24}, left{24, 24};
    Image* const sprites[4] = {&up, &right, &down, &left};
    Controller keys;
    Player p{sprites, maze, keys};
    void hold(int dx, int dy) {
        keys.dx = dx;
        keys.dy = dy;
    }
    void run(int updates) {
        for (int i = 0; i < updates; ++i) {
            p.update();
        }
    }
};
} // namespace

TEST_F(PlayerFixture, MovesAlongTracksAndTakesBufferedTurns) {
    // Each step: keys held for some updates, then where he is and which way he runs.
    struct Step {
        int dx, dy, updates;
        float x, y, dirX, dirY;
        const char* why;
    };
    const Step steps[] = {
        {0, 0, 500, 179, 188, 0, 0, "without keys he stands at his start"},
        {1, 0, 1, 180, 188, 1, 0, "right along y = 188"},
        {0, -1, 18, 198, 188, 1, 0, "up is refused at 198: that column leaves downward"},
        {0, 0, 40, 238, 188, 1, 0, "released keys keep the request; refused at 238"},
        {0, 0, 20, 258, 188, 1, 0, "at 258 the pixel above is on track..."},
        {0, 0, 1, 258, 187, 0, -1, "...and the next update turns him up"},
        {0, 0, 300, 258, 68, 0, -1, "up to the end of column 258"},
        {-1, 0, 1, 257, 68, -1, 0, "left at once on row 68"},
        {1, 0, 1, 258, 68, 1, 0, "the reverse is honoured at once"},
    };
    for (const Step& s : steps) {
        hold(s.dx, s.dy);
        run(s.updates);
        EXPECT_FLOAT_EQ(p.position.x, s.x) << s.why;
        EXPECT_FLOAT_EQ(p.position.y, s.y) << s.why;
        EXPECT_FLOAT_EQ(p.direction.x, s.dirX) << s.why;
        EXPECT_FLOAT_EQ(p.direction.y, s.dirY) << s.why;
    }
}

TEST_F(PlayerFixture, TheTunnelCannotBeReversedAtItsFarEnd) {
    // Through the left end he lands at 357, off the track; turning round there is refused
    // (358 is off the track too) and he goes on left to 356.
    p.setPosition(1, 128);
    hold(-1, 0);
    run(1);
    EXPECT_FLOAT_EQ(p.position.x, 357);
    hold(1, 0);
    run(1);
    EXPECT_FLOAT_EQ(p.position.x, 356);
    EXPECT_FLOAT_EQ(p.position.y, 128);
}

TEST_F(PlayerFixture, DiagonalRequestTakenOnlyBesideACorner) {
    p.setPosition(38, 29);
    hold(1, -1);
    run(1);
    EXPECT_FLOAT_EQ(p.position.x, 39);
    EXPECT_FLOAT_EQ(p.position.y, 28);
    EXPECT_EQ(p.sprite, &up); // the vertical sprite is set last
    run(10);                  // neither look-ahead point is on a track now
    EXPECT_FLOAT_EQ(p.position.x, 39);
    EXPECT_FLOAT_EQ(p.position.y, 28);
    hold(1, 0);
    run(1);
    EXPECT_FLOAT_EQ(p.position.x, 40);
    EXPECT_EQ(p.sprite, &right);
}

TEST_F(PlayerFixture, PowerModeLasts400UpdatesAndEndsAtAReset) {
    p.powerUp();
    run(399);
    EXPECT_TRUE(p.powered);
    run(1);
    EXPECT_FALSE(p.powered);
    p.powerUp();
    p.reset(); // a new life or level ends it at once
    EXPECT_FALSE(p.powered);
}

TEST(Controller, ReadsTheArrowsWithRightAndDownWinning) {
    struct Case {
        ArrowKeys keys;
        int dx, dy;
    };
    const Case cases[] = {
        {{}, 0, 0},
        {{.left = true}, -1, 0},
        {{.right = true}, 1, 0},
        {{.up = true}, 0, -1},
        {{.down = true}, 0, 1},
        {{.left = true, .right = true}, 1, 0},
        {{.up = true, .down = true}, 0, 1},
        {{.right = true, .up = true}, 1, -1},
        {{true, true, true, true}, 1, 1},
    };
    for (const Case& c : cases) {
        Controller controller;
        controller.dx = 5; // stale values are overwritten
        controller.take(c.keys);
        EXPECT_EQ(controller.dx, c.dx) << c.dx << "," << c.dy;
        EXPECT_EQ(controller.dy, c.dy) << c.dx << "," << c.dy;
    }
}
