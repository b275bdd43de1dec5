// Small helpers shared by the tests and the benchmark: resources made in memory, a set of
// stand-in pictures for a whole game, the headless platform as a shell's seams, an image's
// pixels and the objects of a list.
#pragma once

#include "app/main_loop.h"
#include "backends/headless/headless.h"
#include "game/object_list.h"
#include "gfx/image.h"
#include "gfx/resource_ids.h"
#include "platform/screen_size.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
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

// Colours of the stand-in pictures.
constexpr std::uint8_t backgroundInk = 1, pelletInk = 60, pillInk = 61, gameOverInk = 100;
constexpr std::uint8_t playerInk = 70; // + 0..3: up, right, down, left
constexpr std::uint8_t enemyInk = 80;  // + 0..3
constexpr std::uint8_t bannerInk = 90; // + 0..8: levels 2..10
constexpr std::uint8_t digitInk = 40;  // + 0..9

// Stand-ins of the game's pictures, of their sizes and each of one colour (the palette and
// the sounds are the game's own, which the headless platform serves by default).
inline void installStandInArt(HeadlessPlatform& h) {
    namespace ids = resource_ids;
    h.setResource(ResourceType::RcData, ids::background,
                  makeRle(screen_size::width, screen_size::height, backgroundInk));
    for (int d = 0; d < 10; ++d) {
        h.setResource(ResourceType::RcData, ids::digitZero + d,
                      makeRle(d == 4 ? 7 : 6, d == 4 ? 9 : 8, std::uint8_t(digitInk + d)));
    }
    h.setResource(ResourceType::RcData, ids::pellet, makeRle(6, 6, pelletInk));
    h.setResource(ResourceType::RcData, ids::pill, makeRle(18, 18, pillInk));
    h.setResource(ResourceType::RcData, ids::gameOverBanner, makeRle(156, 14, gameOverInk));
    for (int i = 0; i < 4; ++i) {
        h.setResource(ResourceType::RcData, ids::playerSprites[i],
                      makeRle(24, 24, std::uint8_t(playerInk + i)));
        h.setResource(ResourceType::RcData, ids::enemySprites[i],
                      makeRle(17, 11, std::uint8_t(enemyInk + i)));
    }
    for (int i = 0; i < 9; ++i) {
        h.setResource(ResourceType::RcData, ids::levelBanners[i],
                      makeRle(265, 10, std::uint8_t(bannerInk + i)));
    }
}

// The headless platform as every seam of a shell, with `http` for the highscores.
inline ShellSeams headlessSeams(HeadlessPlatform& h, HttpClient& http) {
    return {h, h, h, h, h, h, h, http};
}

// Every pixel of an image, row by row.
inline std::vector<std::uint8_t> pixelsOf(const Image& image) {
    return {image.pixels, image.pixels + image.width * image.height};
}

// The objects of a list in order (the cursor is left at the end).
template <class T = ListedObject> std::vector<T*> listed(ObjectList& list) {
    std::vector<T*> out;
    list.rewind();
    while (ListedObject* o = list.next()) {
        out.push_back(static_cast<T*>(o));
    }
    return out;
}

// A file of the given bytes in the temporary folder, removed with the guard.
class TempFile {
  public:
    explicit TempFile(const std::string& bytes) {
        static int serial = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("pingel_test_file_" + std::to_string(++serial) + "_" +
                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::string path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};
