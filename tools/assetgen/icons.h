// The program's icon for desktops: the penguin, facing the player, on a transparent square
// at the sizes of the hicolor icon theme. Each size shows him as large as a whole-number
// enlargement allows (crisp, centred); below his own size he is averaged down. The same
// penguin goes into the Windows icon file that pingel.exe and its installer carry.
#pragma once

#include "platform/display.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

constexpr std::array<int, 7> iconSizes = {16, 24, 32, 48, 64, 128, 256};

// The icon at size x size as RGBA rows, the colours taken from `palette`.
std::vector<std::uint8_t> drawIcon(int size, const Palette& palette);
// Writes <folder>/<N>x<N>/apps/pingel.png for every size, making the folders.
bool writeIcons(const std::string& folder, const Palette& palette);
// The Windows icon file (.ico): 16 to 64 pixels as 32-bit bitmaps with their mask (every
// Windows reads those), 256 as PNG (Vista and later; older systems skip that entry).
std::vector<std::uint8_t> windowsIcon(const Palette& palette);

} // namespace assetgen
