// The background picture 102: the white playfield with the maze's ice walls, the label
// "kurs:" that the level banner continues, and the side panel with the logo, the labels
// over the score, level and lives, and a framed ornament. The walls are worked out from
// the maze's own track table: every track is the centre line of a corridor
// 2 x corridorHalfWidth + 1 pixels wide, everything inside the outer wall that no corridor
// covers is ice, and the tunnel row runs out through both sides.
#include "game/maze.h"
#include "platform/screen_size.h"
#include "tools/assetgen/font.h"
#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"
#include "tools/assetgen/pixel_art.h"

#include <algorithm>
#include <vector>

namespace assetgen {
namespace {

using namespace ink;

constexpr int screenWidth = screen_size::width, screenHeight = screen_size::height;
constexpr int playfieldRight = 356; // the panel starts at 357
constexpr int panelLeft = 357, panelWidth = 64, panelCentre = 389;
constexpr int outerWall = 5; // thickness of the maze's outer wall
constexpr std::uint8_t labelInk = ink::ink;

struct Rect {
    int x0, y0, x1, y1; // inclusive
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// The panel's texts and boxes, top to bottom: (label, top of its text, box for digits).
struct PanelLabel {
    const char* text;
    int y;
    bool digitWindow; // a framed white window below the label for the digits
    int windowTop;
};
constexpr PanelLabel panelLabels[] = {
    {"po\xE4ng", 80, true, 92},
    {"bana", 130, true, 142},
    {"liv", 177, false, 0},
};
constexpr int digitWindowHeight = 15;

// The maze's extent, from the track table: the outer columns and rows and the tunnel row.
struct MazeFrame {
    int left = 1 << 20, right = -1, top = 1 << 20, bottom = -1, tunnelRow = -1;
};

MazeFrame mazeFrame() {
    MazeFrame f;
    for (const TrackSegment& s : Maze::segments) {
        if (std::min(s.x1, s.x2) == 0) {
            f.tunnelRow = s.y1;
            continue;
        }
        if (std::max(s.x1, s.x2) >= playfieldRight) {
            continue;
        }
        f.left = std::min({f.left, s.x1, s.x2});
        f.right = std::max({f.right, s.x1, s.x2});
        f.top = std::min({f.top, s.y1, s.y2});
        f.bottom = std::max({f.bottom, s.y1, s.y2});
    }
    require(f.tunnelRow >= 0, "the track table has no tunnel");
    return f;
}

// Which pixels are ice: inside the outer wall (or the tunnel's walls) and in no corridor.
std::vector<bool> iceMask() {
    const int h = corridorHalfWidth;
    const MazeFrame f = mazeFrame();
    std::vector<Rect> corridors;
    for (const TrackSegment& s : Maze::segments) {
        corridors.push_back({std::max(0, std::min(s.x1, s.x2) - h), std::min(s.y1, s.y2) - h,
                             std::min(playfieldRight, std::max(s.x1, s.x2) + h),
                             std::max(s.y1, s.y2) + h});
    }
    const Rect outer{f.left - h - outerWall, f.top - h - outerWall, f.right + h + outerWall,
                     f.bottom + h + outerWall};
    const Rect tunnelWalls{0, f.tunnelRow - h - outerWall, playfieldRight,
                           f.tunnelRow + h + outerWall};
    std::vector<bool> ice(std::size_t(screenWidth) * screenHeight, false);
    for (int y = 0; y < screenHeight; ++y) {
        for (int x = 0; x <= playfieldRight; ++x) {
            if (!outer.contains(x, y) && !tunnelWalls.contains(x, y)) {
                continue;
            }
            const bool free = std::any_of(corridors.begin(), corridors.end(),
                                          [&](const Rect& r) { return r.contains(x, y); });
            ice[std::size_t(y) * screenWidth + x] = !free;
        }
    }
    // Round every outward corner by one pixel.
    std::vector<bool> rounded = ice;
    auto solid = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < screenWidth && y < screenHeight &&
               ice[std::size_t(y) * screenWidth + x];
    };
    for (int y = 0; y < screenHeight; ++y) {
        for (int x = 0; x < screenWidth; ++x) {
            if (!solid(x, y)) {
                continue;
            }
            const bool up = solid(x, y - 1), down = solid(x, y + 1);
            const bool left = solid(x - 1, y), right = solid(x + 1, y);
            // Pixels on the picture's edge stay: the tunnel walls run out of the picture.
            const bool onEdge = x == 0 || x == playfieldRight;
            if (!onEdge &&
                ((!up && !left) || (!up && !right) || (!down && !left) || (!down && !right))) {
                rounded[std::size_t(y) * screenWidth + x] = false;
            }
        }
    }
    return rounded;
}

void drawWalls(Image& image) {
    const std::vector<bool> ice = iceMask();
    auto solid = [&](int x, int y) {
        if (x < 0 || x > playfieldRight) {
            return true; // the tunnel walls continue beyond the playfield's sides
        }
        return y >= 0 && y < screenHeight && ice[std::size_t(y) * screenWidth + x];
    };
    for (int y = 0; y < screenHeight; ++y) {
        for (int x = 0; x <= playfieldRight; ++x) {
            if (!solid(x, y)) {
                continue;
            }
            const bool up = solid(x, y - 1), down = solid(x, y + 1);
            const bool left = solid(x - 1, y), right = solid(x + 1, y);
            std::uint8_t c = iceFill;
            if (!up || !down || !left || !right) {
                c = (!down || !right) ? iceDeep : iceEdge; // the rim, darker where shaded
            } else if (!solid(x, y - 2) || !solid(x - 2, y)) {
                c = iceGlint; // lit just inside the top and left rims
            } else if (!solid(x, y + 2) || !solid(x + 2, y)) {
                c = iceLight + 4; // shade just inside the bottom and right rims
            } else {
                c = iceLight;
            }
            put(image, x, y, c);
        }
    }
}

// The logo: "Pingel" in our font, doubled with rounded diagonals, orange with a dark rim.
void drawLogo(Image& image, int centreX, int top) {
    const char* name = "Pingel";
    auto mask = canvas(textWidth(name), 9, 0);
    drawText(*mask, 0, -1, name, 1); // rows 1 to 9 of the font: capital top to descender
    const auto big = scale2x(*mask);
    auto logo = canvas(big->width + 2, big->height + 2, transparent);
    constexpr std::uint8_t shades[] = {sun,    sun,    peach,  peach,  tangerine, tangerine,
                                       orange, orange, orange, orange, ember,     ember};
    for (int y = 0; y < big->height; ++y) {
        for (int x = 0; x < big->width; ++x) {
            if (big->pixel(x, y) != 0) {
                const int band = std::min(y, int(sizeof shades) - 1);
                put(*logo, x + 1, y + 1, shades[band]);
            }
        }
    }
    outline(*logo, transparent, ink::ink, true);
    image.blit(*logo, centreX - logo->width / 2, top);
}

void drawCentredText(Image& image, int centreX, int y, const char* text, std::uint8_t colour) {
    drawText(image, centreX - textWidth(text) / 2, y, text, colour);
}

// The penguin, front view, standing on a small ice floe under the logo.
void drawMascot(Image& image, int centreX, int top) {
    const auto penguin = drawPenguin(Facing::Down);
    fillRoundRect(image, centreX - 17, top + 20, 34, 7, 3, iceEdge);
    fillRoundRect(image, centreX - 16, top + 21, 32, 5, 2, iceLight);
    fillRoundRect(image, centreX - 15, top + 21, 30, 2, 1, iceGlint);
    image.blit(*penguin, centreX - penguin->width / 2, top);
}

// Snowflakes pressed into the two big blocks beside the butterflies' nest, mirrored about
// the maze's middle column.
void drawEmbossedFlakes(Image& image) {
    // clang-format off
    static const char* const flake[] = {
        "....H....",
        ".H..H..H.",
        "..H.H.H..",
        "...HHH...",
        "HHHHSHHHH",
        "...HHH...",
        "..H.H.H..",
        ".H..H..H.",
        "....H....",
    };
    // clang-format on
    const MazeFrame f = mazeFrame();
    const int middle = (f.left + f.right) / 2;
    for (const int y : {94, 154}) {
        for (const int x : {134, middle * 2 - 134}) {
            stamp(image, x - 4, y - 4, flake, {{'H', iceGlint}, {'S', white}});
        }
    }
}

void drawOrnament(Image& image, int x, int y, int w, int h) {
    fillRoundRect(image, x, y, w, h, 5, iceEdge);
    fillRoundRect(image, x + 1, y + 1, w - 2, h - 2, 4, iceGlint);
    fillRoundRect(image, x + 3, y + 3, w - 6, h - 6, 3, iceEdge);
    fillRoundRect(image, x + 4, y + 4, w - 8, h - 8, 2, frost);
    // A snowflake in the middle, with a pellet on either side.
    const auto flake = drawSnowflake();
    image.blit(*flake, x + (w - flake->width) / 2, y + (h - flake->height) / 2);
    const auto pellet = drawPellet();
    image.blit(*pellet, x + 9, y + (h - pellet->height) / 2);
    image.blit(*pellet, x + w - 9 - pellet->width, y + (h - pellet->height) / 2);
}

void drawPanel(Image& image) {
    drawLogo(image, panelCentre, 6);
    drawMascot(image, panelCentre, 34);
    for (const PanelLabel& label : panelLabels) {
        drawCentredText(image, panelCentre, label.y, label.text, labelInk);
        if (label.digitWindow) {
            const Rect w{panelLeft + 5, label.windowTop, panelLeft + panelWidth - 6,
                         label.windowTop + digitWindowHeight - 1};
            fillRoundRect(image, w.x0, w.y0, w.x1 - w.x0 + 1, w.y1 - w.y0 + 1, 3, iceEdge);
            fillRoundRect(image, w.x0 + 1, w.y0 + 1, w.x1 - w.x0 - 1, w.y1 - w.y0 - 1, 2, white);
        }
    }
    drawOrnament(image, panelLeft + 4, 226, panelWidth - 8, 38);
}

} // namespace

std::unique_ptr<Image> drawBackground() {
    auto image = canvas(screenWidth, screenHeight, white);
    drawWalls(*image);
    drawEmbossedFlakes(*image);
    // "kurs:" ends where a space before the banner's first letter would begin.
    const int kursX = bannerX - textWidth("kurs: D") + textWidth("D");
    drawText(*image, kursX, bannerY, "kurs:", labelInk);
    drawPanel(*image);
    return image;
}

std::unique_ptr<Image> drawPanelStrip() {
    const auto background = drawBackground();
    auto strip = canvas(panelWidth, screenHeight, white);
    for (int y = 0; y < screenHeight; ++y) {
        for (int x = 0; x < panelWidth; ++x) {
            put(*strip, x, y, background->pixel(panelLeft + x, y));
        }
    }
    return strip;
}

} // namespace assetgen
