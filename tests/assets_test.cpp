// The game's committed pictures, palette and sounds, as the game loads them: every picture
// as the tool drew it and with the colours its role allows, the palette through the frame
// buffer, the sounds' format and lengths, the maze walls clear of every track
// and every pellet and pill, and the encoder's stored form as golden cases. The files in resources/
// must also be exactly what the asset tool draws today.
#include "backends/headless/headless.h"
#include "game/level_layout.h"
#include "game/maze.h"
#include "gfx/resource_ids.h"
#include "gfx/screen_buffer.h"
#include "test_support.h"
#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"
#include "tools/assetgen/resource_files.h"
#include "tools/assetgen/rle_encoder.h"
#include "tools/assetgen/sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t floorWhite = 201, digitOrange = 186, see_through = transparentIndex;

// The banner texts by id, written out here independently of the tool's table.
struct ExpectedBanner {
    int id;
    const char* text;
};
// clang-format off
constexpr ExpectedBanner expectedBanners[] = {
    {167, "Du har l\xE4rt dig surfa"},
    {165, "Du har l\xE4rt dig HTML"},
    {161, "Du har l\xE4rt dig webbdesign"},
    {163, "Du har l\xE4rt dig dynamisk HTML"},
    {169, "Du har l\xE4rt dig ASP"},
    {168, "Du har l\xE4rt dig VB-script"},
    {164, "Du har l\xE4rt dig grundl\xE4ggande n\xE4tverk"},
    {162, "Du har l\xE4rt dig databaser"},
    {166, "Du har l\xE4rt dig SQL"},
};
// clang-format on

std::set<std::uint8_t> coloursOf(const Image& image) {
    const Bytes p = pixelsOf(image);
    return {p.begin(), p.end()};
}

std::uint32_t le(const std::span<const std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) {
        v = v << 8 | b[at + static_cast<std::size_t>(k)];
    }
    return v;
}
} // namespace

// Every picture loads through the game as the tool drew it (the tool holds each to its
// size), with the colours its role allows; every picture the game draws is among them.
TEST(Assets, EveryPictureLoadsAsDrawnWithTheColoursOfItsRole) {
    namespace ids = resource_ids;
    HeadlessPlatform headless;
    std::set<int> drawn;
    for (const assetgen::Picture& p : assetgen::drawPictures()) {
        drawn.insert(p.id);
        Image image(1, 1);
        ASSERT_TRUE(image.loadRle(headless, p.id)) << p.id;
        ASSERT_EQ(image.width, p.image->width) << p.id;
        ASSERT_EQ(image.height, p.image->height) << p.id;
        EXPECT_EQ(pixelsOf(image), pixelsOf(*p.image)) << p.id;
        const std::set<std::uint8_t> colours = coloursOf(image);
        // Indices above 236 have no colour in the palette.
        EXPECT_LE(*colours.rbegin(), see_through) << p.id;
        const bool digit = p.id >= ids::digitZero && p.id < ids::digitZero + 10;
        const bool banner = std::ranges::count(ids::levelBanners, p.id) == 1;
        if (digit) {
            // Orange on an opaque white box, so each digit paints over the last number.
            EXPECT_EQ(colours, (std::set<std::uint8_t>{digitOrange, floorWhite})) << p.id;
        } else if (banner) {
            // Dark text on the playfield's white, opaque.
            EXPECT_EQ(colours, (std::set<std::uint8_t>{assetgen::ink::ink, floorWhite})) << p.id;
        } else if (p.id == ids::background || p.id == ids::panelStrip) {
            EXPECT_EQ(colours.count(see_through), 0u) << p.id << " must be opaque";
        } else {
            // Sprites stand on a transparent ground: all four corners see through.
            const int w = image.width, h = image.height;
            for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
                EXPECT_EQ(image.pixel(x, y), see_through) << p.id << " at " << x << "," << y;
            }
            EXPECT_GT(colours.size(), 2u) << p.id;
        }
    }
    std::vector<int> used = {ids::background, ids::pellet, ids::pill, ids::gameOverBanner};
    for (int d = 0; d < 10; ++d) {
        used.push_back(ids::digitZero + d);
    }
    for (const auto& set :
         {std::span<const int>(ids::playerSprites), std::span<const int>(ids::enemySprites),
          std::span<const int>(ids::levelBanners)}) {
        used.insert(used.end(), set.begin(), set.end());
    }
    for (const int id : used) {
        EXPECT_EQ(drawn.count(id), 1u) << id << " is not drawn by the tool";
    }
    // The background begins with white: the playfield's top rows.
    const Image background(headless, 102);
    EXPECT_EQ(background.pixel(0, 0), floorWhite);
    EXPECT_EQ(Image(headless, 147).pixel(2, 2), digitOrange); // the pellet is orange
}

TEST(Assets, BannersCarryTheirLevelsTexts) {
    HeadlessPlatform headless;
    for (const ExpectedBanner& b : expectedBanners) {
        const Image image(headless, b.id);
        EXPECT_EQ(pixelsOf(image), pixelsOf(*assetgen::drawBanner(b.text))) << b.id;
    }
    // The banner continues the label "kurs:" at (58, 260): the label's ink lies left of
    // 58 on the banner's rows, and the banner's own place is bare white for level 1.
    const Image background(headless, 102);
    int labelInk = 0;
    for (int y = 260; y < 270; ++y) {
        for (int x = 0; x < 58; ++x) {
            labelInk += background.pixel(x, y) != floorWhite;
        }
        for (int x = 58; x < 58 + 265; ++x) {
            ASSERT_EQ(background.pixel(x, y), floorWhite) << x << "," << y;
        }
    }
    EXPECT_GT(labelInk, 20);
}

TEST(Assets, PaletteThroughTheFrameBuffer) {
    HeadlessPlatform headless;
    ScreenBuffer screen{headless, headless};
    screen.initialise();
    ASSERT_TRUE(screen.initialised);
    const Palette& p = screen.palette;
    // Every colour comes from the tool's table, and no entry was left out of it (a gap
    // would show as black).
    const assetgen::GamePalette ours = assetgen::gamePalette();
    for (int i = 0; i < assetgen::paletteSize; ++i) {
        EXPECT_EQ(p[i], ours[static_cast<std::size_t>(i)]) << i;
        if (i != 235) {
            EXPECT_NE(p[i], (Colour{0, 0, 0})) << i;
        }
    }
}

TEST(Assets, SoundsAreShortPcmWaves) {
    HeadlessPlatform headless;
    // A RIFF wave (its size at 4 left out), 16 bytes of format: PCM, mono, 8000 samples
    // of 8 bits a second; then the data chunk.
    // clang-format off
    const Bytes wavHeader = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                             16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0,
                             'd', 'a', 't', 'a'};
    // clang-format on
    struct Sound {
        int id;
        Millis length; // 0: any length up to half a second
    };
    for (const Sound s :
         {Sound{142, 1360}, Sound{143, 440}, Sound{144, 0}, Sound{145, 1250}, Sound{146, 0}}) {
        const auto wav = headless.resource(ResourceType::Wave, s.id);
        ASSERT_GE(wav.size(), 44u) << s.id;
        EXPECT_EQ(le(wav, 4, 4), wav.size() - 8) << s.id;
        Bytes header(wav.begin(), wav.begin() + 40);
        std::fill(header.begin() + 4, header.begin() + 8, 0);
        EXPECT_EQ(header, wavHeader) << s.id;
        const std::uint32_t samples = le(wav, 40, 4);
        ASSERT_LE(44u + samples, wav.size()) << s.id;
        const Millis length = headless.soundLength(s.id);
        if (s.length != 0) {
            EXPECT_EQ(length, s.length) << s.id;
        } else {
            EXPECT_GT(length, 0u) << s.id;
            EXPECT_LE(length, 500u) << s.id;
        }
        // Starts and ends in silence (no click), and is not silent in between.
        EXPECT_EQ(wav[44], 128) << s.id;
        EXPECT_EQ(wav[44 + samples - 1], 128) << s.id;
        const auto [low, high] = std::minmax_element(wav.begin() + 44, wav.begin() + 44 + samples);
        EXPECT_GT(*high - *low, 64) << s.id;
    }
}

TEST(Assets, EncoderWritesTheStoredForm) {
    // One encoding of each kind: stretches of four or more become runs of at most 255,
    // the rest of a long stretch a run of its own; shorter stretches stay literals, except
    // index 255, which only a run can carry. (The game's decoder has its own golden cases,
    // and reads the committed pictures back exactly: the banners' test.)
    struct Case {
        const char* what;
        Bytes pixels, stream;
    };
    const auto withFour = [] {
        Bytes b(510, 3);
        b.push_back(4);
        return b;
    };
    // clang-format off
    const Case cases[] = {
        {"stretches of 1 to 4", {1, 2, 2, 3, 3, 3, 4, 4, 4, 4}, {1, 2, 2, 3, 3, 3, 0xFF, 4, 4}},
        {"index 255 alone and in pairs", {255, 1, 255, 255, 2}, {0xFF, 0xFF, 1, 1, 0xFF, 0xFF, 2, 2}},
        {"exactly 255", Bytes(255, 7), {0xFF, 7, 255}},
        {"256: a run of 255 and one of 1", Bytes(256, 7), {0xFF, 7, 255, 0xFF, 7, 1}},
        {"259", Bytes(259, 9), {0xFF, 9, 255, 0xFF, 9, 4}},
        {"510 then something else", withFour(), {0xFF, 3, 255, 0xFF, 3, 255, 4}},
        {"nothing", {}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(assetgen::encodeRleStream(c.pixels.data(), c.pixels.size()), c.stream) << c.what;
    }
}

TEST(Assets, CommittedResourcesAreWhatTheToolMakes) {
    HeadlessPlatform headless;
    auto committed = [&](ResourceType type, int id) {
        const auto bytes = headless.resource(type, id);
        return Bytes(bytes.begin(), bytes.end());
    };
    const char* regenerate = ": run pingel-assetgen resources docs";
    for (const assetgen::Picture& p : assetgen::drawPictures()) {
        EXPECT_EQ(committed(ResourceType::RcData, p.id), assetgen::encodeRle(*p.image))
            << p.id << regenerate;
    }
    // The bitmap resource is the file without its 14-byte file header.
    const Bytes bitmap = assetgen::paletteBitmap(assetgen::gamePalette());
    EXPECT_EQ(committed(ResourceType::Bitmap, 139), Bytes(bitmap.begin() + 14, bitmap.end()))
        << 139 << regenerate;
    for (const assetgen::SoundSpec& s : assetgen::soundInventory()) {
        EXPECT_EQ(committed(ResourceType::Wave, s.id),
                  assetgen::waveFile(assetgen::synthesise(s.id)))
            << s.id << regenerate;
    }
}

TEST(Assets, WallsLeaveEveryTrackAndItemInACorridor) {
    HeadlessPlatform headless;
    const Image background(headless, 102);
    const Maze maze;
    // Every track pixel is on the white floor.
    int trackPixels = 0;
    for (int y = 0; y < maze.track.height; ++y) {
        for (int x = 0; x < maze.track.width; ++x) {
            if (maze.track.pixel(x, y) != 0) {
                ++trackPixels;
                ASSERT_EQ(background.pixel(x, y), floorWhite)
                    << "wall on the track at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(trackPixels, 1000);
    // Corridors are centred on their tracks: at every track pixel, the floor reaches
    // corridorHalfWidth pixels on both sides across the track (where walls bound it).
    const int h = assetgen::corridorHalfWidth, reach = 3 * h;
    int bounded = 0, exact = 0;
    auto floorRun = [&](int x, int y, int dx, int dy) {
        int n = 0;
        while (n <= reach && background.pixel(x + dx * (n + 1), y + dy * (n + 1)) == floorWhite) {
            ++n;
        }
        return n;
    };
    for (const TrackSegment& s : Maze::segments) {
        const bool vertical = s.x1 == s.x2;
        const int from = vertical ? std::min(s.y1, s.y2) : std::min(s.x1, s.x2);
        const int to = vertical ? std::max(s.y1, s.y2) : std::max(s.x1, s.x2);
        for (int t = from; t <= to; ++t) {
            const int x = vertical ? s.x1 : t, y = vertical ? t : s.y1;
            if ((vertical && (x < 1 || x > 419)) || y < 1 || y > 269) {
                continue;
            }
            const int a = floorRun(x, y, vertical ? -1 : 0, vertical ? 0 : -1);
            const int b = floorRun(x, y, vertical ? 1 : 0, vertical ? 0 : 1);
            if (a <= reach && b <= reach) {
                // A wall's rounded corner may give one pixel more on a side.
                ++bounded;
                exact += a == h && b == h;
                ASSERT_TRUE(std::min(a, b) >= h && std::max(a, b) <= h + 1)
                    << "corridor off its track at " << x << "," << y << ": " << a << " and " << b;
            }
        }
    }
    EXPECT_GT(exact * 100, bounded * 85); // all but the points beside rounded corners
    // The tunnel is open at both sides of the playfield.
    for (int y = 121; y <= 135; ++y) {
        EXPECT_EQ(background.pixel(0, y), floorWhite) << y;
        EXPECT_EQ(background.pixel(356, y), floorWhite) << y;
    }
    // Pellets lie on the floor with all their pixels, pills with their middle.
    auto onFloor = [&](const ItemPosition& at, int size, int middle) {
        const int left = static_cast<int>(at.x - size / 2.0f) + (size - middle) / 2;
        const int top = static_cast<int>(at.y - size / 2.0f) + (size - middle) / 2;
        for (int y = top; y < top + middle; ++y) {
            for (int x = left; x < left + middle; ++x) {
                if (background.pixel(x, y) != floorWhite) {
                    return false;
                }
            }
        }
        return true;
    };
    for (const ItemPosition& at : level_layout::pellets) {
        EXPECT_TRUE(onFloor(at, 6, 6)) << "pellet at " << at.x << "," << at.y;
    }
    for (const ItemPosition& at : level_layout::pills) {
        EXPECT_TRUE(onFloor(at, 18, 8)) << "pill at " << at.x << "," << at.y;
    }
}

TEST(Assets, NumbersSitOnWhiteInThePanel) {
    HeadlessPlatform headless;
    const Image background(headless, 102);
    // Score and level are centred on x = 389 at y = 95 and 145, 7 pixels a digit: up to
    // seven digits (and the taller 4) stand on white.
    for (const int top : {95, 145}) {
        for (int y = top; y < top + 9; ++y) {
            for (int x = 389 - 25; x < 389 + 25; ++x) {
                ASSERT_EQ(background.pixel(x, y), floorWhite) << x << "," << y;
            }
        }
    }
}
