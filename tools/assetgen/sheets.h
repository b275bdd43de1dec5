// Pictures for people: a contact sheet of every image (enlarged, with its id, transparent
// pixels as a checkerboard, and the palette) and a scene of the game as it will be seen.
// Both are composed from images loaded back through the game's own loader and drawn with
// the game's own blit, counters and actors, so they show what the game will show.
#pragma once

#include "platform/platform.h"

#include <string>

namespace assetgen {

// The palette as the game reads it: from bitmap 139, through the frame buffer.
Palette screenPalette();

// Reads every picture and the palette from the installed platform's resources.
bool writeSheet(const std::string& path);
bool writeScene(const std::string& path);

} // namespace assetgen
