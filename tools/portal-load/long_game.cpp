// The looking-ahead player; see long_game.h.
#include "long_game.h"

#include "game/player.h"
#include "game/world.h"

#include <array>
#include <memory>

namespace {

// The game from its start up to `recording`'s end, then `arrows` for `ahead` updates:
// whether a life was lost (or the game ended) meanwhile, and the score at its end.
struct Outlook {
    bool lostLife = false;
    std::int32_t score = 0;
};

std::unique_ptr<World> replayed(const replay::Recording& recording, const Resources& resources) {
    auto world = std::make_unique<World>(recording.seed(), resources);
    for (const replay::InputRun& r : recording.runs()) {
        for (std::uint32_t i = 0; i < r.count; ++i) {
            world->update(replay::arrowsOf(r.arrows));
            world->stalled = false;
        }
    }
    return world;
}

Outlook lookAhead(const replay::Recording& recording, std::uint8_t arrows, std::uint32_t ahead,
                  const Resources& resources) {
    auto world = replayed(recording, resources);
    const std::int32_t lives = world->livesDisplay->value();
    for (std::uint32_t i = 0; i < ahead && !world->gameOver; ++i) {
        world->update(replay::arrowsOf(arrows));
        if (world->stalled || world->livesDisplay->value() < lives) {
            return {true, world->score()->value()};
        }
    }
    return {world->gameOver, world->score()->value()};
}

} // namespace

// Whether a butterfly is near the penguin, or the penguin stands still (against a wall):
// only then is it worth looking ahead.
bool needsThought(World& world, const Vec2& before) {
    const Vec2 at = world.player->position;
    if (at.x == before.x && at.y == before.y) {
        return true;
    }
    world.enemyList.rewind();
    while (ListedObject* item = world.enemyList.next()) {
        const Vec2 e = static_cast<Actor*>(item)->position;
        const float dx = e.x - at.x, dy = e.y - at.y;
        if (dx * dx + dy * dy < 90.0f * 90.0f) {
            return true;
        }
    }
    return false;
}

LongGame playLongGame(std::uint32_t seed, std::uint32_t variant, std::uint32_t updates,
                      const Resources& resources, std::uint32_t every, std::uint32_t ahead) {
    static constexpr std::array<std::uint8_t, 4> ways = {1, 4, 2, 8}; // left, up, right, down
    replay::Recording recording(seed);
    World live(seed, resources);
    std::uint8_t going = ways[variant % 4];
    std::uint32_t turn = variant / 4;
    Vec2 before{-1, -1};
    while (recording.updates() < updates && !live.gameOver) {
        std::uint8_t best = going;
        if (turn > 0) {
            // The opening: a turn chosen by the variant, whatever lies ahead.
            best = ways[turn % 4];
            turn /= 4;
        } else if (needsThought(live, before)) {
            Outlook chosen = lookAhead(recording, going, ahead, resources);
            for (const std::uint8_t way : ways) {
                if (way == going) {
                    continue;
                }
                const Outlook o = lookAhead(recording, way, ahead, resources);
                if ((chosen.lostLife && !o.lostLife) ||
                    (chosen.lostLife == o.lostLife && o.score > chosen.score)) {
                    chosen = o;
                    best = way;
                }
            }
        }
        going = best;
        before = live.player->position;
        for (std::uint32_t i = 0; i < every && recording.updates() < updates && !live.gameOver;
             ++i) {
            recording.add(replay::arrowsOf(going));
            live.update(replay::arrowsOf(going));
            live.stalled = false;
        }
    }
    return {recording, live.score()->value(), live.gameOver};
}
