// The files the tool writes besides the pictures: the palette as an 8-bit Windows bitmap,
// the resource script fragment for the Windows build, and writing bytes to disk.
#pragma once

#include "tools/assetgen/palette.h"

#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

// A bitmap file of 1 x 1 pixel at 8 bits with the palette as its colour table (colours
// used: 236); its one pixel is index 0.
std::vector<std::uint8_t> paletteBitmap(const GamePalette& palette);

// Resource script lines for the pictures (RCDATA), the palette (BITMAP) and the sounds
// (WAVE), file names relative to the script.
std::string resourceScript(const std::vector<int>& pictureIds, int paletteId,
                           const std::vector<int>& soundIds);

// Writes the whole file; false (with a message on stderr) when it cannot.
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace assetgen
