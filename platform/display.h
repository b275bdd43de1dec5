// The display: the frame buffer's memory, its presentation in the window through a palette,
// and a line for a debugger.
#pragma once

#include <array>
#include <cstdint>

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};
using Palette = std::array<Colour, 256>;

class Display {
  public:
    virtual ~Display() = default;
    // The frame buffer: memory of height rows of `pitch` bytes owned by the display (a
    // device-independent bitmap on Windows), shown `width` pixels wide through `palette`.
    virtual std::uint8_t* createFrame(int width, int height, int pitch, const Palette& palette) = 0;
    virtual void releaseFrame(std::uint8_t* pixels) = 0;
    // Copies the top-left part of the frame, as large as the window's picture, unscaled.
    virtual void presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) = 0;
    // Applies the palette to the window again (after the window regained palette focus).
    virtual void realisePalette(const Palette& palette) = 0;
    // A line for a debugger, never shown to the user.
    virtual void debugText(const char* text) = 0;
};
