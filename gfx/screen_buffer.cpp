// Frame buffer set-up, drawing and presentation through the display.
#include "gfx/screen_buffer.h"

#include "gfx/resource_ids.h"
#include "platform/little_endian.h"
#include "platform/screen_size.h"

namespace {
// Entries the palette resource does not define are never seen; a loud magenta makes a
// stray one obvious.
constexpr Colour undefinedColour{255, 0, 255};
} // namespace

ScreenBuffer::ScreenBuffer(Display& display, const Resources& resources)
    : Image(screen_size::pitch, screen_size::height), display_(display), resources_(resources) {
    delete[] pixels;
    pixels = nullptr;
    borrowedPixels = true;
    palette.fill(undefinedColour);
}

ScreenBuffer::~ScreenBuffer() {
    release();
}

void ScreenBuffer::release() {
    if (initialised) {
        display_.releaseFrame(pixels);
    }
    pixels = nullptr;
    initialised = false;
    palette.fill(undefinedColour);
}

void ScreenBuffer::initialise() {
    if (initialised) {
        return;
    }
    std::span<const std::uint8_t> dib =
        resources_.resource(ResourceType::Bitmap, resource_ids::palette);
    if (dib.empty()) {
        return;
    }
    // The resource starts with a BITMAPINFOHEADER; an 8-bit one is followed by its colour
    // table (blue, green, red, reserved). Another depth leaves the palette as it is.
    if (dib.size() >= 40) {
        const std::uint32_t headerSize = readLe32(dib.data());
        const std::uint32_t bits = readLe16(dib.data() + 14);
        std::uint32_t colours = readLe32(dib.data() + 32);
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
        display_.debugText("lock resource failed\n");
    }
    display_.realisePalette(palette);
    pixels = display_.createFrame(screen_size::width, height, width, palette);
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
        display_.realisePalette(palette);
    }
    display_.presentFrame(pixels, screen_size::width, height, width);
}
