// Pellets and power pills: the eating window around the player, several items in one
// update, the pill's sound and power mode.
#include "game/pellet.h"

#include "game/controller.h"
#include "game/counter.h"
#include "game/maze.h"
#include "game/player.h"
#include "gfx/resource_ids.h"

#include <gtest/gtest.h>

namespace {
struct EatFixture : ::testing::Test {
    Image up{24, 24}, right{24, 24}, down{24, 24}, left{24, 24};
    Image* const sprites[4] = {&up, &right, &down, &left};
    Image pelletImage{6, 6}, pillImage{18, 18};
    Maze maze;
    Controller keys;
    Player penguin{sprites, maze, keys};
    Counter score;
    std::vector<SoundCue> sounds;

    Pellet pellet(float x, float y) { return Pellet(&pelletImage, x, y, penguin, score); }
    PowerPill pill(float x, float y) { return PowerPill(&pillImage, x, y, penguin, sounds); }
    // The penguin after an update with a direction: his rectangle is shrunk by 2.
    void standMoved(float x, float y) {
        penguin.setSprite(&right);
        penguin.inflateBox(-2);
        penguin.setPosition(x, y);
    }
    int shownScore() { return score.value(); }
};
} // namespace

TEST_F(EatFixture, PelletIsEatenInsideTheWindowOnly) {
    // A pellet at (57, 30); the window is x - 8 <= 57 <= x + 9, y - 9 <= 30 <= y + 9 after
    // his first move, and x - 10 .. x + 11, y - 11 .. y + 11 before it.
    struct Case {
        float x, y;
        bool moved, eaten;
    };
    const Case cases[] = {
        {48, 28, true, true},      {47, 28, true, false},    {65, 28, true, true},
        {66, 28, true, false},     {57, 21, true, true},     {57, 20, true, false},
        {57, 39, true, true},      {57, 39.5f, true, false}, {65.5f, 28, true, false},
        {46, 30, false, true},     {45, 30, false, false},   {67, 30, false, true},
        {68, 30, false, false},    {57, 19, false, true},    {57, 41, false, true},
        {57, 41.5f, false, false},
    };
    for (const Case& c : cases) {
        if (c.moved) {
            standMoved(c.x, c.y);
        } else {
            penguin.reset();
            penguin.setPosition(c.x, c.y);
        }
        Pellet item = pellet(57, 30);
        score.set(0);
        item.update();
        EXPECT_EQ(item.removalPending, c.eaten) << c.x << "," << c.y << " moved " << c.moved;
        EXPECT_EQ(shownScore(), c.eaten ? 5 : 0) << c.x << "," << c.y;
    }
}

TEST_F(EatFixture, EveryPelletInTheWindowIsEatenInOneUpdate) {
    standMoved(100, 188);
    Pellet a = pellet(95, 188), b = pellet(105, 190), far = pellet(120, 188);
    for (Pellet* p : {&a, &b, &far}) {
        p->update();
    }
    EXPECT_TRUE(a.removalPending);
    EXPECT_TRUE(b.removalPending);
    EXPECT_FALSE(far.removalPending);
    EXPECT_EQ(shownScore(), 10);
}

TEST_F(EatFixture, PillAsksForItsSoundAndPowersUpWithoutPoints) {
    standMoved(38, 30);
    PowerPill first = pill(38, 30);
    first.update();
    EXPECT_TRUE(first.removalPending);
    EXPECT_TRUE(penguin.powered);
    EXPECT_EQ(penguin.powerTicks, 400);
    EXPECT_EQ(shownScore(), 0);
    EXPECT_EQ(sounds, (std::vector<SoundCue>{{resource_ids::soundEaten, SoundMode::Async}}));

    // A second pill during power mode starts the 400 updates again.
    penguin.powerTicks = 10;
    PowerPill second = pill(40, 30);
    second.update();
    EXPECT_EQ(penguin.powerTicks, 400);
    // A pill out of reach stays.
    PowerPill distant = pill(318, 30);
    distant.update();
    EXPECT_FALSE(distant.removalPending);
}
