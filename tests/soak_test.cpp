// A long soak over many games and levels with random keys: meant for the sanitizer build,
// where any use of a freed actor, any overrun of the frame buffer and any leak fails it.
// Besides the random play it clears boards early to climb the levels, grants points to pass
// extra-life marks, switches power mode on now and then, restarts in the middle of games,
// and draws one frame in sixteen, each game into the same frame buffer as under the driver.
#include "backends/headless/headless.h"
#include "game/player.h"
#include "game/world.h"
#include "gfx/resource_ids.h"
#include "gfx/screen_buffer.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

TEST(Soak, RandomPlayOverManyGamesAndLevels) {
    constexpr std::uint64_t totalUpdates = 200'000;
    HeadlessPlatform h;
    std::mt19937 chance(20240601);

    std::uint64_t updates = 0;
    int games = 0, restarts = 0, highestLevel = 1, mostLives = 0, eaten = 0;
    ScreenBuffer screen{h, h};
    std::unique_ptr<World> world;
    ArrowKeys keys;
    while (updates < totalUpdates) {
        world.reset();
        screen.release();
        world = std::make_unique<World>(static_cast<Millis>(chance()), h);
        ++games;
        const std::uint64_t restartAt = updates + 5000 + chance() % 40000;
        while (!world->gameOver && updates < totalUpdates && updates != restartAt) {
            if (updates % 25 == 0) {
                const unsigned held = chance() % 16;
                keys = {(held & 1u) != 0, (held & 2u) != 0, (held & 4u) != 0, (held & 8u) != 0};
            }
            if (chance() % 1500 == 0) { // clear the board: the next level comes this update
                world->pelletList.markAll();
                world->pillList.markAll();
            }
            if (chance() % 3000 == 0) { // power mode often enough to meet butterflies in it
                world->player->powerUp();
            }
            if (chance() % 2000 == 0) { // points enough to pass extra-life marks
                world->scoreDisplay->add(9000);
            }
            const int pillsBefore = world->pillList.size();
            const int levelBefore = world->levelDisplay->value();
            world->update(keys);
            ++updates;
            // Sound 143 is a pill or a butterfly eaten; the pills are counted by the list.
            int bites = 0;
            for (const SoundCue& s : world->sounds) {
                bites += s.id == resource_ids::soundEaten ? 1 : 0;
            }
            const int level = world->levelDisplay->value();
            if (level == levelBefore) {
                eaten += bites - (pillsBefore - world->pillList.size());
            }
            highestLevel = std::max(highestLevel, level);
            mostLives = std::max(mostLives, world->livesDisplay->value());
            const World& w = *world;
            ASSERT_EQ(w.allObjects.size(),
                      1 + w.enemyList.size() + w.pelletList.size() + w.pillList.size())
                << "update " << updates;
            ASSERT_LE(w.enemyList.size(), level + 1) << "update " << updates;
            ASSERT_LE(w.pelletList.size(), 98);
            ASSERT_LE(w.pillList.size(), 4);
            if (updates % 16 == 0) {
                world->render(screen);
            }
        }
        restarts += world->gameOver ? 0 : 1;
    }
    world.reset();
    screen.release();
    EXPECT_EQ(h.framesAlive, 0);
    // The soak went where it was meant to go.
    std::printf("soak: %d games (%d restarted), up to level %d, up to %d lives, %d eaten\n", games,
                restarts, highestLevel, mostLives, eaten);
    EXPECT_GE(games, 10);
    EXPECT_GE(restarts, 1);
    EXPECT_GE(highestLevel, 5);
    EXPECT_GE(mostLives, 4);
    EXPECT_GE(eaten, 1);
}
