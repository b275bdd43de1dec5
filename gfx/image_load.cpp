// Loading Images from resources. Pictures travel in the run-length format "mzt/rle":
// seven magic bytes, width and height as big-endian 16-bit numbers, then a stream of
// tokens, a literal byte b != 0xFF for one pixel or 0xFF v n for n pixels of index v.
// The stream knows nothing of rows. When no run-length resource exists, an 8-bit bitmap is
// taken instead: a bitmap resource of that id; by name, a bitmap file or a run-length file.
#include "gfx/image.h"

#include "platform/platform.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

namespace {
constexpr std::size_t rleHeaderSize = 11;

std::uint32_t le16(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}
std::uint32_t le32(const std::uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}
} // namespace

void Image::decodeRle(const std::uint8_t* stream, std::size_t size, std::size_t count) {
    std::size_t o = 0, i = 0;
    while (o < count && i < size) {
        const std::uint8_t b = stream[i];
        if (b != 0xFF) {
            pixels[o++] = b;
            ++i;
            continue;
        }
        if (i + 2 >= size) {
            return; // a run token cut off by the end of the data
        }
        const std::uint8_t v = stream[i + 1];
        const std::size_t n = std::min<std::size_t>(stream[i + 2], count - o);
        std::memset(pixels + o, v, n);
        o += n;
        i += 3;
    }
}

bool Image::loadRle(int resourceId) {
    std::span<const std::uint8_t> data = platform().resource(ResourceType::RcData, resourceId);
    if (data.size() < rleHeaderSize) {
        return false;
    }
    const int w = data[7] << 8 | data[8];
    const int h = data[9] << 8 | data[10];
    resize(w, h);
    decodeRle(data.data() + rleHeaderSize, data.size() - rleHeaderSize,
              static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    return true;
}

// An 8-bit device-independent bitmap: a BITMAPINFOHEADER, the colour table, bottom-up rows
// padded to 4 bytes. The colour table is not read: its indices are the screen palette's.
// A header that claims more pixels than the data holds is refused.
bool Image::loadBitmap(const std::uint8_t* data, std::size_t size, std::size_t pixelOffset) {
    if (size < 40) {
        return false;
    }
    const std::uint32_t headerSize = le32(data);
    const std::int32_t w = static_cast<std::int32_t>(le32(data + 4));
    const std::int32_t rawH = static_cast<std::int32_t>(le32(data + 8));
    const std::uint32_t bits = le16(data + 14);
    const std::uint32_t compression = le32(data + 16);
    std::uint32_t colours = le32(data + 32);
    if (headerSize < 40 || headerSize > size || w <= 0 || w > 0x7FFF || rawH == 0 ||
        rawH < -0x7FFF || rawH > 0x7FFF || compression != 0) {
        return false;
    }
    const bool topDown = rawH < 0;
    const int h = topDown ? -rawH : rawH;
    if (bits != 8) {
        resize(w, h); // another depth: sized, pixels not set
        return true;
    }
    if (colours == 0 || colours > 256) {
        colours = 256;
    }
    if (pixelOffset == 0) {
        pixelOffset = headerSize + 4 * static_cast<std::size_t>(colours);
    }
    const std::size_t stride = (static_cast<std::size_t>(w) + 3) & ~std::size_t(3);
    if (pixelOffset > size || (size - pixelOffset) / stride < static_cast<std::size_t>(h)) {
        return false;
    }
    resize(w, h);
    for (int r = 0; r < h; ++r) {
        const int row = topDown ? r : h - 1 - r;
        std::memcpy(pixels + static_cast<std::size_t>(row) * w,
                    data + pixelOffset + static_cast<std::size_t>(r) * stride,
                    static_cast<std::size_t>(w));
    }
    return true;
}

bool Image::loadImage(int resourceId) {
    if (loadRle(resourceId)) {
        return true;
    }
    std::span<const std::uint8_t> dib = platform().resource(ResourceType::Bitmap, resourceId);
    return !dib.empty() && loadBitmap(dib.data(), dib.size(), 0);
}

bool Image::loadImage(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t limit = 64u << 20; // no picture of ours comes near this
    char buffer[65536];
    while (file && bytes.size() < limit) {
        file.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + file.gcount());
    }
    // The file variant of the run-length format: magic, pixel count and width as 32-bit
    // little-endian numbers, then the stream.
    if (bytes.size() >= 15 && std::memcmp(bytes.data(), "mzt/rle", 7) == 0) {
        const std::uint32_t count = le32(bytes.data() + 7);
        const std::uint32_t w = le32(bytes.data() + 11);
        if (w == 0 || w > 0x7FFF || count % w != 0 || count / w > 0x7FFF) {
            return false;
        }
        resize(static_cast<int>(w), static_cast<int>(count / w));
        decodeRle(bytes.data() + 15, bytes.size() - 15, count);
        return true;
    }
    // A bitmap file: a 14-byte file header ("BM", size, reserved, offset of the pixels).
    if (bytes.size() >= 14 + 40 && bytes[0] == 'B' && bytes[1] == 'M') {
        const std::uint32_t offset = le32(bytes.data() + 10);
        if (offset < 14 + 40 || offset > bytes.size()) {
            return false;
        }
        return loadBitmap(bytes.data() + 14, bytes.size() - 14, offset - 14);
    }
    return false;
}
