// Blit speed beside memcpy of the same number of bytes: the full opaque background into the
// 424 x 271 frame buffer, and a 24 x 24 sprite with transparent pixels.
#include "gfx/image.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {
void fillPattern(Image& image, bool withHoles) {
    for (int i = 0; i < image.width * image.height; ++i) {
        const auto v = static_cast<std::uint8_t>((i * 7) % 200);
        image.pixels[i] = withHoles && (i % 3 == 0) ? transparentIndex : v;
    }
}

void BM_BlitBackground(benchmark::State& state) {
    Image frame(424, 271), background(421, 271);
    fillPattern(background, false);
    for (auto _ : state) {
        frame.blit(background, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 421 * 271);
}

void BM_MemcpyBackground(benchmark::State& state) {
    std::vector<std::uint8_t> from(421 * 271), to(424 * 271);
    for (auto _ : state) {
        for (int y = 0; y < 271; ++y) {
            std::memcpy(to.data() + y * 424, from.data() + y * 421, 421);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 421 * 271);
}

void BM_BlitSprite(benchmark::State& state) {
    Image frame(424, 271), sprite(24, 24);
    fillPattern(sprite, true);
    for (auto _ : state) {
        frame.blit(sprite, 170, 176);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 24 * 24);
}

void BM_MemcpySprite(benchmark::State& state) {
    std::vector<std::uint8_t> from(24 * 24), to(424 * 271);
    for (auto _ : state) {
        for (int y = 0; y < 24; ++y) {
            std::memcpy(to.data() + (176 + y) * 424 + 170, from.data() + y * 24, 24);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 24 * 24);
}
} // namespace

BENCHMARK(BM_MemcpyBackground);
BENCHMARK(BM_BlitBackground);
BENCHMARK(BM_MemcpySprite);
BENCHMARK(BM_BlitSprite);
