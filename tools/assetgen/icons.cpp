// The desktop icon; see icons.h.
#include "tools/assetgen/icons.h"

#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace assetgen {

namespace {

struct Box {
    int x0, y0, x1, y1; // the opaque pixels' bounds, x1 and y1 excluded
};

Box opaqueBounds(const Image& image) {
    Box b{image.width, image.height, 0, 0};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.pixel(x, y) != ink::transparent) {
                b = {std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x + 1),
                     std::max(b.y1, y + 1)};
            }
        }
    }
    return b.x1 > b.x0 ? b : Box{0, 0, image.width, image.height};
}

} // namespace

std::vector<std::uint8_t> drawIcon(int size, const Palette& palette) {
    const auto penguin = drawPenguin(Facing::Down);
    const Box box = opaqueBounds(*penguin);
    const int w = box.x1 - box.x0, h = box.y1 - box.y0;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(size) * size * 4, 0);
    const int scale = std::min(size / w, size / h);
    if (scale >= 1) {
        // Each of his pixels a square block, centred.
        const int left = (size - w * scale) / 2, top = (size - h * scale) / 2;
        for (int y = 0; y < h * scale; ++y) {
            for (int x = 0; x < w * scale; ++x) {
                const std::uint8_t index = penguin->pixel(box.x0 + x / scale, box.y0 + y / scale);
                if (index == ink::transparent) {
                    continue;
                }
                std::uint8_t* p = &rgba[(static_cast<std::size_t>(top + y) * size + left + x) * 4];
                p[0] = palette[index].red;
                p[1] = palette[index].green;
                p[2] = palette[index].blue;
                p[3] = 255;
            }
        }
        return rgba;
    }
    // Smaller than he is: each icon pixel averages what it covers, 8 x 8 samples.
    const int big = std::max(w, h);
    const int left = (big - w) / 2, top = (big - h) / 2; // his place in a big x big square
    constexpr int samples = 8;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int red = 0, green = 0, blue = 0, opaque = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const int px = (x * samples + sx) * big / (size * samples) - left;
                    const int py = (y * samples + sy) * big / (size * samples) - top;
                    if (px < 0 || py < 0 || px >= w || py >= h) {
                        continue;
                    }
                    const std::uint8_t index = penguin->pixel(box.x0 + px, box.y0 + py);
                    if (index != ink::transparent) {
                        red += palette[index].red;
                        green += palette[index].green;
                        blue += palette[index].blue;
                        ++opaque;
                    }
                }
            }
            if (opaque > 0) {
                std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
                p[0] = static_cast<std::uint8_t>(red / opaque);
                p[1] = static_cast<std::uint8_t>(green / opaque);
                p[2] = static_cast<std::uint8_t>(blue / opaque);
                p[3] = static_cast<std::uint8_t>(opaque * 255 / (samples * samples));
            }
        }
    }
    return rgba;
}

bool writeIcons(const std::string& folder, const Palette& palette) {
    bool ok = true;
    for (int size : iconSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const std::string apps = folder + "/" + name + "/apps";
        std::error_code error;
        std::filesystem::create_directories(apps, error);
        const std::string path = apps + "/pingel.png";
        const std::vector<std::uint8_t> rgba = drawIcon(size, palette);
        if (stbi_write_png(path.c_str(), size, size, 4, rgba.data(), size * 4) == 0) {
            std::fprintf(stderr, "pingel-assetgen: cannot write %s\n", path.c_str());
            ok = false;
        }
    }
    return ok;
}

} // namespace assetgen
