// Actors: anchor and box arithmetic, draw truncation, the blinking phase, and the walkers'
// tunnel and facing. The overlap's edges are pinned by the butterflies' contact limits, the
// margins of liesWithin by the pellets' eating window.
#include "game/actor.h"

#include "backends/headless/headless.h"
#include "game/maze.h"
#include "gfx/screen_buffer.h"

#include <gtest/gtest.h>

namespace {
struct Probe : ActiveActor {
    using ActiveActor::ActiveActor;
    void update() override {}
    using ActiveActor::wrapAndFace;
};

void expectBox(const Box& b, float l, float t, float r, float bo) {
    EXPECT_FLOAT_EQ(b.left, l);
    EXPECT_FLOAT_EQ(b.top, t);
    EXPECT_FLOAT_EQ(b.right, r);
    EXPECT_FLOAT_EQ(b.bottom, bo);
}

struct ScreenFixture : ::testing::Test {
    HeadlessPlatform headless;
    ScreenBuffer screen{headless, headless};
    void SetUp() override {
        screen.initialise();
        ASSERT_TRUE(screen.initialised);
        screen.fillRect(0, 0, screen.width, screen.height, 0);
    }
    // The left-most column of row y that is not 0, or -1.
    int firstInk(int y) {
        for (int x = 0; x < screen.width; ++x) {
            if (screen.pixel(x, y) != 0) {
                return x;
            }
        }
        return -1;
    }
};
} // namespace

TEST(Actor, BoxFollowsPositionAndInflation) {
    Image sprite(16, 12);
    Probe a(&sprite);
    a.setPosition(100, 50);
    expectBox(a.box, 92, 44, 108, 56);
    a.inflateBox(-2);
    expectBox(a.box, 94, 46, 106, 54);
    a.moveBy(1.5f, -1);
    expectBox(a.box, 95.5f, 45, 107.5f, 53);
    // A new sprite takes effect only at the next change of position.
    Image wide(30, 30);
    a.setSprite(&wide);
    expectBox(a.box, 95.5f, 45, 107.5f, 53);
    a.moveBy(0, 0);
    expectBox(a.box, 86.5f, 34, 116.5f, 64);
}

TEST_F(ScreenFixture, DrawTruncatesTowardZero) {
    Image sprite(9, 4);
    sprite.fillRect(0, 0, 9, 4, 7);
    Probe p(&sprite);
    struct Case {
        float x;
        int column; // where the sprite's left edge lands (-1: clipped by one)
    };
    // x - 4.5 truncates toward zero: 3 - 4.5 = -1.5 -> -1, 4.2 - 4.5 = -0.3 -> 0.
    const Case cases[] = {{3, -1}, {4.2f, 0}, {100.9f, 96}};
    for (const Case& c : cases) {
        screen.fillRect(0, 0, screen.width, screen.height, 0);
        p.setPosition(c.x, 50);
        p.draw(screen);
        const int visibleFrom = std::max(c.column, 0);
        EXPECT_EQ(firstInk(48), visibleFrom) << c.x;
        int width = 0;
        for (int x = 0; x < screen.width; ++x) {
            width += screen.pixel(x, 48) == 7;
        }
        EXPECT_EQ(width, 9 + std::min(c.column, 0)) << c.x;
    }
    // A sprite 16 x 12 at (100, 50) has its top-left pixel at (92, 44).
    Image big(16, 12);
    big.fillRect(0, 0, 16, 12, 9);
    Probe q(&big);
    screen.fillRect(0, 0, screen.width, screen.height, 0);
    q.setPosition(100, 50);
    q.draw(screen);
    EXPECT_EQ(screen.pixel(92, 44), 9);
    EXPECT_EQ(screen.pixel(91, 44), 0);
    EXPECT_EQ(screen.pixel(92, 43), 0);
}

TEST_F(ScreenFixture, BlinkingDrawsEverySecondFrameAndHiddenOnesStillToggle) {
    Image sprite(2, 2);
    sprite.fillRect(0, 0, 2, 2, 5);
    Probe p(&sprite);
    p.setPosition(50, 50);
    auto drawnNow = [&] {
        screen.fillRect(0, 0, screen.width, screen.height, 0);
        p.draw(screen);
        return screen.pixel(49, 49) == 5;
    };
    EXPECT_TRUE(drawnNow());
    p.blinking = true;
    EXPECT_FALSE(drawnNow()); // the first frame after blinking starts is hidden
    EXPECT_TRUE(drawnNow());
    EXPECT_FALSE(drawnNow());
    p.blinking = false;
    EXPECT_TRUE(drawnNow());
    EXPECT_FALSE(p.blinkPhase);

    // Invisible or dead actors draw nothing, but the phase still advances.
    for (int variant = 0; variant < 2; ++variant) {
        Probe hidden(&sprite);
        hidden.setPosition(50, 50);
        hidden.visible = variant != 0;
        hidden.removalPending = variant == 1;
        hidden.blinking = true;
        screen.fillRect(0, 0, screen.width, screen.height, 0);
        hidden.draw(screen);
        EXPECT_TRUE(hidden.blinkPhase);
        hidden.draw(screen);
        EXPECT_FALSE(hidden.blinkPhase);
        EXPECT_EQ(screen.pixel(49, 49), 0);
    }
}

TEST(ActiveActor, TunnelEndsWrapOnlyOutwardsAndTheSpriteFollowsTheHeading) {
    Image up(2, 2), right(4, 4), down(6, 6), left(8, 8);
    Image* const sprites[4] = {&up, &right, &down, &left};
    const Maze maze;
    Probe walker(sprites, maze);
    struct Case {
        float x;
        Vec2 heading;
        float xAfter;
        Image* sprite;
    };
    const Case cases[] = {
        {Maze::tunnelRightEnd, {1, 0}, Maze::tunnelLeftEnd, &right},
        {Maze::tunnelRightEnd, {-1, 0}, Maze::tunnelRightEnd, &left},
        {Maze::tunnelLeftEnd, {-0.5f, 0}, Maze::tunnelLanding, &left},
        {Maze::tunnelLeftEnd, {1, 0}, Maze::tunnelLeftEnd, &right},
        {100, {0, 1}, 100, &down},
        {100, {0, -1}, 100, &up},
        {100, {1, 1}, 100, &down}, // a vertical heading wins
    };
    for (const Case& c : cases) {
        walker.setPosition(c.x, 128);
        walker.wrapAndFace(c.heading);
        EXPECT_EQ(walker.position.x, c.xAfter) << c.x;
        EXPECT_EQ(walker.sprite, c.sprite) << c.x;
        // The rectangle is the sprite's, shrunk by 2 on every side.
        EXPECT_FLOAT_EQ(walker.box.right - walker.box.left, float(c.sprite->width) - 4) << c.x;
    }
}
