// The sheet is laid out at one pixel per image pixel with a flowing placement (id label
// above each image), then enlarged three times while the palette turns indices into
// colours; index 236 becomes a checkerboard of two greys, one square per image pixel.
// The scene is a ScreenBuffer frame on the headless platform: background, pills, pellets,
// the penguin at his start, two butterflies, the three counters and the level-2 banner.
#include "tools/assetgen/sheets.h"

#include "backends/headless/headless.h"
#include "game/actor.h"
#include "game/counter.h"
#include "game/level_layout.h"
#include "gfx/resource_ids.h"
#include "gfx/screen_buffer.h"
#include "platform/screen_size.h"
#include "tools/assetgen/font.h"
#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"
#include "tools/assetgen/pixel_art.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace assetgen {

Palette screenPalette(HeadlessPlatform& headless) {
    ScreenBuffer screen(headless, headless);
    screen.initialise();
    return screen.palette;
}

namespace {

constexpr int sheetScale = 3, sceneScale = 2;
constexpr int sheetWidth = 560, margin = 6, labelHeight = 11;
constexpr std::uint8_t sheetPaper = ink::frost, labelInk = ink::ink;
constexpr Colour checkerLight{224, 224, 224}, checkerDark{176, 176, 176};

bool writePng(const std::string& path, const Image& image, const Palette& palette, int scale) {
    const int w = image.width * scale, h = image.height * scale;
    std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int sx = x / scale, sy = y / scale;
            const std::uint8_t index = image.pixel(sx, sy);
            const Colour c = index == ink::transparent
                                 ? ((sx + sy) % 2 == 0 ? checkerLight : checkerDark)
                                 : palette[index];
            std::uint8_t* p = &rgb[(std::size_t(y) * w + x) * 3];
            p[0] = c.red;
            p[1] = c.green;
            p[2] = c.blue;
        }
    }
    if (stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3) == 0) {
        std::fprintf(stderr, "pingel-assetgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

bool writeSheet(const std::string& path, HeadlessPlatform& headless) {
    // Place every image: the background and the panel strip side by side, then the rest
    // flowing left to right, then the palette.
    struct Placed {
        int id, x, y;
        std::unique_ptr<Image> image;
    };
    std::vector<Placed> placed;
    std::vector<int> order;
    for (bool tall : {true, false}) {
        for (const PictureSpec& picture : pictureInventory()) {
            if ((picture.height > 100) == tall) {
                order.push_back(picture.id);
            }
        }
    }
    int x = margin, y = margin, rowHeight = 0;
    for (const int id : order) {
        auto image = std::make_unique<Image>(headless, id);
        const int w = std::max(image->width, textWidth(std::to_string(id)));
        if (x + w + margin > sheetWidth) {
            x = margin;
            y += rowHeight + margin;
            rowHeight = 0;
        }
        placed.push_back({id, x, y, std::move(image)});
        x += w + margin;
        rowHeight = std::max(rowHeight, labelHeight + placed.back().image->height);
    }
    const int swatch = 8, perRow = 32;
    const int paletteTop = y + rowHeight + margin + labelHeight;
    const int height = paletteTop + (paletteSize + perRow - 1) / perRow * swatch + margin;

    Image sheet(sheetWidth, height);
    sheet.fillRect(0, 0, sheetWidth, height, sheetPaper);
    for (const Placed& p : placed) {
        drawText(sheet, p.x, p.y, std::to_string(p.id), labelInk);
        sheet.fillRect(p.x, p.y + labelHeight, p.image->width, p.image->height, ink::transparent);
        sheet.blit(*p.image, p.x, p.y + labelHeight);
    }
    drawText(sheet, margin, paletteTop - labelHeight, "139: palette", labelInk);
    for (int i = 0; i < paletteSize; ++i) {
        sheet.fillRect(margin + (i % perRow) * swatch, paletteTop + (i / perRow) * swatch,
                       swatch - 1, swatch - 1, static_cast<std::uint8_t>(i));
    }
    return writePng(path, sheet, screenPalette(headless), sheetScale);
}

bool writeScene(const std::string& path, HeadlessPlatform& headless) {
    ScreenBuffer screen(headless, headless);
    screen.initialise();
    if (!screen.initialised) {
        std::fprintf(stderr, "pingel-assetgen: no palette for the scene\n");
        return false;
    }
    const Resources& r = headless;
    Image background(r, resource_ids::background), pellet(r, resource_ids::pellet),
        pill(r, resource_ids::pill), penguinRight(r, resource_ids::playerSprites[1]),
        butterflyDown(r, resource_ids::enemySprites[2]),
        butterflyLeft(r, resource_ids::enemySprites[3]), banner(r, resource_ids::levelBanners[0]);
    std::vector<std::unique_ptr<Image>> digits;
    Image* digitPointers[10];
    for (int d = 0; d < 10; ++d) {
        digits.push_back(std::make_unique<Image>(headless, resource_ids::digitZero + d));
        digitPointers[d] = digits.back().get();
    }

    screen.draw(background, 0, 0);
    // The actors in the game's drawing order: pills, pellets, the penguin, butterflies.
    auto drawActor = [&](Image& sprite, ItemPosition at) {
        Actor actor(&sprite);
        actor.setPosition(at.x, at.y);
        actor.draw(screen);
    };
    for (const ItemPosition& at : level_layout::pills) {
        drawActor(pill, at);
    }
    for (const ItemPosition& at : level_layout::pellets) {
        drawActor(pellet, at);
    }
    drawActor(penguinRight, {179, 188});
    drawActor(butterflyDown, {98, 140});
    drawActor(butterflyLeft, {290, 68});

    // The counters as the World sets them up: score, level 2, three spare lives.
    CounterDisplay score(digitPointers), level(digitPointers);
    CounterDisplay lives(&penguinRight, 6);
    score.setPosition(389, 95);
    score.spacing = 1;
    score.alignment = CounterDisplay::centred;
    score.set(1485);
    level.setPosition(389, 145);
    level.spacing = 1;
    level.alignment = CounterDisplay::centred;
    level.set(2);
    lives.setPosition(348, 190);
    lives.spacing = 0;
    lives.alignment = CounterDisplay::fromLeft;
    lives.set(3);
    score.draw(screen);
    level.draw(screen);
    lives.draw(screen);
    screen.draw(banner, 58, 260);

    Image frame(screen_size::width, screen_size::height);
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            frame.pixels[y * frame.width + x] = screen.pixels[y * screen.width + x];
        }
    }
    return writePng(path, frame, screen.palette, sceneScale);
}

} // namespace assetgen
