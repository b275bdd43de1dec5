// The frame buffer: an Image of 424 x 271 whose memory belongs to the platform (a
// device-independent bitmap on Windows), 421 pixels of each 424-byte row shown. Each frame
// the World composes the picture into it with blits and present() copies it, unscaled, to
// the window. It also owns the palette: the colour table of bitmap resource 139.
#pragma once

#include "gfx/image.h"
#include "platform/platform.h"

class ScreenBuffer : public Image {
  public:
    static constexpr int visibleWidth = 421;
    static constexpr int paletteResource = 139;

    ScreenBuffer(int width, int height); // the World passes 424, 271
    ~ScreenBuffer() override;

    // Once: reads the palette, realises it and creates the frame memory. Until it succeeds
    // (bitmap 139 missing) draw and present do nothing, and the next call tries again.
    void initialise();
    void draw(const Image& image, int x, int y);
    void present();
    void realisePalette();

    bool initialised = false;
    Palette palette{};
};

// Set at start-up and when the window regains palette focus: the next present realises
// the palette again.
extern bool paletteRefreshPending;
// The frame buffer of the current World.
extern ScreenBuffer* screenBuffer;
