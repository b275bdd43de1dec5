// The frame buffer: palette from its bitmap, initialise once, present and the palette
// refresh, the 424-byte rows of which 421 pixels are shown, and release for a new game.
#include "gfx/screen_buffer.h"

#include "backends/headless/headless.h"
#include "gfx/resource_ids.h"
#include "test_support.h"

#include <gtest/gtest.h>

TEST(ScreenBuffer, NothingHappensUntilThePaletteExists) {
    HeadlessPlatform headless;
    headless.hideResource(ResourceType::Bitmap, resource_ids::palette);
    ScreenBuffer screen{headless, headless};
    EXPECT_TRUE(screen.borrowedPixels);
    screen.initialise();
    EXPECT_FALSE(screen.initialised);
    Image sprite(4, 4);
    screen.draw(sprite, 0, 0); // no memory yet: must not touch anything
    screen.present();
    EXPECT_EQ(headless.presentCount, 0);
    // Once the resource is there, the next attempt succeeds.
    headless.setResource(ResourceType::Bitmap, resource_ids::palette, makePaletteDib(236));
    screen.initialise();
    EXPECT_TRUE(screen.initialised);
    EXPECT_EQ(headless.framesAlive, 1);
}

TEST(ScreenBuffer, PaletteInitialiseAndPresent) {
    HeadlessPlatform h;
    h.setResource(ResourceType::Bitmap, resource_ids::palette, makePaletteDib(236));
    {
        ScreenBuffer screen{h, h};
        screen.initialise();
        ASSERT_TRUE(screen.initialised);
        EXPECT_EQ(screen.width, 424);
        EXPECT_EQ(h.realiseCount, 1);
        EXPECT_EQ(screen.palette[0], (Colour{0, 255, 0}));
        EXPECT_EQ(screen.palette[235], (Colour{235, 20, 117}));
        EXPECT_EQ(h.framePalette, screen.palette);
        std::uint8_t* memory = screen.pixels;
        screen.initialise(); // a second call does nothing
        EXPECT_EQ(screen.pixels, memory);
        EXPECT_EQ(h.realiseCount, 1);

        // Column 420 is the last one shown; 421-423 exist but are not; 424 is clipped.
        Image dot(1, 1);
        screen.fillRect(0, 0, screen.width, screen.height, 3);
        for (int x : {420, 421, 423, 424}) {
            dot.pixels[0] = static_cast<std::uint8_t>(x - 400);
            screen.draw(dot, x, 5);
        }
        EXPECT_EQ(screen.pixels[5 * 424 + 423], 23);
        EXPECT_EQ(screen.pixels[6 * 424 + 0], 3); // 424 did not wrap into the next row

        screen.paletteRefreshPending = true;
        screen.present();
        EXPECT_FALSE(screen.paletteRefreshPending);
        EXPECT_EQ(h.realiseCount, 2);
        screen.present();
        EXPECT_EQ(h.realiseCount, 2);
        EXPECT_EQ(h.presentCount, 2);
        ASSERT_EQ(h.lastFrameWidth, 421);
        ASSERT_EQ(h.lastFrameHeight, 271);
        EXPECT_EQ(h.lastFrame[5 * 421 + 420], 20);
        EXPECT_EQ(h.lastFrame[6 * 421 + 0], 3);

        // Released, it gives the memory back and starts over at the next initialise; a
        // refresh asked for meanwhile is kept.
        screen.paletteRefreshPending = true;
        screen.release();
        EXPECT_EQ(h.framesAlive, 0);
        EXPECT_FALSE(screen.initialised);
        EXPECT_EQ(screen.palette[0], (Colour{255, 0, 255}));
        EXPECT_TRUE(screen.paletteRefreshPending);
        screen.initialise();
        EXPECT_EQ(h.framesAlive, 1);
        EXPECT_EQ(h.realiseCount, 3);
    }
    EXPECT_EQ(h.framesAlive, 0); // the frame memory went back to the platform
}
