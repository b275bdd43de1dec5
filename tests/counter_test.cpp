// Counters: values and wrapping, the integrity guard against an outside memory editor,
// and where the displays put their digits and icons.
#include "game/counter.h"

#include "backends/headless/headless.h"
#include "gfx/screen_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// Overwrites the number the way a memory editor does: it searches the object's bytes for
// the value it sees on screen (plus the offset it has worked out) and patches them.
static void patchLikeAMemoryEditor(Counter& c, std::int32_t stored, std::int32_t wanted) {
    auto* bytes = reinterpret_cast<unsigned char*>(&c);
    int patched = 0;
    for (std::size_t at = 0; at + sizeof stored <= sizeof c; ++at) {
        if (std::memcmp(bytes + at, &stored, sizeof stored) == 0) {
            std::memcpy(bytes + at, &wanted, sizeof wanted);
            ++patched;
        }
    }
    ASSERT_EQ(patched, 1) << "the number is stored once, in plain";
}

TEST(Counter, WrapsAndDetectsANumberChangedBehindItsBack) {
    for (int operation = 0; operation < 2; ++operation) {
        Counter score;
        score.add(500);
        score.value();
        EXPECT_FALSE(score.tampered());
        patchLikeAMemoryEditor(score, 501, 100000);
        if (operation == 0) {
            EXPECT_EQ(score.value(), 99999); // it goes on as usual, but the flag is up
        } else {
            score.add(5);
            EXPECT_EQ(score.value(), 100004);
        }
        EXPECT_TRUE(score.tampered());
        score.set(7); // repaired, but the finding stays until its owner clears it
        EXPECT_TRUE(score.tampered());
        score.clearTampered();
        EXPECT_FALSE(score.tampered());
    }
    // Honest use never raises it, over the whole range, and sums wrap instead of overflowing.
    Counter c;
    EXPECT_EQ(c.value(), 0);
    const struct {
        std::int32_t from, delta, to;
    } sums[] = {
        {0, 5, 5},
        {5, 100, 105},
        {105, -1, 104},
        {104, 0, 104},
        {-1, 1, 0},
        {1, -2, -1},
        {123456, 1, 123457},
        {INT32_MAX, 1, INT32_MIN},
        {INT32_MIN, -1, INT32_MAX},
    };
    for (const auto& sum : sums) {
        c.set(sum.from);
        EXPECT_EQ(c.value(), sum.from);
        c.add(sum.delta);
        EXPECT_EQ(c.value(), sum.to) << sum.from << " + " << sum.delta;
    }
    EXPECT_FALSE(c.tampered());
}

namespace {
struct DisplayFixture : ::testing::Test {
    HeadlessPlatform headless;
    std::unique_ptr<ScreenBuffer> screen = std::make_unique<ScreenBuffer>(headless, headless);
    std::vector<std::unique_ptr<Image>> digitStore;
    Image* digits[10]{};
    Image icon{24, 24};

    void SetUp() override {
        screen->initialise();
        for (int d = 0; d < 10; ++d) {
            // Digit d is a box of colour 10 + d; the 4 is 7 x 9, the others 6 x 8.
            digitStore.push_back(d == 4 ? std::make_unique<Image>(7, 9)
                                        : std::make_unique<Image>(6, 8));
            digitStore.back()->fillRect(0, 0, 7, 9, static_cast<std::uint8_t>(10 + d));
            digitStore.back()->fillRect(0, 0, 1, 9, static_cast<std::uint8_t>(100 + d));
            digits[d] = digitStore.back().get();
        }
        icon.fillRect(0, 0, 24, 24, 77);
        icon.fillRect(0, 0, 1, 24, 78);
    }
    // (x, colour) of every left edge in row y: digit d marks its first column with 100 + d,
    // an icon with 78.
    std::vector<std::pair<int, int>> starts(int y) {
        std::vector<std::pair<int, int>> out;
        for (int x = 0; x < screen->width; ++x) {
            const int p = screen->pixel(x, y);
            if (p >= 100 || p == 78) {
                out.emplace_back(x, p >= 100 ? p - 90 : p);
            }
        }
        return out;
    }
};
} // namespace

TEST_F(DisplayFixture, NumberDisplayPositions) {
    CounterDisplay score(digits);
    score.setPosition(389, 95);
    score.spacing = 1;
    score.alignment = CounterDisplay::centred;
    struct Case {
        std::int32_t value;
        int alignment;
        std::vector<std::pair<int, int>> expected;
    };
    const Case cases[] = {
        {0, CounterDisplay::centred, {{386, 10}}},
        {120, CounterDisplay::centred, {{379, 11}, {386, 12}, {393, 10}}},
        {120, CounterDisplay::fromLeft, {{389, 11}, {396, 12}, {403, 10}}},
        {120, CounterDisplay::fromRight, {{368, 11}, {375, 12}, {382, 10}}},
        {120, 7, {{389, 11}, {396, 12}, {403, 10}}},
        {44, CounterDisplay::centred, {{382, 14}, {389, 14}}},
    };
    for (const Case& c : cases) {
        screen->fillRect(0, 0, screen->width, screen->height, 0);
        score.set(c.value);
        score.alignment = c.alignment;
        score.draw(*screen);
        EXPECT_EQ(starts(95), c.expected) << c.value << " alignment " << c.alignment;
    }
    // The 4 advances by 7 like every digit and reaches one row lower.
    EXPECT_EQ(screen->pixel(383, 103), 14);
    EXPECT_EQ(screen->pixel(383, 104), 0);
}

TEST_F(DisplayFixture, IconDisplayPositionsAndLimits) {
    CounterDisplay lives(&icon, 6);
    lives.setPosition(348, 190);
    lives.spacing = 0;
    struct Case {
        std::int32_t value;
        std::vector<int> xs;
    };
    const Case cases[] = {{3, {348, 372, 396}},
                          {8, {348, 372, 396, 420}}, // 6 icons, clipped at the right edge
                          {0, {}},
                          {-2, {}}};
    for (const Case& c : cases) {
        screen->fillRect(0, 0, screen->width, screen->height, 0);
        lives.set(c.value);
        lives.draw(*screen);
        std::vector<int> xs;
        for (auto [x, colour] : starts(190)) {
            xs.push_back(x);
        }
        EXPECT_EQ(xs, c.xs) << c.value;
    }
    // Six icons at value 8: the sixth starts at 348 + 5 * 24 = 468, outside the frame.
    lives.set(8);
    lives.alignment = CounterDisplay::fromRight;
    lives.setPosition(420, 10);
    screen->fillRect(0, 0, screen->width, screen->height, 0);
    lives.draw(*screen);
    EXPECT_EQ(screen->pixel(420 - 6 * 24, 10), 78);
    EXPECT_EQ(screen->pixel(420 - 6 * 24 - 1, 10), 0);
}
