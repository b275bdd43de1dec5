// The palette as a table of ramps: each ramp fills `count` entries from `first`, running
// in equal integer steps from one colour to another (both ends included).
#include "tools/assetgen/palette.h"

namespace assetgen {
namespace {

struct Ramp {
    int first, count;
    Colour from, to;
};

// clang-format off
constexpr Ramp ramps[] = {
    {0,   1,  {249, 249, 250}, {249, 249, 250}}, // near-white
    {1,   12, {236, 247, 253}, { 28,  72, 130}}, // ice blues: the maze walls
    {13,  16, {170, 185, 210}, { 14,  18,  34}}, // slate to navy: the penguin, text
    {29,  8,  {255, 246, 170}, {255, 200,  40}}, // yellows: beak and feet, lit
    {37,  8,  {250, 170,  30}, {170,  70,  10}}, // ambers: beak and feet
    {45,  8,  {255, 225, 240}, {250,  90, 170}}, // light pinks: cheeks, wings
    {53,  8,  {225,  50, 140}, {110,  10,  60}}, // deep pinks: wings
    {61,  8,  {240, 225, 255}, {170, 110, 240}}, // light violets: wings
    {69,  8,  {140,  70, 220}, { 50,  16, 100}}, // deep violets: butterfly bodies
    {77,  16, {220, 246, 205}, { 22,  88,  34}}, // greens
    {93,  16, {255, 208, 200}, {120,  12,  16}}, // reds
    {109, 16, {210, 246, 246}, {  8,  84,  98}}, // teals
    {125, 16, {252, 236, 180}, { 88,  54,  20}}, // cream to brown: the ornament
    {141, 16, {220, 236, 255}, { 20,  50, 140}}, // sky blues
    {157, 16, {255, 236, 222}, {140,  74,  48}}, // peach to clay
    {173, 13, {242, 250, 196}, { 84, 104,  18}}, // limes
    {186, 1,  {240,  96,  15}, {240,  96,  15}}, // the digits' orange
    {187, 7,  {255, 230, 180}, {250, 150,  50}}, // light oranges
    {194, 7,  {230,  80,  12}, {110,  34,   6}}, // deep oranges
    {201, 1,  {255, 255, 255}, {255, 255, 255}}, // white
    {202, 14, {246, 249, 253}, {176, 188, 204}}, // cool pale greys
    {216, 20, {152, 152, 152}, {  0,   0,   0}}, // grey ramp to black
};
// clang-format on

std::uint8_t step(std::uint8_t from, std::uint8_t to, int k, int last) {
    // Truncating integer division: exact and the same everywhere.
    return static_cast<std::uint8_t>(from + (int(to) - int(from)) * k / last);
}

} // namespace

GamePalette gamePalette() {
    GamePalette palette{};
    for (const Ramp& r : ramps) {
        for (int k = 0; k < r.count; ++k) {
            const int last = r.count > 1 ? r.count - 1 : 1;
            palette[static_cast<std::size_t>(r.first + k)] =
                Colour{step(r.from.red, r.to.red, k, last), step(r.from.green, r.to.green, k, last),
                       step(r.from.blue, r.to.blue, k, last)};
        }
    }
    return palette;
}

} // namespace assetgen
