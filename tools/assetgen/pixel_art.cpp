// The drawing helpers.
#include "tools/assetgen/pixel_art.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace assetgen {

void fail(const std::string& what) {
    std::fprintf(stderr, "pingel-assetgen: %s\n", what.c_str());
    std::exit(1);
}

std::unique_ptr<Image> canvas(int w, int h, std::uint8_t fill) {
    auto image = std::make_unique<Image>(w, h);
    image->fillRect(0, 0, w, h, fill);
    return image;
}

void put(Image& image, int x, int y, std::uint8_t colour) {
    if (x >= 0 && y >= 0 && x < image.width && y < image.height) {
        image.pixels[static_cast<std::size_t>(y) * image.width + x] = colour;
    }
}

std::uint8_t at(const Image& image, int x, int y, std::uint8_t outside) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) {
        return outside;
    }
    return image.pixels[static_cast<std::size_t>(y) * image.width + x];
}

void stamp(Image& image, int x, int y, std::span<const char* const> rows,
           std::initializer_list<Ink> legend) {
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const char* row = rows[r];
        for (int c = 0; row[c] != '\0'; ++c) {
            if (row[c] == '.') {
                continue;
            }
            bool found = false;
            for (const Ink& ink : legend) {
                if (ink.key == row[c]) {
                    put(image, x + c, y + static_cast<int>(r), ink.index);
                    found = true;
                }
            }
            require(found, std::string("pixel map uses '") + row[c] + "' outside its legend");
        }
    }
}

std::unique_ptr<Image> mirrored(const Image& image) {
    auto out = canvas(image.width, image.height, 0);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            put(*out, image.width - 1 - x, y, image.pixel(x, y));
        }
    }
    return out;
}

std::unique_ptr<Image> flipped(const Image& image) {
    auto out = canvas(image.width, image.height, 0);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            put(*out, x, image.height - 1 - y, image.pixel(x, y));
        }
    }
    return out;
}

void fillEllipse(Image& image, int cx2, int cy2, int rx2, int ry2, std::uint8_t colour) {
    const std::int64_t a2 = std::int64_t(rx2) * rx2, b2 = std::int64_t(ry2) * ry2;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::int64_t dx = 2 * x + 1 - cx2, dy = 2 * y + 1 - cy2;
            if (dx * dx * b2 + dy * dy * a2 <= a2 * b2) {
                put(image, x, y, colour);
            }
        }
    }
}

namespace {
// Inside a rounded rectangle: outside the corner squares, or within radius of the corner's
// centre.
bool insideRound(int px, int py, int x, int y, int w, int h, int r) {
    if (px < x || py < y || px >= x + w || py >= y + h) {
        return false;
    }
    const int cx = px < x + r ? x + r : (px >= x + w - r ? x + w - r : px);
    const int cy = py < y + r ? y + r : (py >= y + h - r ? y + h - r : py);
    if (cx == px || cy == py) {
        return true;
    }
    // Pixel centres against the corner circle, in half pixels.
    const int dx = 2 * px + 1 - 2 * cx, dy = 2 * py + 1 - 2 * cy;
    return dx * dx + dy * dy <= 4 * r * r + 2;
}
} // namespace

void fillRoundRect(Image& image, int x, int y, int w, int h, int r, std::uint8_t colour) {
    for (int py = y; py < y + h; ++py) {
        for (int px = x; px < x + w; ++px) {
            if (insideRound(px, py, x, y, w, h, r)) {
                put(image, px, py, colour);
            }
        }
    }
}

void frameRoundRect(Image& image, int x, int y, int w, int h, int r, std::uint8_t colour) {
    for (int py = y; py < y + h; ++py) {
        for (int px = x; px < x + w; ++px) {
            if (!insideRound(px, py, x, y, w, h, r)) {
                continue;
            }
            const bool rim = !insideRound(px - 1, py, x, y, w, h, r) ||
                             !insideRound(px + 1, py, x, y, w, h, r) ||
                             !insideRound(px, py - 1, x, y, w, h, r) ||
                             !insideRound(px, py + 1, x, y, w, h, r);
            if (rim) {
                put(image, px, py, colour);
            }
        }
    }
}

void outline(Image& image, std::uint8_t background, std::uint8_t colour, bool diagonals) {
    std::vector<std::uint8_t> before(image.pixels,
                                     image.pixels + std::size_t(image.width) * image.height);
    auto solid = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < image.width && y < image.height &&
               before[std::size_t(y) * image.width + x] != background;
    };
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (solid(x, y)) {
                continue;
            }
            bool touches = solid(x - 1, y) || solid(x + 1, y) || solid(x, y - 1) || solid(x, y + 1);
            if (diagonals) {
                touches = touches || solid(x - 1, y - 1) || solid(x + 1, y - 1) ||
                          solid(x - 1, y + 1) || solid(x + 1, y + 1);
            }
            if (touches) {
                put(image, x, y, colour);
            }
        }
    }
}

std::unique_ptr<Image> scale2x(const Image& image) {
    auto out = canvas(image.width * 2, image.height * 2, 0);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t p = image.pixel(x, y);
            const std::uint8_t a = at(image, x, y - 1, p), b = at(image, x + 1, y, p);
            const std::uint8_t c = at(image, x - 1, y, p), d = at(image, x, y + 1, p);
            put(*out, 2 * x, 2 * y, (c == a && c != d && a != b) ? a : p);
            put(*out, 2 * x + 1, 2 * y, (a == b && a != c && b != d) ? b : p);
            put(*out, 2 * x, 2 * y + 1, (d == c && d != b && c != a) ? c : p);
            put(*out, 2 * x + 1, 2 * y + 1, (b == d && b != a && d != c) ? d : p);
        }
    }
    return out;
}

void recolour(Image& image, std::uint8_t from, std::uint8_t to) {
    const std::size_t n = std::size_t(image.width) * image.height;
    for (std::size_t i = 0; i < n; ++i) {
        if (image.pixels[i] == from) {
            image.pixels[i] = to;
        }
    }
}

} // namespace assetgen
