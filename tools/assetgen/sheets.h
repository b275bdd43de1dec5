// Pictures for people: a contact sheet of every image (enlarged, with its id, transparent
// pixels as a checkerboard, and the palette) and a scene of the game as it will be seen.
// Both are composed from images loaded back through the game's own loader and drawn with
// the game's own blit, counters and actors, so they show what the game will show.
#pragma once

#include "platform/display.h"

#include <string>

class HeadlessPlatform;

namespace assetgen {

// The palette as the game reads it: from bitmap 139, through the frame buffer.
Palette screenPalette(HeadlessPlatform& headless);

// Reads every picture and the palette from the headless platform's resources.
bool writeSheet(const std::string& path, HeadlessPlatform& headless);
bool writeScene(const std::string& path, HeadlessPlatform& headless);

} // namespace assetgen
