// The penguin: buffered turns, stops at track ends, the tunnel's far end, diagonal
// requests, power mode's bounds; and the keyboard controller's reading of the arrows.
#include "game/player.h"

#include "game/controller.h"
#include "game/maze.h"
#include "gfx/screen_buffer.h"
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct FixedController : Controller {
    void poll() override {}
};

struct PlayerFixture : ::testing::Test {
    Maze maze;
    Image up{24, 24}, right{24, 24}, down{24, 24}, left{24, 24};
    Image* const sprites[4] = {&up, &right, &down, &left};
    FixedController keys;
    ScreenBuffer screen; // never initialised: nothing is drawn
    Player p{sprites, screen, maze, keys};
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

TEST(KeyboardController, ReadsTheArrowsWithRightAndDownWinning) {
    struct Case {
        std::vector<Key> held;
        int dx, dy;
    };
    const Case cases[] = {
        {{}, 0, 0},
        {{Key::Left}, -1, 0},
        {{Key::Right}, 1, 0},
        {{Key::Up}, 0, -1},
        {{Key::Down}, 0, 1},
        {{Key::Left, Key::Right}, 1, 0},
        {{Key::Up, Key::Down}, 0, 1},
        {{Key::Right, Key::Up}, 1, -1},
        {{Key::Left, Key::Right, Key::Up, Key::Down}, 1, 1},
        {{Key::F1}, 0, 0},
    };
    for (const Case& c : cases) {
        HeadlessScope scope;
        for (Key k : c.held) {
            scope.headless.setKeyDown(k, true);
        }
        KeyboardController keyboard;
        keyboard.dx = 5; // stale values are overwritten
        keyboard.poll();
        EXPECT_EQ(keyboard.dx, c.dx) << c.held.size();
        EXPECT_EQ(keyboard.dy, c.dy) << c.held.size();
    }
}

TEST(KeyboardController, ATapBetweenPollsCountsOnce) {
    HeadlessScope scope;
    KeyboardController keyboard;
    scope.headless.tap(Key::Up);
    keyboard.poll();
    EXPECT_EQ(keyboard.dy, -1);
    keyboard.poll();
    EXPECT_EQ(keyboard.dy, 0);
}
