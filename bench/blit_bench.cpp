// Blit speed beside memcpy of the same number of bytes: the full opaque background into the
// 424 x 271 frame buffer, and a 24 x 24 sprite with transparent pixels.
#include "gfx/image.h"
#include "platform/screen_size.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {
using screen_size::height, screen_size::pitch, screen_size::width;

void fillPattern(Image& image, bool withHoles) {
    for (int i = 0; i < image.width * image.height; ++i) {
        const auto v = static_cast<std::uint8_t>((i * 7) % 200);
        image.pixels[i] = withHoles && (i % 3 == 0) ? transparentIndex : v;
    }
}

void BM_BlitBackground(benchmark::State& state) {
    Image frame(pitch, height), background(width, height);
    fillPattern(background, false);
    for (auto _ : state) {
        frame.blit(background, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * width * height);
}

void BM_MemcpyBackground(benchmark::State& state) {
    std::vector<std::uint8_t> from(width * height), to(pitch * height);
    for (auto _ : state) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(to.data() + y * pitch, from.data() + y * width, width);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * width * height);
}

void BM_BlitSprite(benchmark::State& state) {
    Image frame(pitch, height), sprite(24, 24);
    fillPattern(sprite, true);
    for (auto _ : state) {
        frame.blit(sprite, 170, 176);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 24 * 24);
}

void BM_MemcpySprite(benchmark::State& state) {
    std::vector<std::uint8_t> from(24 * 24), to(pitch * height);
    for (auto _ : state) {
        for (int y = 0; y < 24; ++y) {
            std::memcpy(to.data() + (176 + y) * pitch + 170, from.data() + y * 24, 24);
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
