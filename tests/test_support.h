// Small helpers shared by the tests.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
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

// A run-length image resource ("mzt/rle"): width x height pixels of one palette index.
inline std::vector<std::uint8_t> makeRle(int width, int height, std::uint8_t index) {
    std::vector<std::uint8_t> rle = {'m', 'z', 't', '/', 'r', 'l', 'e'};
    rle.push_back(static_cast<std::uint8_t>(width >> 8));
    rle.push_back(static_cast<std::uint8_t>(width));
    rle.push_back(static_cast<std::uint8_t>(height >> 8));
    rle.push_back(static_cast<std::uint8_t>(height));
    for (int left = width * height; left > 0; left -= 255) {
        rle.push_back(0xFF);
        rle.push_back(index);
        rle.push_back(static_cast<std::uint8_t>(left < 255 ? left : 255));
    }
    return rle;
}

// A silent wave resource of `ms` milliseconds: PCM, 8000 Hz, 8-bit, mono.
inline std::vector<std::uint8_t> makeWav(int ms) {
    const std::uint32_t data = static_cast<std::uint32_t>(ms) * 8;
    std::vector<std::uint8_t> wav;
    auto text = [&](const char* t) { wav.insert(wav.end(), t, t + 4); };
    auto put = [&](std::uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k) {
            wav.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
        }
    };
    text("RIFF");
    put(36 + data, 4);
    text("WAVE");
    text("fmt ");
    put(16, 4);
    put(1, 2);    // PCM
    put(1, 2);    // mono
    put(8000, 4); // samples per second
    put(8000, 4); // bytes per second
    put(1, 2);    // block align
    put(8, 2);    // bits per sample
    text("data");
    put(data, 4);
    wav.insert(wav.end(), data, 0x80);
    return wav;
}
