// The game's own speed: one World update on level 1 (2 butterflies) and on level 20 (21),
// beside an empty loop, and one whole frame composed into the frame buffer by World::render,
// beside a memcpy of a frame. The penguin is steered around the maze by a fixed pattern of
// keys; his lives are topped up and the level pinned so the measured load stays the same.
// Then whole games through pingel-sim's engine, and a whole game re-run from its replay.
// When the game's pictures are not built in, stand-ins of their sizes take their place.
#include "backends/headless/headless.h"
#include "game/world.h"
#include "gfx/resource_ids.h"
#include "gfx/screen_buffer.h"
#include "platform/screen_size.h"
#include "tests/test_support.h"
#include "tools/sim.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {
namespace ids = resource_ids;
constexpr int frameBytes = screen_size::pitch * screen_size::height;

void installArtIfMissing(HeadlessPlatform& h) {
    if (h.resource(ResourceType::RcData, ids::background).empty() ||
        h.resource(ResourceType::Bitmap, ids::palette).empty()) {
        installStandInArt(h);
    }
}

// A World in play on `level`, its butterflies out and about.
struct Game {
    HeadlessPlatform headless;
    ScreenBuffer screen{headless, headless};
    std::unique_ptr<World> world;
    ArrowKeys keys;
    std::int32_t level;
    int tick = 0;

    explicit Game(int pinnedLevel) : level(pinnedLevel) {
        installArtIfMissing(headless);
        world = std::make_unique<World>(0, headless);
        world->levelDisplay->set(level);
        for (int i = 0; i < 400; ++i) {
            step();
        }
    }
    void step() {
        // A new arrow every 64 updates: left, up, right, down, in turn.
        if ((tick & 63) == 0) {
            static constexpr ArrowKeys turn[] = {
                {.left = true}, {.up = true}, {.right = true}, {.down = true}};
            keys = turn[(tick >> 6) & 3];
        }
        ++tick;
        world->update(keys);
        if (world->levelDisplay->value() != level) {
            world->levelDisplay->set(level);
        }
        if (world->livesDisplay->value() < 2) {
            world->livesDisplay->set(3);
        }
    }
};

void BM_EmptyLoop(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(++i);
    }
}

void worldUpdate(benchmark::State& state, int level) {
    Game game(level);
    for (auto _ : state) {
        game.step();
    }
    state.counters["enemies"] = game.world->enemyList.size();
    state.counters["updates/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_WorldUpdateLevel1(benchmark::State& state) {
    worldUpdate(state, 1);
}

void BM_WorldUpdateLevel20(benchmark::State& state) {
    worldUpdate(state, 20);
}

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<std::uint8_t> from(frameBytes), to(frameBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * frameBytes);
}

void BM_WorldRender(benchmark::State& state) {
    Game game(1);
    for (auto _ : state) {
        game.world->render(game.screen);
        benchmark::ClobberMemory();
    }
    state.counters["actors"] = game.world->allObjects.size();
    state.SetBytesProcessed(state.iterations() * frameBytes);
}
} // namespace

BENCHMARK(BM_EmptyLoop);
BENCHMARK(BM_WorldUpdateLevel1);
BENCHMARK(BM_WorldUpdateLevel20);
BENCHMARK(BM_MemcpyFrame);
BENCHMARK(BM_WorldRender);

namespace {
// Whole games through pingel-sim's engine (driver, clock, key script, World), without
// trace: World updates per second of processor time.
void BM_SimWholeGames(benchmark::State& state) {
    sim::Options options;
    std::string error;
    sim::parseArguments({"--until-game-over", "--keys",
                         "L:300 U:300 R:300 D:300 RU:500 LD:500 L:300 U:300 R:300 D:300"},
                        options, error);
    std::uint64_t updates = 0;
    Millis seed = 1;
    for (auto _ : state) {
        options.clockStart = seed++;
        std::FILE* out = std::tmpfile();
        sim::run(options, out, stderr);
        std::rewind(out);
        unsigned long long u = 0;
        if (std::fscanf(out, "u=%llu", &u) == 1) {
            updates += u;
        }
        std::fclose(out);
    }
    state.counters["updates/s"] = benchmark::Counter(double(updates), benchmark::Counter::kIsRate);
    state.counters["updates/game"] = double(updates) / double(state.iterations());
}
} // namespace

BENCHMARK(BM_SimWholeGames)->Unit(benchmark::kMillisecond);

namespace {
// Proving a score: a whole recorded game re-run from its replay as the portal does it (a
// fresh World, its pictures read, every update), in updates per second, to set beside
// BM_WorldUpdateLevel1's; and the same game's updates on a World built once, without the
// replay, which tells the replay's own cost from the game's (whose later levels have more
// butterflies than level 1). The game is played with the pattern of keys above until it ends.
struct RecordedGame {
    HeadlessPlatform headless;
    replay::Replay game;
    RecordedGame() {
        installArtIfMissing(headless);
        World world(12345, headless);
        for (int tick = 0; !world.gameOver && tick < 360'000; ++tick) {
            static constexpr ArrowKeys turn[] = {
                {.left = true}, {.up = true}, {.right = true}, {.down = true}};
            world.update(turn[(tick >> 6) & 3]);
        }
        game = replay::fromRecording(*world.recording(), world.score()->value(), 0, 0);
    }
    void count(benchmark::State& state) const {
        state.counters["updates/game"] = double(game.updates);
        state.counters["updates/s"] = benchmark::Counter(
            double(game.updates) * double(state.iterations()), benchmark::Counter::kIsRate);
    }
};

void BM_ReplayRun(benchmark::State& state) {
    const RecordedGame recorded;
    for (auto _ : state) {
        const replay::Outcome outcome = replay::run(recorded.game, recorded.headless);
        benchmark::DoNotOptimize(outcome.score);
    }
    recorded.count(state);
}

void BM_ReplayGameDirect(benchmark::State& state) {
    const RecordedGame recorded;
    std::vector<ArrowKeys> inputs;
    for (const replay::InputRun& r : recorded.game.runs) {
        inputs.insert(inputs.end(), r.count, replay::arrowsOf(r.arrows));
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto world = std::make_unique<World>(recorded.game.seed, recorded.headless);
        state.ResumeTiming();
        for (const ArrowKeys& keys : inputs) {
            world->update(keys);
        }
        benchmark::DoNotOptimize(world->score()->value());
        state.PauseTiming();
        world.reset();
        state.ResumeTiming();
    }
    recorded.count(state);
}
} // namespace

BENCHMARK(BM_ReplayRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayGameDirect)->Unit(benchmark::kMillisecond);
