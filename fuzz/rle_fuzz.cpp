// Fuzzes the run-length reader two ways: the input as a whole picture resource through
// loadRle, and as a pixel count (two bytes) followed by a stream through decodeRle into an
// Image of exactly that many pixels, checked against what the format promises. Any read
// or write out of bounds is the sanitizer's to find; a wrong result aborts.
#include "backends/headless/headless.h"
#include "gfx/image.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HeadlessPlatform headless;
    headless.setResource(ResourceType::RcData, 1, std::vector<std::uint8_t>(data, data + size));
    Image picture(3, 3);
    if (picture.loadRle(headless, 1)) {
        check(size >= 11);
        check(picture.width == (data[7] << 8 | data[8]));
        check(picture.height == (data[9] << 8 | data[10]));
        unsigned sum = 0; // every pixel is readable
        for (int i = 0; i < picture.width * picture.height; ++i) {
            sum += picture.pixels[i];
        }
        check(sum <= 255u * static_cast<unsigned>(picture.width * picture.height));
    } else {
        check(picture.width == 3 && picture.height == 3);
    }

    if (size < 2) {
        return 0;
    }
    const std::size_t count = (data[0] | std::size_t(data[1]) << 8) % 4097;
    const std::uint8_t* stream = data + 2;
    const std::size_t streamSize = size - 2;
    Image image(static_cast<int>(count), 1); // exactly `count` bytes of pixels
    image.fillRect(0, 0, image.width, 1, 0xAA);
    const std::size_t produced = image.decodeRle(stream, streamSize, count);
    // What the format promises without decoding it again (the unit tests hold exact cases):
    // no more pixels than asked, nothing written past them, every pixel a byte of the
    // stream, and a stream without run markers copied as it is.
    check(produced <= count);
    bool inStream[256] = {};
    for (std::size_t i = 0; i < streamSize; ++i) {
        inStream[stream[i]] = true;
    }
    const bool literalsOnly = !inStream[0xFF];
    for (std::size_t k = 0; k < count; ++k) {
        if (k >= produced) {
            check(image.pixels[k] == 0xAA);
        } else if (literalsOnly) {
            check(image.pixels[k] == stream[k]);
        } else {
            check(inStream[image.pixels[k]]);
        }
    }
    check(!literalsOnly || produced == std::min(count, streamSize));
    return 0;
}
