// Fuzzes the bitmap reader: the input as a picture file (a bitmap file, or the file
// variant of the run-length format) and as a bitmap resource without a run-length
// resource of that id. A refused input must leave the Image untouched; a loaded one must
// have a sane size and readable pixels. Out-of-bounds access is the sanitizer's to find.
#include "backends/headless/headless.h"
#include "gfx/image.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Loads with `load` into a 4 x 4 Image of known pixels and checks the outcome.
template <typename Load> void probe(std::size_t size, Load load) {
    Image image(4, 4);
    std::uint8_t before[16];
    std::memcpy(before, image.pixels, sizeof before);
    if (!load(image)) {
        check(image.width == 4 && image.height == 4);
        check(std::memcmp(before, image.pixels, sizeof before) == 0);
        return;
    }
    check(image.width > 0 && image.width <= 0x7FFF && image.height >= 0 && image.height <= 0x7FFF);
    // No picture may be much larger than the bytes it came from (a pixel per bit at most,
    // or 85 pixels per byte of a run-length stream).
    check(std::size_t(image.width) * std::size_t(image.height) <= size * 85 + 64);
    if (image.width * image.height > 0) {
        volatile std::uint8_t last = image.pixels[image.width * image.height - 1];
        (void)last;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HeadlessPlatform headless;
    headless.hideResource(ResourceType::RcData, 2);
    probe(size, [&](Image& image) { return image.loadFileImage(data, size); });
    headless.setResource(ResourceType::Bitmap, 2, std::vector<std::uint8_t>(data, data + size));
    probe(size, [&](Image& image) { return image.loadImage(headless, 2); });
    return 0;
}
