// The desktop icon; see icons.h.
#include "tools/assetgen/icons.h"

#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <array>
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

void put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

// An icon image as Windows stores it: a BITMAPINFOHEADER of twice the height (colour and
// mask), the BGRA rows bottom-up, then the 1-bit mask rows (1 = transparent), each padded
// to four bytes.
std::vector<std::uint8_t> iconBitmap(int size, const std::vector<std::uint8_t>& rgba) {
    const int maskStride = (size + 31) / 32 * 4;
    std::vector<std::uint8_t> out;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, static_cast<std::uint32_t>(size * 2));
    put16(out, 1);  // planes
    put16(out, 32); // bits per pixel
    put32(out, 0);  // BI_RGB
    put32(out, static_cast<std::uint32_t>(size * size * 4 + maskStride * size));
    for (int i = 0; i < 4; ++i) {
        put32(out, 0); // resolution and colour counts
    }
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(maskStride), 0);
        for (int x = 0; x < size; ++x) {
            if (rgba[(static_cast<std::size_t>(y) * size + x) * 4 + 3] == 0) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
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

std::vector<std::uint8_t> windowsIcon(const Palette& palette) {
    constexpr std::array<int, 6> sizes = {16, 24, 32, 48, 64, 256};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        const std::vector<std::uint8_t> rgba = drawIcon(size, palette);
        if (size < 256) {
            images.push_back(iconBitmap(size, rgba));
        } else {
            images.emplace_back();
            if (stbi_write_png_to_func(appendBytes, &images.back(), size, size, 4, rgba.data(),
                                       size * 4) == 0) {
                return {};
            }
        }
    }
    // ICONDIR, one ICONDIRENTRY per image, then the images.
    std::vector<std::uint8_t> out;
    put16(out, 0);
    put16(out, 1); // an icon, not a cursor
    put16(out, static_cast<unsigned>(sizes.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(sizes[i] & 0xff)); // 0 means 256
        out.push_back(static_cast<std::uint8_t>(sizes[i] & 0xff));
        out.push_back(0); // no palette
        out.push_back(0);
        put16(out, 1);  // planes
        put16(out, 32); // bits per pixel
        put32(out, static_cast<std::uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        out.insert(out.end(), image.begin(), image.end());
    }
    return out;
}

} // namespace assetgen
