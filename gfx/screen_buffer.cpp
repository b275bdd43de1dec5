// Frame buffer set-up, drawing and presentation through the platform seam.
#include "gfx/screen_buffer.h"

bool paletteRefreshPending = false;
ScreenBuffer* screenBuffer = nullptr;

namespace {
std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
} // namespace

ScreenBuffer::ScreenBuffer(int w, int h) : Image(w, h) {
    delete[] pixels;
    pixels = nullptr;
    borrowedPixels = true;
    // Entries the palette resource does not define are never seen; a loud magenta makes a
    // stray one obvious.
    palette.fill(Colour{255, 0, 255});
}

ScreenBuffer::~ScreenBuffer() {
    if (initialised) {
        platform().releaseFrame(pixels);
    }
    pixels = nullptr;
}

void ScreenBuffer::initialise() {
    if (initialised) {
        return;
    }
    std::span<const std::uint8_t> dib = platform().resource(ResourceType::Bitmap, paletteResource);
    if (dib.empty()) {
        return;
    }
    // The resource starts with a BITMAPINFOHEADER; an 8-bit one is followed by its colour
    // table (blue, green, red, reserved). Another depth leaves the palette as it is.
    if (dib.size() >= 40) {
        const std::uint32_t headerSize = le32(dib.data());
        const std::uint32_t bits = std::uint32_t(dib[14]) | std::uint32_t(dib[15]) << 8;
        std::uint32_t colours = le32(dib.data() + 32);
        if (bits == 8 && headerSize >= 40 && headerSize <= dib.size()) {
            if (colours == 0 || colours > 256) {
                colours = 256;
            }
            const std::size_t available = (dib.size() - headerSize) / 4;
            for (std::size_t i = 0; i < colours && i < available; ++i) {
                const std::uint8_t* q = dib.data() + headerSize + 4 * i;
                palette[i] = Colour{q[2], q[1], q[0]};
            }
        }
    } else {
        platform().debugText("lock resource failed\n");
    }
    platform().realisePalette(palette);
    pixels = platform().createFrame(visibleWidth, height, width, palette);
    initialised = pixels != nullptr;
}

void ScreenBuffer::draw(const Image& image, int x, int y) {
    if (initialised) {
        blit(image, x, y);
    }
}

void ScreenBuffer::present() {
    if (!initialised) {
        return;
    }
    if (paletteRefreshPending) {
        paletteRefreshPending = false;
        realisePalette();
    }
    platform().presentFrame(pixels, visibleWidth, height, width);
}

void ScreenBuffer::realisePalette() {
    platform().realisePalette(palette);
}
