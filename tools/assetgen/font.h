// Our small bitmap font, for the banners, the side panel's labels and the logo. A glyph is
// ten rows high: row 0 carries the dots over capitals, rows 1 to 7 the capitals and digits
// (row 7 is the baseline), rows 3 to 7 the small letters, rows 8 and 9 the descenders of
// g, j, p, q and y. Glyphs are set one blank column apart; a space is three columns. Texts
// are Latin-1, so the Swedish letters are single bytes (\xE4 is a-umlaut).
#pragma once

#include <cstdint>
#include <string_view>

class Image;

namespace assetgen {

constexpr int fontHeight = 10;
constexpr int fontBaseline = 7;

bool hasGlyph(unsigned char c);
// Width in pixels of the text as drawText sets it.
int textWidth(std::string_view latin1);
// Sets the text's ink to `colour`, the top-left of its first cell at (x, y), and leaves
// every other pixel alone. A character without a glyph is a fault of the caller.
void drawText(Image& image, int x, int y, std::string_view latin1, std::uint8_t colour);

} // namespace assetgen
