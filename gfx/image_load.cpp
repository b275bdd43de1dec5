// Loading Images from resources. Pictures travel in the run-length format "mzt/rle":
// seven magic bytes, width and height as big-endian 16-bit numbers, then a stream of
// tokens, a literal byte b != 0xFF for one pixel or 0xFF v n for n pixels of index v.
// The stream knows nothing of rows. When no run-length resource exists, an 8-bit bitmap is
// taken instead: a bitmap resource of that id; by name, a bitmap file or a run-length file.
//
// The data is read defensively: nothing is read past its end, nothing written past the
// Image, and a header that claims more than its data could hold is refused before any
// memory is allocated for it, so a damaged picture cannot ask for gigabytes.
#include "gfx/image.h"

#include "platform/little_endian.h"
#include "platform/resources.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace {
constexpr std::size_t rleHeaderSize = 11;
constexpr std::size_t rleFileHeaderSize = 15;
constexpr char rleMagic[] = "mzt/rle";
constexpr std::size_t rleMagicSize = 7;
// A run token of three bytes yields at most 255 pixels.
constexpr std::size_t mostPixelsPerByte = 85;

constexpr std::size_t bitmapInfoSize = 40;
constexpr std::size_t bitmapFileHeaderSize = 14;
constexpr std::uint32_t biRgb = 0, biBitfields = 3;
constexpr std::size_t largestFile = 64u << 20; // no picture of ours comes near this

// Whether a stream of `size` bytes could hold `count` pixels at all.
bool streamCanHold(std::size_t size, std::uint64_t count) {
    return count <= std::uint64_t(size) * mostPixelsPerByte;
}
} // namespace

std::size_t Image::decodeRle(const std::uint8_t* stream, std::size_t size, std::size_t count) {
    std::size_t o = 0, i = 0;
    while (o < count && i < size) {
        const std::uint8_t b = stream[i];
        if (b != 0xFF) {
            pixels[o++] = b;
            ++i;
            continue;
        }
        if (size - i < 3) {
            break; // a run token cut off by the end of the data
        }
        const std::uint8_t v = stream[i + 1];
        const std::size_t n = std::min<std::size_t>(stream[i + 2], count - o);
        std::memset(pixels + o, v, n);
        o += n;
        i += 3;
    }
    return o;
}

bool Image::loadRle(const Resources& resources, int resourceId) {
    std::span<const std::uint8_t> data = resources.resource(ResourceType::RcData, resourceId);
    if (data.size() < rleHeaderSize) {
        return false;
    }
    // The magic is not compared: the resource type already says what this is.
    const int w = data[7] << 8 | data[8];
    const int h = data[9] << 8 | data[10];
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const std::size_t streamSize = data.size() - rleHeaderSize;
    if (!streamCanHold(streamSize, count)) {
        return false;
    }
    resize(w, h);
    const std::size_t produced = decodeRle(data.data() + rleHeaderSize, streamSize, count);
    std::memset(pixels + produced, transparentIndex, count - produced);
    return true;
}

// A device-independent bitmap: a BITMAPINFOHEADER (or a longer one), the colour table,
// bottom-up rows padded to 4 bytes (top-down when the height is negative). The colour table
// is not read: its indices are the screen palette's.
bool Image::loadBitmap(const std::uint8_t* data, std::size_t size, std::size_t pixelOffset) {
    if (size < bitmapInfoSize) {
        return false;
    }
    const std::uint32_t headerSize = readLe32(data);
    const std::int32_t w = static_cast<std::int32_t>(readLe32(data + 4));
    const std::int32_t rawH = static_cast<std::int32_t>(readLe32(data + 8));
    const std::uint32_t bits = readLe16(data + 14);
    const std::uint32_t compression = readLe32(data + 16);
    const std::uint32_t coloursUsed = readLe32(data + 32);
    if (headerSize < bitmapInfoSize || headerSize > size || w <= 0 || w > 0x7FFF || rawH == 0 ||
        rawH < -0x7FFF || rawH > 0x7FFF) {
        return false;
    }
    const bool bitfields = compression == biBitfields && (bits == 16 || bits == 32);
    const bool knownDepth =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (!knownDepth || (compression != biRgb && !bitfields)) {
        return false; // compressed or unknown: not a bitmap we can take
    }
    // The colour table: colours used, or all that the depth can index; none above 8 bits.
    const std::uint32_t tableLimit = bits <= 8 ? 1u << bits : 0u;
    if (coloursUsed > std::max<std::uint32_t>(tableLimit, bits <= 8 ? 0 : 256)) {
        return false;
    }
    const std::size_t colours = coloursUsed != 0 ? coloursUsed : tableLimit;
    if (pixelOffset == 0) {
        const std::size_t masks = bitfields && headerSize == bitmapInfoSize ? 12 : 0;
        pixelOffset = headerSize + masks + 4 * colours;
    }
    const int h = rawH < 0 ? -rawH : rawH;
    const std::size_t stride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
    if (pixelOffset > size || (size - pixelOffset) / stride < static_cast<std::size_t>(h)) {
        return false; // the header claims more rows than the data holds
    }
    resize(w, h);
    if (bits != 8) {
        return true; // another depth: sized, pixels not set
    }
    for (int r = 0; r < h; ++r) {
        const int row = rawH < 0 ? r : h - 1 - r;
        std::memcpy(pixels + static_cast<std::size_t>(row) * w,
                    data + pixelOffset + static_cast<std::size_t>(r) * stride,
                    static_cast<std::size_t>(w));
    }
    return true;
}

bool Image::loadImage(const Resources& resources, int resourceId) {
    if (loadRle(resources, resourceId)) {
        return true;
    }
    std::span<const std::uint8_t> dib = resources.resource(ResourceType::Bitmap, resourceId);
    return !dib.empty() && loadBitmap(dib.data(), dib.size(), 0);
}

bool Image::loadImage(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    char buffer[65536];
    while (file && bytes.size() <= largestFile) {
        file.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + file.gcount());
    }
    if (bytes.size() > largestFile) {
        return false;
    }
    return loadFileImage(bytes.data(), bytes.size());
}

bool Image::loadFileImage(const std::uint8_t* data, std::size_t size) {
    // The file variant of the run-length format: the magic, then the pixel count and the
    // width as 32-bit little-endian numbers, then the stream to the end of the file.
    if (size >= rleMagicSize && std::memcmp(data, rleMagic, rleMagicSize) == 0) {
        if (size < rleFileHeaderSize) {
            return false;
        }
        const std::uint32_t count = readLe32(data + 7);
        const std::uint32_t w = readLe32(data + 11);
        const std::size_t streamSize = size - rleFileHeaderSize;
        if (w == 0 || w > 0x7FFF || count % w != 0 || count / w > 0x7FFF ||
            !streamCanHold(streamSize, count)) {
            return false;
        }
        resize(static_cast<int>(w), static_cast<int>(count / w));
        const std::size_t produced = decodeRle(data + rleFileHeaderSize, streamSize, count);
        std::memset(pixels + produced, transparentIndex, count - produced);
        return true;
    }
    // A bitmap file: a 14-byte file header ("BM", size, reserved, offset of the pixels).
    if (size >= bitmapFileHeaderSize + bitmapInfoSize && data[0] == 'B' && data[1] == 'M') {
        const std::uint32_t offset = readLe32(data + 10);
        if (offset < bitmapFileHeaderSize + bitmapInfoSize || offset > size) {
            return false;
        }
        return loadBitmap(data + bitmapFileHeaderSize, size - bitmapFileHeaderSize,
                          offset - bitmapFileHeaderSize);
    }
    return false;
}
