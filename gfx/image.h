// Image: the one raster type of the game, a rectangle of 8-bit palette indices stored top
// row first with no gap between rows. Sprites, digits, banners, the background, the maze's
// track image and the frame buffer are all Images. Index 236 is transparent in every blit.
// Drawing clips silently; nothing here reports an error.
//
// gfx/ (this header, the frame buffer, the loaders, the resource ids) sits on the platform
// seam alone and includes nothing of game/, net/, app/ or a backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::uint8_t transparentIndex = 236;

class Resources;

class Image {
  public:
    Image();                      // 16 x 16 with the frame pattern
    Image(int width, int height); // width x height with the frame pattern
    // Loaded from an image resource (16 x 16 with the frame pattern if that fails).
    Image(const Resources& resources, int resourceId);
    virtual ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Frees the pixels and allocates width x height new ones, not cleared.
    void resize(int width, int height);
    void setColour(std::uint8_t index) { colour = index; }
    void fillRect(int x, int y, int w, int h);
    void fillRect(int x, int y, int w, int h, std::uint8_t index);
    // A horizontal or vertical segment, both ends included; points outside are skipped.
    void drawLine(int x1, int y1, int x2, int y2);
    // Copies source with its top-left pixel at (x, y), clipped, skipping index 236.
    void blit(const Image& source, int x, int y);

    // Image resources in the run-length format "mzt/rle", with an 8-bit bitmap as fallback
    // (a bitmap resource, then a bitmap file of that name). False when nothing was found;
    // a failed load leaves the Image as it was.
    bool loadImage(const Resources& resources, int resourceId);
    bool loadImage(const std::string& name);
    // A run-length resource by id; false if there is none, or if its header claims more
    // pixels than its stream could ever hold. Pixels the stream does not reach are 236.
    bool loadRle(const Resources& resources, int resourceId);
    // The bytes of a picture file: the file variant of the run-length format (magic
    // checked, 32-bit little-endian pixel count and width) or a bitmap file.
    bool loadFileImage(const std::uint8_t* data, std::size_t size);
    // Expands a pixel stream of `size` bytes into the first `count` pixels of this Image's
    // buffer and returns how many it produced. Never reads past the stream's end and never
    // writes past `count`; pixels the stream does not reach keep their contents.
    std::size_t decodeRle(const std::uint8_t* stream, std::size_t size, std::size_t count);

    std::uint8_t pixel(int x, int y) const { return pixels[y * width + x]; }

    std::int32_t height = 0;
    std::int32_t width = 0;
    std::uint8_t colour = 0;
    std::uint8_t* pixels = nullptr;
    bool borrowedPixels = false;

  protected:
    void drawFramePattern();
    // Loads a Windows bitmap without its file header (a BITMAPINFOHEADER first); false when
    // it is not one or its header claims more than its data holds. Only 8 bits per pixel
    // are copied; another depth sizes the Image and leaves its pixels unset. pixelOffset 0:
    // the pixels follow the header and its colour table.
    bool loadBitmap(const std::uint8_t* data, std::size_t size, std::size_t pixelOffset);
};
