// The game's own speed: one World update on level 1 (2 butterflies) and on level 20 (21),
// beside an empty loop, and one whole frame composed into the frame buffer by World::render,
// beside a memcpy of a frame. The penguin is steered around the maze by a fixed pattern of
// keys; his lives are topped up and the level pinned so the measured load stays the same.
// Last, whole games through pingel-sim's engine. When the game's pictures are not built in,
// stand-ins of their sizes take their place.
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
