// Walks the pixels stretch by stretch (a stretch: equal pixels in a row, ignoring rows).
#include "tools/assetgen/rle_encoder.h"

#include "gfx/image.h"

namespace assetgen {
namespace {
constexpr std::uint8_t runMarker = 0xFF;
constexpr std::size_t shortestRun = 4;
constexpr std::size_t longestRun = 255;
} // namespace

std::vector<std::uint8_t> encodeRleStream(const std::uint8_t* pixels, std::size_t count) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < count) {
        const std::uint8_t v = pixels[i];
        std::size_t length = 1;
        while (i + length < count && pixels[i + length] == v) {
            ++length;
        }
        if (length >= shortestRun || v == runMarker) {
            for (std::size_t left = length; left > 0;) {
                const std::size_t n = left < longestRun ? left : longestRun;
                out.push_back(runMarker);
                out.push_back(v);
                out.push_back(static_cast<std::uint8_t>(n));
                left -= n;
            }
        } else {
            out.insert(out.end(), length, v);
        }
        i += length;
    }
    return out;
}

std::vector<std::uint8_t> encodeRle(const Image& image) {
    std::vector<std::uint8_t> out = {'m', 'z', 't', '/', 'r', 'l', 'e'};
    for (std::int32_t n : {image.width, image.height}) {
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(n));
    }
    const std::vector<std::uint8_t> stream =
        encodeRleStream(image.pixels, static_cast<std::size_t>(image.width) *
                                          static_cast<std::size_t>(image.height));
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

} // namespace assetgen
