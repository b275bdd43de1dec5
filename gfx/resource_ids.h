// The numbers of the game's resources: which picture, palette and sound is which. The
// asset tool writes them, the World loads them, the resource script lists them. They live
// in gfx/ rather than game/ because the frame buffer reads the palette bitmap by its number
// and gfx may not include the game.
#pragma once

#include <array>

namespace resource_ids {

constexpr int background = 102;     // 421 x 271: playfield, maze walls, side panel
constexpr int digitZero = 111;      // 111..120: digits 0..9, 6 x 8 (the 4: 7 x 9)
constexpr int panelStrip = 141;     // 64 x 271, loaded and released, never drawn
constexpr int pellet = 147;         // 6 x 6
constexpr int pill = 151;           // 18 x 18
constexpr int unusedSmall = 156;    // 9 x 12, present but not used
constexpr int unusedSquare = 157;   // 12 x 12, present but not used
constexpr int gameOverBanner = 160; // 156 x 14, "GAME OVER"
constexpr int palette = 139;        // 1 x 1 8-bit bitmap with 236 colours

// In the order of directions everywhere: up, right, down, left.
constexpr std::array<int, 4> playerSprites = {150, 149, 159, 148}; // 24 x 24
constexpr std::array<int, 4> enemySprites = {155, 154, 152, 153};  // 17 x 11

// The banners of levels 2 to 10 (265 x 10); level 10's also serves every level above.
constexpr std::array<int, 9> levelBanners = {167, 165, 161, 163, 169, 168, 164, 162, 166};

// Sounds: wave resources, PCM 8000 Hz, 8-bit, mono.
constexpr int soundCaught = 142; // 1.36 s, played to its end
constexpr int soundEaten = 143;  // 0.44 s, a pill or a butterfly eaten
constexpr int soundUnused1 = 144;
constexpr int soundStart = 145; // 1.25 s, a game starts
constexpr int soundUnused2 = 146;

} // namespace resource_ids
