// Image construction and drawing: fill, line and the transparent blit. The blit is the hot
// path (the whole background and every sprite, 25 times a second), so each row is copied
// whole when it holds no transparent pixel and pixel by pixel otherwise.
#include "gfx/image.h"

#include <algorithm>
#include <cstring>

Image::Image() : Image(16, 16) {}

Image::Image(int w, int h) {
    resize(w, h);
    drawFramePattern();
}

Image::Image(const Resources& resources, int resourceId) {
    resize(16, 16);
    if (!loadImage(resources, resourceId)) {
        // Never leave the pixels unset: a missing picture shows as the frame pattern.
        drawFramePattern();
    }
}

Image::~Image() {
    if (!borrowedPixels) {
        delete[] pixels;
    }
}

void Image::drawFramePattern() {
    fillRect(0, 0, width, height, 0);
    fillRect(1, 1, width - 2, height - 2, 255);
}

void Image::resize(int w, int h) {
    if (!borrowedPixels) {
        delete[] pixels;
    }
    borrowedPixels = false;
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels = new std::uint8_t[static_cast<std::size_t>(width) * static_cast<std::size_t>(height)];
}

void Image::fillRect(int x, int y, int w, int h) {
    if (x >= width || y >= height) {
        return;
    }
    // A negative left or top edge is clipped like the right and bottom ones.
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    w = std::min(w, width - x);
    h = std::min(h, height - y);
    if (w <= 0 || h <= 0) {
        return;
    }
    for (int row = y; row < y + h; ++row) {
        std::memset(pixels + static_cast<std::size_t>(row) * width + x, colour,
                    static_cast<std::size_t>(w));
    }
}

void Image::fillRect(int x, int y, int w, int h, std::uint8_t index) {
    colour = index;
    fillRect(x, y, w, h);
}

void Image::drawLine(int x1, int y1, int x2, int y2) {
    auto plot = [this](int x, int y) {
        if (x >= 0 && y >= 0 && x < width && y < height) {
            pixels[static_cast<std::size_t>(y) * width + x] = colour;
        }
    };
    if (x1 == x2) {
        for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y) {
            plot(x1, y);
        }
    }
    if (y1 == y2) {
        for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x) {
            plot(x, y1);
        }
    }
}

void Image::blit(const Image& source, int x, int y) {
    const int w = source.width, h = source.height;
    if (y >= height || x >= width || y + h < 0 || x + w < 0) {
        return;
    }
    const int c0 = std::max(0, -x), c1 = std::min(w, width - x);
    const int r0 = std::max(0, -y), r1 = std::min(h, height - y);
    if (c0 >= c1 || r0 >= r1) {
        return;
    }
    const std::size_t n = static_cast<std::size_t>(c1 - c0);
    for (int r = r0; r < r1; ++r) {
        const std::uint8_t* s = source.pixels + static_cast<std::size_t>(r) * w + c0;
        std::uint8_t* d = pixels + static_cast<std::size_t>(y + r) * width + (x + c0);
        if (std::memchr(s, transparentIndex, n) == nullptr) {
            std::memcpy(d, s, n);
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            d[i] = s[i] == transparentIndex ? d[i] : s[i];
        }
    }
}
