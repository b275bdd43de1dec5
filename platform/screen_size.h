// The size of the game's picture, shared by everything that makes, moves or shows it: the
// World lays out its board in it, the frame buffer holds it, the backends size their
// windows and bitmaps by it, the tools and the benchmark draw it. 421 x 271 pixels are
// shown; the frame buffer's rows are 424 bytes, the 8-bit bitmap row rounded up to 4.
#pragma once

namespace screen_size {

constexpr int width = 421;  // pixels shown in a row
constexpr int height = 271; // rows
constexpr int pitch = 424;  // bytes from one row of the frame buffer to the next

} // namespace screen_size
