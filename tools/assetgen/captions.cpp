// The texts as pictures: the nine level banners in our small font, and "GAME OVER" in big
// letters: capitals six pixels high, doubled with rounded diagonals, filled with an orange
// that darkens downwards and outlined in dark blue so they read over the maze.
#include "gfx/resource_ids.h"
#include "tools/assetgen/font.h"
#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"
#include "tools/assetgen/pixel_art.h"

#include <cstring>

namespace assetgen {
namespace {

// clang-format off
constexpr Banner banners[] = {
    {2, resource_ids::levelBanners[0], "Du har l\xE4rt dig surfa"},
    {3, resource_ids::levelBanners[1], "Du har l\xE4rt dig HTML"},
    {4, resource_ids::levelBanners[2], "Du har l\xE4rt dig webbdesign"},
    {5, resource_ids::levelBanners[3], "Du har l\xE4rt dig dynamisk HTML"},
    {6, resource_ids::levelBanners[4], "Du har l\xE4rt dig ASP"},
    {7, resource_ids::levelBanners[5], "Du har l\xE4rt dig VB-script"},
    {8, resource_ids::levelBanners[6], "Du har l\xE4rt dig grundl\xE4ggande n\xE4tverk"},
    {9, resource_ids::levelBanners[7], "Du har l\xE4rt dig databaser"},
    {10, resource_ids::levelBanners[8], "Du har l\xE4rt dig SQL"},
};

struct BigLetter {
    char c;
    const char* rows[6];
};
constexpr BigLetter bigLetters[] = {
    {'G', {".####", "#....", "#..##", "#...#", "#...#", ".###."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#"}},
    {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#", "#...#"}},
    {'E', {"#####", "#....", "####.", "#....", "#....", "#####"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#..#.", "#...#"}},
};
// clang-format on

constexpr std::uint8_t bannerInk = ink::ink;

// The letters of `text` at one pixel per dot, 1 where there is ink; a space is 3 wide.
std::unique_ptr<Image> bigTextMask(const char* text) {
    int width = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        width += (*c == ' ' ? 3 : 5) + (c[1] != '\0' ? 1 : 0);
    }
    auto mask = canvas(width, 6, 0);
    int x = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == ' ') {
            x += 4;
            continue;
        }
        const BigLetter* letter = nullptr;
        for (const BigLetter& l : bigLetters) {
            letter = l.c == *c ? &l : letter;
        }
        require(letter != nullptr, std::string("no big letter for '") + *c + "'");
        stamp(*mask, x, 0, letter->rows, {{'#', 1}});
        x += 6;
    }
    return mask;
}

} // namespace

std::span<const Banner> levelBanners() {
    return banners;
}

std::unique_ptr<Image> drawBanner(std::string_view latin1) {
    require(textWidth(latin1) <= bannerWidth, "banner text too wide");
    auto image = canvas(bannerWidth, bannerHeight, ink::white);
    drawText(*image, 0, 0, latin1, bannerInk);
    return image;
}

std::unique_ptr<Image> drawGameOver() {
    const auto mask = scale2x(*bigTextMask("GAME OVER")); // 12 rows
    auto image = canvas(156, 14, ink::transparent);
    const int x0 = (156 - mask->width) / 2;
    // Fill colours by row, light at the top.
    constexpr std::uint8_t shades[12] = {ink::sun,       ink::sun,       ink::peach,  ink::peach,
                                         ink::tangerine, ink::tangerine, ink::orange, ink::orange,
                                         ink::orange,    ink::ember,     ink::ember,  ink::rust};
    for (int y = 0; y < mask->height; ++y) {
        for (int x = 0; x < mask->width; ++x) {
            if (mask->pixel(x, y) != 0) {
                put(*image, x0 + x, 1 + y, shades[y]);
            }
        }
    }
    outline(*image, ink::transparent, ink::ink, true);
    return image;
}

} // namespace assetgen
