// The frame buffer: an Image of 424 x 271 whose memory belongs to the display (a
// device-independent bitmap on Windows), 421 pixels of each 424-byte row shown. The
// GameDriver owns the one ScreenBuffer of the run, built on the display and the resources
// it was given, and hands it to its game's render; each frame the game composes its
// picture into it with blits and present() copies it, unscaled, to the window. It also owns the
// palette (the colour table of the palette bitmap) and the request to apply that palette to the
// window again.
#pragma once

#include "gfx/image.h"
#include "platform/display.h"
#include "platform/resources.h"

class ScreenBuffer : public Image {
  public:
    // screen_size::pitch x screen_size::height, the palette read from `resources`.
    ScreenBuffer(Display& display, const Resources& resources);
    ~ScreenBuffer() override;

    // Once: reads the palette, realises it and creates the frame memory. Until it succeeds
    // (the palette bitmap missing) draw and present do nothing, and the next call tries
    // again.
    void initialise();
    void draw(const Image& image, int x, int y);
    void present();
    // Gives the frame memory back and returns to the state of a new buffer, so that the
    // next initialise reads the palette and creates the frame afresh (a new game does).
    // A pending palette refresh stays pending.
    void release();

    bool initialised = false;
    Palette palette{};
    // Raised at start-up and when the window regains palette focus: the next present
    // realises the palette again.
    bool paletteRefreshPending = false;

  private:
    Display& display_;
    const Resources& resources_;
};
