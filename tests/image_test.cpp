// Image: construction pattern, fill and line clipping, and the transparent blit on every
// side.
#include "gfx/image.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// An Image with every pixel set to `value`.
void paint(Image& image, std::uint8_t value) {
    image.fillRect(0, 0, image.width, image.height, value);
}

std::vector<std::uint8_t> row(const Image& image, int y) {
    return {image.pixels + y * image.width, image.pixels + (y + 1) * image.width};
}
} // namespace

TEST(Image, ConstructorsDrawTheFramePattern) {
    for (auto [w, h] : {std::pair{16, 16}, std::pair{5, 3}}) {
        Image image(w, h);
        ASSERT_EQ(image.width, w);
        ASSERT_EQ(image.height, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                EXPECT_EQ(image.pixel(x, y), border ? 0 : 255) << x << "," << y;
            }
        }
        EXPECT_EQ(image.colour, 255);
        EXPECT_FALSE(image.borrowedPixels);
    }
    Image standard;
    EXPECT_EQ(standard.width, 16);
    EXPECT_EQ(standard.height, 16);
}

TEST(Image, FillRectClipsAndKeepsItsColour) {
    struct Case {
        int x, y, w, h;
        int expectedSet;
    };
    // On a 10 x 4 image.
    const Case cases[] = {
        {0, 0, 10, 4, 40}, // the whole image, last row and column included
        {8, 0, 10, 1, 2},  // runs off the right edge: the last two pixels of row 0
        {0, 3, 3, 9, 3},   // runs off the bottom
        {10, 0, 5, 5, 0},  // starts right of the image
        {0, 4, 5, 5, 0},   // starts below it
        {2, 1, 0, 2, 0},   // empty
        {2, 1, -3, 2, 0},  // negative size
        {-2, -1, 4, 3, 4}, // negative corner: only the part inside
    };
    for (const Case& c : cases) {
        Image image(10, 4);
        paint(image, 7);
        image.fillRect(c.x, c.y, c.w, c.h, 99);
        int set = 0;
        for (int i = 0; i < 40; ++i) {
            set += image.pixels[i] == 99;
        }
        EXPECT_EQ(set, c.expectedSet) << c.x << "," << c.y << " " << c.w << "x" << c.h;
        EXPECT_EQ(image.colour, 99);
    }
    Image image(10, 4);
    image.fillRect(8, 0, 10, 1, 3);
    EXPECT_EQ(image.pixel(7, 0), 0);
    EXPECT_EQ(image.pixel(8, 0), 3);
    EXPECT_EQ(image.pixel(9, 0), 3);
}

TEST(Image, LinesAreAxisParallelWithBothEnds) {
    Image image(12, 12);
    paint(image, 0);
    image.setColour(5);
    image.drawLine(5, 9, 5, 2); // vertical, given bottom-up
    image.drawLine(9, 4, 2, 4); // horizontal, given right to left
    image.drawLine(0, 0, 3, 3); // diagonal: nothing
    image.drawLine(11, 11, 11, 11);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool on = (x == 5 && y >= 2 && y <= 9) || (y == 4 && x >= 2 && x <= 9) ||
                            (x == 11 && y == 11);
            EXPECT_EQ(image.pixel(x, y), on ? 5 : 0) << x << "," << y;
        }
    }
    // Points outside are skipped, not written.
    image.drawLine(-3, 1, 20, 1);
    EXPECT_EQ(row(image, 1), std::vector<std::uint8_t>(12, 5));
}

TEST(Image, BlitClipsOnEverySideAndSkipsTransparency) {
    // A 6 x 8 source whose pixel (c, r) is 10 * r + c, in a 20 x 20 destination of 1s.
    Image source(6, 8);
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 6; ++c) {
            source.pixels[r * 6 + c] = static_cast<std::uint8_t>(10 * r + c);
        }
    }
    struct Case {
        int x, y;
        int drawn; // pixels changed
    };
    const Case cases[] = {
        {0, 0, 48}, {-3, 0, 24}, {17, 0, 24}, {0, -5, 18}, {0, 15, 30},  {-6, 0, 0},  {20, 0, 0},
        {0, -8, 0}, {0, 20, 0},  {-5, -7, 1}, {19, 19, 1}, {-100, 3, 0}, {3, 100, 0},
    };
    for (const Case& c : cases) {
        Image dest(20, 20);
        paint(dest, 1);
        dest.blit(source, c.x, c.y);
        int drawn = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                const int sc = x - c.x, sr = y - c.y;
                const bool inside = sc >= 0 && sc < 6 && sr >= 0 && sr < 8;
                const int expected = inside ? 10 * sr + sc : 1;
                EXPECT_EQ(dest.pixel(x, y), expected) << c.x << "," << c.y;
                drawn += inside;
            }
        }
        EXPECT_EQ(drawn, c.drawn) << c.x << "," << c.y;
    }

    // Index 236 leaves the destination alone; 0 and 255 are ordinary colours.
    Image sprite(3, 1);
    sprite.pixels[0] = 236;
    sprite.pixels[1] = 0;
    sprite.pixels[2] = 255;
    Image dest(3, 1);
    paint(dest, 9);
    dest.blit(sprite, 0, 0);
    EXPECT_EQ(row(dest, 0), (std::vector<std::uint8_t>{9, 0, 255}));
}
