// The butterflies: the wait, becoming visible, the chase and flight rules, wandering, the
// choice of a direction by the value drawn, the contact limits, being eaten, catching the
// penguin (the sound asked for to its end), and the tunnel. The turn clock and the draws it
// takes are pinned by the recorded games of tests/checks.
#include "game/enemy.h"

#include "game/controller.h"
#include "game/counter.h"
#include "game/maze.h"
#include "game/player.h"
#include "game/random.h"
#include "gfx/resource_ids.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {
struct EnemyFixture : ::testing::Test {
    Maze maze;
    Image pUp{24, 24}, pRight{24, 24}, pDown{24, 24}, pLeft{24, 24};
    Image* const playerSprites[4] = {&pUp, &pRight, &pDown, &pLeft};
    Image eUp{17, 11}, eRight{17, 11}, eDown{17, 11}, eLeft{17, 11};
    Image* const enemySprites[4] = {&eUp, &eRight, &eDown, &eLeft};
    Controller keys;
    Player penguin{playerSprites, maze, keys};
    Counter score;
    GameRandom random;
    std::vector<SoundCue> sounds;

    std::unique_ptr<Enemy> fresh() {
        return std::make_unique<Enemy>(enemySprites, maze, penguin, score, random, sounds);
    }
    // A butterfly past its wait, its turn clock far from running out.
    std::unique_ptr<Enemy> active(float x, float y) {
        auto e = fresh();
        e->startDelay = Enemy::waitUpdates;
        e->turnCounter = 0;
        e->visible = true;
        e->setSprite(&eRight);
        e->inflateBox(-2);
        e->setPosition(x, y);
        return e;
    }
    void placePlayer(float x, float y, bool moved) {
        penguin.reset();
        if (moved) {
            penguin.inflateBox(-2);
        }
        penguin.setPosition(x, y);
    }
};
} // namespace

TEST_F(EnemyFixture, WaitsUnseenThenWandersUnseenThenShows) {
    const auto owned = fresh();
    Enemy& e = *owned;
    placePlayer(180, 127, false); // right on top of it the whole time
    for (int u = 1; u <= 200; ++u) {
        e.update();
        ASSERT_FLOAT_EQ(e.position.x, 180) << u;
        ASSERT_FLOAT_EQ(e.position.y, 127) << u;
        ASSERT_FALSE(e.visible) << u;
    }
    // Updates 201..220 move by the rules but stay invisible and harmless; 221 shows it.
    for (int u = 201; u <= 221; ++u) {
        placePlayer(e.position.x, e.position.y, false);
        e.update();
        ASSERT_FALSE(penguin.caught) << u;
        ASSERT_EQ(e.visible, u == 221) << u;
    }
    placePlayer(e.position.x, e.position.y, false);
    e.update(); // the 222nd update is the first that can touch him
    EXPECT_TRUE(penguin.caught);
}

TEST_F(EnemyFixture, ChaseAndFlightRules) {
    struct Case {
        float ex, ey, px, py;
        bool powered;
        float x, y, vx, vy; // after one update
        const char* what;
    };
    const Case cases[] = {
        {38, 100, 38, 200, false, 38, 101, 0, 1, "above: chases down"},
        {38, 100, 38, 200, true, 38, 99.5f, 0, -0.5f, "above, powered: flees up"},
        {118, 28, 118, 60, true, 118.5f, 28, 0.5f, 0, "no way up: wanders right, half speed"},
        {318, 200, 318, 50, false, 318, 199, 0, -1, "below: chases up"},
        {318, 200, 318, 50, true, 318, 200.5f, 0, 0.5f, "below, powered: flees down"},
        {100, 68, 200, 68, false, 101, 68, 1, 0, "left of: chases right"},
        {100, 68, 200, 68, true, 99.5f, 68, -0.5f, 0, "left of, powered: flees left"},
        {200, 68, 100, 68, false, 199, 68, -1, 0, "right of: chases left"},
        {200, 68, 100, 68, true, 200.5f, 68, 0.5f, 0, "right of, powered: flees right"},
        {178, 100, 178, 188, false, 178, 101, 0, 1, "only the first pixel counts"},
        {38.7f, 100, 38.2f, 200, false, 38.7f, 101, 0, 1, "columns compare truncated"},
        {38, 100, 39, 200, false, 38, 99, 0, -1, "another column: wanders up"},
    };
    for (const Case& c : cases) {
        auto e = active(c.ex, c.ey);
        // Wandering, where no rule applies, goes up in the left column and right elsewhere.
        e->preferredDirection = c.ex < 39 ? Vec2{0, -1} : Vec2{1, 0};
        placePlayer(c.px, c.py, true);
        penguin.powered = c.powered;
        e->update();
        EXPECT_FLOAT_EQ(e->position.x, c.x) << c.what;
        EXPECT_FLOAT_EQ(e->position.y, c.y) << c.what;
        EXPECT_FLOAT_EQ(e->velocity.x, c.vx) << c.what;
        EXPECT_FLOAT_EQ(e->velocity.y, c.vy) << c.what;
        EXPECT_EQ(e->blinking, c.powered) << c.what;
    }
    // Comparisons are strict: a hidden butterfly on the very spot of the penguin follows no
    // rule and wanders (up, here), though the pixel below is on the track.
    auto e = active(38, 100);
    e->visible = false;
    e->preferredDirection = {0, -1};
    placePlayer(38, 100, true);
    e->update();
    EXPECT_FLOAT_EQ(e->position.y, 99);
}

TEST_F(EnemyFixture, WanderingFollowsPreferenceThenMomentumElseRedraws) {
    placePlayer(318, 228, true); // far away, sharing no line
    struct Case {
        float x, y;     // where it stands, going right (1, 0)
        Vec2 prefers;   // before the update
        float ax, ay;   // where it stands after the update
        Vec2 preferred; // after it
        const char* what;
    };
    const Case cases[] = {
        {98, 68, {0, 1}, 98, 69, {0, 1}, "preferred way open: taken"},
        {110, 68, {0, 1}, 111, 68, {0, 1}, "preferred way into a wall: keeps going as it went"},
        // The first draw from seed 1 is 41: up.
        {180, 127, {1, 0}, 180, 127, {0, -1}, "both blocked: it stands and draws anew"},
    };
    for (const Case& c : cases) {
        auto e = active(c.x, c.y);
        e->preferredDirection = c.prefers;
        e->velocity = {1, 0};
        random = GameRandom(1);
        e->update();
        EXPECT_FLOAT_EQ(e->position.x, c.ax) << c.what;
        EXPECT_FLOAT_EQ(e->position.y, c.ay) << c.what;
        EXPECT_FLOAT_EQ(e->preferredDirection.x, c.preferred.x) << c.what;
        EXPECT_FLOAT_EQ(e->preferredDirection.y, c.preferred.y) << c.what;
    }
}

TEST_F(EnemyFixture, ChooseDirectionByTheValueDrawn) {
    struct Case {
        int r;
        float vx, vy, x, y; // velocity and position when it chooses
        float px, py;       // preferred direction afterwards (starting from (9, 9))
    };
    const Case cases[] = {
        {0, 1, 0, 100, 68, 0, -1},
        {8190, 1, 0, 100, 68, 0, -1},
        {8191, 1, 0, 100, 68, 1, 0},
        {16381, 1, 0, 100, 68, 1, 0},
        {16382, 1, 0, 100, 68, 0, 1},
        {24572, 1, 0, 100, 68, 0, 1},
        {24573, -1, 0, 100, 68, -1, 0},
        {32763, -1, 0, 100, 68, -1, 0},
        {32764, 1, 0, 100, 68, 9, 9},
        {32767, 1, 0, 100, 68, 9, 9},
        // Turning back is refused while the way ahead is open at full speed...
        {0, 0, 1, 38, 100, 9, 9},
        {8191, -1, 0, 100, 68, 9, 9},
        {16382, 0, -1, 38, 100, 9, 9},
        {24573, 1, 0, 100, 68, 9, 9},
        // ...but not when the way ahead is closed, nor when fleeing at half speed.
        {0, 0, 1, 38, 228, 0, -1},
        {24573, 1, 0, 318, 68, -1, 0},
        {0, 0, 0.5f, 38, 100, 0, -1},
        {8191, -0.5f, 0, 100, 68, 1, 0},
    };
    for (const Case& c : cases) {
        auto e = active(c.x, c.y);
        e->velocity = {c.vx, c.vy};
        e->preferredDirection = {9, 9};
        e->chooseDirection(c.r);
        EXPECT_FLOAT_EQ(e->preferredDirection.x, c.px) << c.r << " v " << c.vx << "," << c.vy;
        EXPECT_FLOAT_EQ(e->preferredDirection.y, c.py) << c.r << " v " << c.vx << "," << c.vy;
    }
}

TEST_F(EnemyFixture, ContactLimits) {
    // Offsets of the penguin from the butterfly, with his rectangle shrunk (moved) or whole.
    struct Case {
        float dx, dy;
        bool moved, touch;
    };
    const Case cases[] = {
        {16.5f, 0, true, true},     {16.6f, 0, true, false},   {-16.5f, 0, true, true},
        {0, 13.5f, true, true},     {0, 13.6f, true, false},   {0, -13.5f, true, true},
        {16.5f, 13.5f, true, true}, {18.5f, 0, false, true},   {18.6f, 0, false, false},
        {0, 15.5f, false, true},    {0, -15.6f, false, false},
    };
    for (const Case& c : cases) {
        auto e = active(100, 68);
        placePlayer(100 + c.dx, 68 + c.dy, c.moved);
        e->update();
        EXPECT_EQ(penguin.caught, c.touch) << c.dx << "," << c.dy << " moved " << c.moved;
        penguin.caught = false;
    }
    // An invisible butterfly never touches.
    auto hidden = active(100, 68);
    hidden->visible = false;
    placePlayer(100, 68, true);
    hidden->update();
    EXPECT_FALSE(penguin.caught);
}

TEST_F(EnemyFixture, EatenInPowerMode) {
    auto e = active(100, 68);
    auto other = active(100, 68);
    placePlayer(105, 70, true);
    penguin.powered = true;
    e->update();
    EXPECT_TRUE(e->removalPending);
    EXPECT_EQ(score.value(), 100);
    EXPECT_EQ(sounds, (std::vector<SoundCue>{{resource_ids::soundEaten, SoundMode::Async}}));
    other->update(); // the others go on: this one is eaten too
    EXPECT_EQ(score.value(), 200);
    EXPECT_FALSE(penguin.caught);
}

TEST_F(EnemyFixture, CatchingAsksForTheSoundToItsEnd) {
    auto e = active(100, 68);
    auto next = active(100, 68);
    placePlayer(100, 68, true);
    e->update();
    EXPECT_TRUE(penguin.caught);
    EXPECT_EQ(sounds, (std::vector<SoundCue>{{resource_ids::soundCaught, SoundMode::Sync}}));
    // The others do nothing more in this update.
    const float x = next->position.x;
    next->update();
    EXPECT_FLOAT_EQ(next->position.x, x);
    EXPECT_EQ(sounds.size(), 1u);
}

TEST_F(EnemyFixture, TunnelOnlyAtWholePixels) {
    placePlayer(179, 228, true);
    struct Case {
        float x, vx;
        int updates;
        float after;
    };
    const Case cases[] = {
        {1, -1, 2, 356},        // 0, put beyond the right end, which the next step enters
        {355.5f, 1, 3, 356.5f}, // misses 356.0 and is stopped at the track's end
        {0.5f, -1, 3, -0.5f},   // -0.5 truncates to column 0: it stops there
    };
    for (const Case& c : cases) {
        auto e = active(c.x, 128);
        e->velocity = {c.vx, 0};
        e->preferredDirection = {c.vx, 0};
        for (int u = 0; u < c.updates; ++u) {
            e->update();
        }
        EXPECT_FLOAT_EQ(e->position.x, c.after) << c.x << " " << c.vx;
        EXPECT_FLOAT_EQ(e->position.y, 128);
    }
}
