// Drawing helpers for the asset tool, all on Images of palette indices and all in integer
// arithmetic. Pixel maps are tables of strings, one character a pixel, read through a
// legend; shapes (ellipses, rounded rectangles) are tested at pixel centres with doubled
// coordinates, so half-pixel centres are exact.
#pragma once

#include "gfx/image.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

namespace assetgen {

// A fault in the tool's own tables: says what and ends the program.
[[noreturn]] void fail(const std::string& what);
inline void require(bool condition, const std::string& what) {
    if (!condition) {
        fail(what);
    }
}

// A new Image of w x h with every pixel `fill`.
std::unique_ptr<Image> canvas(int w, int h, std::uint8_t fill);
void put(Image& image, int x, int y, std::uint8_t colour); // clipped
std::uint8_t at(const Image& image, int x, int y, std::uint8_t outside);

struct Ink {
    char key;
    std::uint8_t index;
};
// Draws a pixel map with its top-left at (x, y). '.' leaves a pixel alone; every other
// character must be in the legend.
void stamp(Image& image, int x, int y, std::span<const char* const> rows,
           std::initializer_list<Ink> legend);

// Copies left to right or top to bottom.
std::unique_ptr<Image> mirrored(const Image& image);
std::unique_ptr<Image> flipped(const Image& image);

// An ellipse or circle given by its centre and radii in half pixels (cx2 = 2 * cx).
void fillEllipse(Image& image, int cx2, int cy2, int rx2, int ry2, std::uint8_t colour);
// A rectangle with its corners cut round by radius r.
void fillRoundRect(Image& image, int x, int y, int w, int h, int r, std::uint8_t colour);
// Only the one-pixel rim of that rounded rectangle.
void frameRoundRect(Image& image, int x, int y, int w, int h, int r, std::uint8_t colour);

// Every pixel that is `background` and touches (4 neighbours, or 8 with `diagonals`) a
// pixel that is not becomes `colour`.
void outline(Image& image, std::uint8_t background, std::uint8_t colour, bool diagonals);
// Doubles a picture in both directions, rounding its diagonals (the Scale2x rule).
std::unique_ptr<Image> scale2x(const Image& image);
// Replaces every pixel of one index by another.
void recolour(Image& image, std::uint8_t from, std::uint8_t to);

} // namespace assetgen
