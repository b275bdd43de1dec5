// The run-length encoder for the picture resources "mzt/rle": seven magic bytes, width and
// height as big-endian 16-bit numbers, then tokens (a literal byte b != 0xFF for one
// pixel, or 0xFF v n for n pixels of index v). Our resources keep one stored form: every
// stretch of four or more equal pixels becomes runs of at most 255 (a longer stretch is
// cut into several runs, the last one taking what is left, however short), stretches of
// one to three are literals, and index 255, which has no literal, is always a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class Image;

namespace assetgen {

// The token stream of `count` pixels.
std::vector<std::uint8_t> encodeRleStream(const std::uint8_t* pixels, std::size_t count);
// A whole resource: header and stream. The Image must be at most 65535 x 65535.
std::vector<std::uint8_t> encodeRle(const Image& image);

} // namespace assetgen
