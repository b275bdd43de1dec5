// The game's palette: 236 colours (indices 0 to 235) for the palette bitmap 139, and the
// names under which the pictures use them. The colours are laid out as ramps of related
// shades, each ramp running from light to dark, so a picture picks "a lighter blue" by
// stepping an index. A few entries are fixed by the game itself: 0 is a near-white, 186
// the orange of the digits, 201 the white of the playfield, digit boxes and banners, and
// 216 to 235 a grey ramp falling to black. Index 236 is the transparent index of every blit.
#pragma once

#include "platform/display.h"

#include <array>
#include <cstdint>

namespace assetgen {

constexpr int paletteSize = 236;
using GamePalette = std::array<Colour, paletteSize>;

// Every entry computed with integer arithmetic only, so it is the same on every compiler.
GamePalette gamePalette();

// The inks of the pictures.
namespace ink {
constexpr std::uint8_t snow = 0;     // (249, 249, 250)
constexpr std::uint8_t iceGlint = 1; // wall highlights
constexpr std::uint8_t iceLight = 3; // wall face
constexpr std::uint8_t iceFill = 5;  // wall body
constexpr std::uint8_t iceEdge = 9;  // wall outline
constexpr std::uint8_t iceDeep = 12; // wall outline in shadow
constexpr std::uint8_t slate = 16;   // penguin's back, lit
constexpr std::uint8_t navyLight = 20;
constexpr std::uint8_t navy = 24;     // penguin's body
constexpr std::uint8_t navyDark = 26; // penguin's outline
constexpr std::uint8_t ink = 28;      // the darkest blue: outlines and text
constexpr std::uint8_t lemon = 30;
constexpr std::uint8_t sun = 33;    // beak and feet, lit
constexpr std::uint8_t amber = 37;  // beak and feet
constexpr std::uint8_t rust = 42;   // beak and feet in shadow
constexpr std::uint8_t blush = 47;  // cheeks
constexpr std::uint8_t rose = 50;   // butterfly wings, lit
constexpr std::uint8_t pink = 53;   // butterfly wings
constexpr std::uint8_t plum = 58;   // butterfly wing edges
constexpr std::uint8_t lilac = 64;  // butterfly inner wings
constexpr std::uint8_t violet = 69; // butterfly wing veins
constexpr std::uint8_t grape = 74;  // butterfly bodies
constexpr std::uint8_t mint = 80;
constexpr std::uint8_t leaf = 85;
constexpr std::uint8_t pine = 90;
constexpr std::uint8_t cherry = 100;
constexpr std::uint8_t wine = 105;
constexpr std::uint8_t aqua = 113;
constexpr std::uint8_t teal = 118;
constexpr std::uint8_t cream = 126;
constexpr std::uint8_t gold = 131;
constexpr std::uint8_t bronze = 136;
constexpr std::uint8_t brown = 139;
constexpr std::uint8_t sky = 145;
constexpr std::uint8_t azure = 150;
constexpr std::uint8_t orange = 186;    // the digits' orange (240, 96, 15)
constexpr std::uint8_t peach = 189;     // orange, lit
constexpr std::uint8_t tangerine = 192; // a light orange
constexpr std::uint8_t ember = 197;     // orange in shadow
constexpr std::uint8_t white = 201;     // the playfield
constexpr std::uint8_t frost = 204;     // pale cool grey
constexpr std::uint8_t mist = 208;      // light cool grey
constexpr std::uint8_t greyLight = 216; // first of the grey ramp, (152, 152, 152)
constexpr std::uint8_t black = 235;     // last of the grey ramp
constexpr std::uint8_t transparent = 236;
} // namespace ink

} // namespace assetgen
