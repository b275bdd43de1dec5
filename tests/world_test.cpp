// The World's rules at their edges: the start sound, the supply of
// butterflies per level, extra lives, an eaten butterfly replaced at once, a catch and game
// over, the last item and a catch in one update, the banners, the drawing order and the
// blinking per rendered frame. Whole games are pinned by the recorded games of tests/checks.
// The pictures are the stand-ins of test_support.h, so a pixel of a rendered frame tells
// which picture lies on top.
#include "game/world.h"

#include "backends/headless/headless.h"
#include "game/enemy.h"
#include "game/pellet.h"
#include "game/player.h"
#include "gfx/resource_ids.h"
#include "gfx/screen_buffer.h"
#include "platform/screen_size.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
namespace ids = resource_ids;

struct WorldFixture : ::testing::Test {
    HeadlessPlatform h; // the stand-in pictures, and the frames rendered
    ScreenBuffer screen{h, h};
    std::unique_ptr<World> world;
    std::vector<SoundCue> heard; // every sound the updates asked for, in order

    void SetUp() override {
        installStandInArt(h);
        world = fresh();
    }
    std::unique_ptr<World> fresh() { return std::make_unique<World>(1000, h); }
    void run(int updates) {
        for (int i = 0; i < updates; ++i) {
            world->update({});
            heard.insert(heard.end(), world->sounds.begin(), world->sounds.end());
        }
    }
    std::vector<Enemy*> enemies() { return listed<Enemy>(world->enemyList); }
    // A butterfly that can touch the penguin now, placed on him.
    Enemy* onThePlayer(Enemy* e) {
        e->visible = true;
        e->startDelay = Enemy::waitUpdates;
        e->setPosition(world->player->position.x, world->player->position.y);
        return e;
    }
    int level() const { return world->levelDisplay->value(); }
    int lives() const { return world->livesDisplay->value(); }
    std::uint8_t pixelAt(int x, int y) const {
        return h.lastFrame.at(static_cast<std::size_t>(y) * screen_size::width +
                              static_cast<std::size_t>(x));
    }
    int soundsOf(int id) const {
        int n = 0;
        for (const SoundCue& s : heard) {
            n += s.id == id ? 1 : 0;
        }
        return n;
    }
};
} // namespace

TEST_F(WorldFixture, TheStartSoundPlaysOnceAtTheFirstUpdateAndNeverInAFrozenGame) {
    run(7);
    EXPECT_FALSE(world->stalled); // nothing held the program still
    EXPECT_EQ(heard, (std::vector<SoundCue>{{ids::soundStart, SoundMode::Async}}));

    world = fresh();
    world->gameOver = true;
    run(10);
    EXPECT_EQ(heard.size(), 1u);
    EXPECT_EQ(world->enemyList.size(), 0);
    EXPECT_EQ(world->pelletList.size(), 98);
}

TEST_F(WorldFixture, ButterfliesPerLevelArriveOnePerUpdate) {
    for (int level : {1, 2, 5, 20, 40}) {
        world = fresh();
        world->levelDisplay->set(level);
        for (int u = 1; u <= level + 4; ++u) {
            world->update({});
            ASSERT_EQ(world->enemyList.size(), std::min(u, level + 1)) << "level " << level;
        }
    }
}

TEST_F(WorldFixture, AnExtraLifeAboveEachMultipleOf10000) {
    run(1); // the penguin eats the pellet beside his start: score 5
    struct Step {
        int score;   // shown score set before the update
        int lives;   // shown lives after it
        int awarded; // extra lives so far
    };
    const Step steps[] = {
        {10000, 3, 0},
        {10001, 4, 1},
        {15000, 4, 1},
        {20000, 4, 1},
        {20005, 5, 2},
        // A jump over several multiples gives one life per update.
        {55000, 6, 3},
        {55000, 7, 4},
        {55000, 8, 5},
        {55000, 8, 5},
    };
    for (const Step& s : steps) {
        world->scoreDisplay->set(s.score);
        run(1);
        EXPECT_EQ(lives(), s.lives) << s.score;
        EXPECT_EQ(world->extraLifeCounter.value(), s.awarded) << s.score;
    }
}

TEST_F(WorldFixture, AnEatenButterflyIsReplacedInTheSameUpdate) {
    run(2);
    enemies()[0]->setPosition(38, 28); // out of the way
    onThePlayer(enemies()[1]);
    world->player->powerUp();
    run(1);
    EXPECT_EQ(soundsOf(ids::soundEaten), 1);
    const std::vector<Enemy*> after = enemies();
    ASSERT_EQ(after.size(), 2u);
    // The newcomer, listed first, waits unseen at the centre.
    EXPECT_EQ(after[0]->startDelay, 0);
    EXPECT_FALSE(after[0]->visible);
    EXPECT_FLOAT_EQ(after[0]->position.x, 180);
}

// The recorded games pin where everything stands after a catch; here: the stall the driver
// is told of, the butterflies all gone, and the frozen board with its banner.
TEST_F(WorldFixture, CaughtThreeTimesThenGameOver) {
    run(2);
    for (int catchNo = 1; catchNo <= 4; ++catchNo) {
        world->player->setPosition(178, 100); // no pellet within reach here
        onThePlayer(enemies().at(0));
        world->stalled = false;
        run(1);
        EXPECT_EQ(soundsOf(ids::soundCaught), catchNo);
        EXPECT_TRUE(world->stalled); // told even at game over
        EXPECT_EQ(world->gameOver, catchNo == 4);
        EXPECT_EQ(lives(), std::max(3 - catchNo, 0));
        if (catchNo < 4) {
            EXPECT_EQ(world->enemyList.size(), 0); // the one supplied in this update too
            run(1);
        }
    }
    const float x = world->player->position.x;
    const std::size_t sounds = heard.size();
    run(50);
    EXPECT_FLOAT_EQ(world->player->position.x, x);
    EXPECT_EQ(heard.size(), sounds);
    world->render(screen);
    EXPECT_EQ(pixelAt(100, 63), gameOverInk);
    EXPECT_EQ(pixelAt(255, 76), gameOverInk);
    EXPECT_NE(pixelAt(256, 76), gameOverInk);
}

TEST_F(WorldFixture, TheLastPelletAndACatchInOneUpdate) {
    for (int spare : {2, 0}) {
        world = fresh();
        world->livesDisplay->set(spare);
        run(2);
        std::vector<Pellet*> pellets = listed<Pellet>(world->pelletList);
        for (std::size_t i = 1; i < pellets.size(); ++i) {
            pellets[i]->removalPending = true;
        }
        for (PowerPill* p : listed<PowerPill>(world->pillList)) {
            p->removalPending = true;
        }
        world->player->setPosition(pellets[0]->position.x, pellets[0]->position.y);
        onThePlayer(enemies()[0]);
        run(1);
        // The next level is laid out first, then the catch is handled on it.
        EXPECT_EQ(level(), 2) << spare;
        EXPECT_EQ(world->pelletList.size(), 98) << spare;
        EXPECT_EQ(world->gameOver, spare == 0) << spare;
        EXPECT_EQ(lives(), spare == 0 ? 0 : spare - 1) << spare;
    }
}

TEST_F(WorldFixture, LevelBanners) {
    struct Case {
        int level;
        std::uint8_t ink;
    };
    const Case cases[] = {{1, backgroundInk},  {2, bannerInk + 0},  {3, bannerInk + 1},
                          {9, bannerInk + 7},  {10, bannerInk + 8}, {11, bannerInk + 8},
                          {250, bannerInk + 8}};
    for (const Case& c : cases) {
        world->levelDisplay->set(c.level);
        world->render(screen);
        EXPECT_EQ(pixelAt(58, 260), c.ink) << c.level;
        EXPECT_EQ(pixelAt(322, 269), c.ink) << c.level;
        EXPECT_EQ(pixelAt(57, 260), backgroundInk) << c.level;
    }
}

TEST_F(WorldFixture, DrawingOrder) {
    run(3);
    // Put one of each kind at one spot; then take the top one away, one after another.
    const float x = 178, y = 100; // no pellet of the board near
    PowerPill* pill = listed<PowerPill>(world->pillList)[0];
    Pellet* pellet = listed<Pellet>(world->pelletList)[0];
    Enemy* oldest = enemies()[1];
    Enemy* newest = enemies()[0];
    pill->setPosition(x, y);
    pellet->setPosition(x, y);
    world->player->setPosition(x, y);
    for (Enemy* e : {oldest, newest}) {
        e->visible = true;
        e->setPosition(x, y);
    }
    newest->setSprite(world->enemyImages[0].get()); // tell the two butterflies apart
    struct Step {
        ActiveActor* hide; // made invisible before the render (null: none)
        std::uint8_t top;
    };
    const Step steps[] = {
        {nullptr, enemyInk + 0}, // the newest butterfly is drawn last
        {newest, enemyInk + 1},  {oldest, playerInk + 1}, {world->player, pelletInk},
        {pellet, pillInk},       {pill, backgroundInk},
    };
    for (const Step& s : steps) {
        if (s.hide != nullptr) {
            s.hide->visible = false;
        }
        world->render(screen);
        EXPECT_EQ(pixelAt(int(x), int(y)), s.top);
    }
    // The displays come after every actor, the game-over banner after everything.
    oldest->visible = true;
    oldest->setPosition(389, 99);
    world->scoreDisplay->set(0);
    world->render(screen);
    EXPECT_EQ(pixelAt(386, 95), digitInk + 0);   // the score's 0, centred on 389
    EXPECT_EQ(pixelAt(372, 190), playerInk + 1); // the second life icon
    oldest->setPosition(150, 70);
    world->gameOver = true;
    world->render(screen);
    EXPECT_EQ(pixelAt(150, 70), gameOverInk);
}

TEST_F(WorldFixture, ButterfliesBlinkPerRenderedFrameInPowerMode) {
    run(2);
    Enemy* e = enemies()[0];
    e->visible = true;
    e->startDelay = Enemy::waitUpdates;
    e->setPosition(38, 100);
    world->player->setPosition(318, 228);
    world->player->powerUp();
    auto shownAt = [&] {
        world->render(screen);
        const std::uint8_t ink = pixelAt(int(e->position.x), int(e->position.y));
        return ink >= enemyInk && ink < enemyInk + 4;
    };
    // Phases follow renders, not updates: two updates between renders change nothing.
    const bool expected[] = {false, true, false, true, false};
    for (bool visibleNow : expected) {
        run(2);
        EXPECT_TRUE(e->blinking);
        EXPECT_EQ(shownAt(), visibleNow);
    }
}
