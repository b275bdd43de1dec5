// Reading the little-endian numbers of the resource formats (bitmap headers, wave headers,
// the run-length picture files) byte by byte, so that the result is the same on every
// host whatever its own byte order and alignment. Both the backends and the picture
// loaders read with these; the caller has checked that the bytes are there.
#pragma once

#include <cstdint>

inline std::uint32_t readLe16(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

inline std::uint32_t readLe32(const std::uint8_t* p) {
    return readLe16(p) | readLe16(p + 2) << 16;
}
