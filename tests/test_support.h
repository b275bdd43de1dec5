// Small helpers shared by the tests.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <vector>

// A 1 x 1 pixel, 8-bit bitmap resource (no file header) with `colours` colour-table
// entries; entry i is (i, 255 - i, i / 2).
inline std::vector<std::uint8_t> makePaletteDib(int colours) {
    std::vector<std::uint8_t> dib(40 + 4 * colours + 4, 0);
    auto put32 = [&](int at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) {
            dib[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    };
    put32(0, 40);
    put32(4, 1);
    put32(8, 1);
    dib[12] = 1;
    dib[14] = 8;
    put32(32, static_cast<std::uint32_t>(colours));
    for (int i = 0; i < colours; ++i) {
        dib[40 + 4 * i + 0] = static_cast<std::uint8_t>(i / 2);
        dib[40 + 4 * i + 1] = static_cast<std::uint8_t>(255 - i);
        dib[40 + 4 * i + 2] = static_cast<std::uint8_t>(i);
    }
    return dib;
}
