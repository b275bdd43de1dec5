// The picture loader: the run-length stream as golden cases (literals, runs, runs of 0,
// runs across rows, cut-off and truncated data), the resource header, the bitmap fallback
// from resources and files, the file variant of the run-length format, and refusing data
// whose header claims more than it holds. A refused or missing picture leaves the Image as
// it was.
#include "gfx/image.h"

#include "backends/headless/headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Bytes = std::vector<std::uint8_t>;

// Appends each value as `size` little-endian bytes.
void putLe(Bytes& b, std::initializer_list<std::uint32_t> values, int size = 4) {
    for (const std::uint32_t v : values) {
        for (int k = 0; k < size; ++k) {
            b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
        }
    }
}

// Byte by byte: GCC 12 misreads ranged inserts into these small vectors at -O3.
void append(Bytes& to, const Bytes& from) {
    for (const std::uint8_t v : from) {
        to.push_back(v);
    }
}

Bytes rleResource(int w, int h, const Bytes& stream) {
    Bytes b = {'m', 'z', 't', '/', 'r', 'l', 'e'};
    for (const int v : {w, h}) { // big-endian
        append(b, {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    }
    append(b, stream);
    return b;
}

Bytes rleFile(const char* magic, std::uint32_t count, std::uint32_t w, const Bytes& stream) {
    Bytes b(magic, magic + 7);
    putLe(b, {count, w});
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

// A bitmap without file header: BITMAPINFOHEADER, `colours` table entries, then `rows`
// (each already padded as the caller wants it).
Bytes dib(int w, int h, int bits, std::uint32_t colours, const Bytes& rows,
          std::uint32_t compression = 0) {
    Bytes b;
    putLe(b, {40, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)});
    putLe(b, {1, static_cast<std::uint32_t>(bits)}, 2);
    putLe(b, {compression, 0, 0, 0, colours, 0});
    b.resize(b.size() + 4 * colours, 0x55);
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

// A bitmap file: "BM", size, reserved, pixel offset, then the bitmap; `gap` bytes lie
// between the colour table and the pixels.
Bytes bitmapFile(const Bytes& bitmap, std::size_t tableEnd, std::size_t gap) {
    Bytes b = {'B', 'M'};
    putLe(b, {static_cast<std::uint32_t>(14 + bitmap.size() + gap), 0,
              static_cast<std::uint32_t>(14 + tableEnd + gap)});
    b.insert(b.end(), bitmap.begin(), bitmap.begin() + static_cast<std::ptrdiff_t>(tableEnd));
    b.resize(b.size() + gap, 0xEE);
    b.insert(b.end(), bitmap.begin() + static_cast<std::ptrdiff_t>(tableEnd), bitmap.end());
    return b;
}

// One load and what it must give: a picture of w x h with these pixels (empty: not
// checked), or a refusal that leaves the Image as it was.
struct LoadCase {
    const char* what;
    Bytes bytes;
    bool loads;
    int w = 0, h = 0;
    Bytes pixels = {};
};

template <typename Load> void expectLoad(const LoadCase& c, Load load) {
    Image image(4, 4);
    const Bytes before = pixelsOf(image);
    ASSERT_EQ(load(image), c.loads) << c.what;
    if (!c.loads) {
        EXPECT_EQ(image.width, 4) << c.what;
        EXPECT_EQ(image.height, 4) << c.what;
        EXPECT_EQ(pixelsOf(image), before) << c.what;
        return;
    }
    EXPECT_EQ(image.width, c.w) << c.what;
    EXPECT_EQ(image.height, c.h) << c.what;
    if (!c.pixels.empty()) {
        EXPECT_EQ(pixelsOf(image), c.pixels) << c.what;
    }
}
} // namespace

TEST(ImageLoad, DecodesLiteralsRunsAndCutData) {
    struct Case {
        const char* what;
        Bytes stream;
        std::size_t count;
        Bytes expected; // the first `count` pixels; 0xAA marks a pixel left alone
        std::size_t produced;
    };
    // clang-format off
    const Case cases[] = {
        {"a run then a literal", {0xFF, 0x70, 0x04, 0x76}, 5, {0x70, 0x70, 0x70, 0x70, 0x76}, 5},
        {"a run of 0 produces nothing", {0x01, 0xFF, 0x09, 0x00, 0x02}, 2, {0x01, 0x02}, 2},
        {"index 255 only as a run", {0xFF, 0xFF, 0x02, 0x00}, 3, {0xFF, 0xFF, 0x00}, 3},
        {"a run is cut at the count", {0xFF, 0x03, 0x0A}, 4, {3, 3, 3, 3}, 4},
        {"data ends early", {0x07}, 3, {0x07, 0xAA, 0xAA}, 1},
        {"a run token cut after its marker", {0x05, 0xFF}, 3, {0x05, 0xAA, 0xAA}, 1},
        {"a run token cut after its value", {0x05, 0xFF, 0x06}, 3, {0x05, 0xAA, 0xAA}, 1},
        {"nothing to decode", {}, 2, {0xAA, 0xAA}, 0},
        {"trailing bytes are not read", {0x01, 0x02, 0xFF}, 2, {0x01, 0x02}, 2},
        {"counts are unsigned", {0xFF, 0x04, 0xFF, 0xFF, 0x05, 0x80}, 3, {0x04, 0x04, 0x04}, 3},
        {"a run of 0 at the end", {0x06, 0xFF, 0x06, 0x00}, 2, {0x06, 0xAA}, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        Image image(static_cast<int>(c.count) + 4, 1);
        image.fillRect(0, 0, image.width, 1, 0xAA);
        // The stream in a buffer of exactly its size: the sanitizer sees any overread.
        const auto stream = std::make_unique<std::uint8_t[]>(c.stream.size());
        std::copy(c.stream.begin(), c.stream.end(), stream.get());
        EXPECT_EQ(image.decodeRle(stream.get(), c.stream.size(), c.count), c.produced) << c.what;
        Bytes expected = c.expected;
        expected.resize(c.count + 4, 0xAA); // nothing beyond `count` is written
        EXPECT_EQ(pixelsOf(image), expected) << c.what;
    }
}

TEST(ImageLoad, RunLengthResources) {
    HeadlessPlatform h;

    // The constructor keeps its 16 x 16 with the frame pattern when nothing loads.
    h.hideResource(ResourceType::RcData, 904);
    h.hideResource(ResourceType::Bitmap, 904);
    const Image missing(h, 904);
    EXPECT_EQ(pixelsOf(missing), pixelsOf(Image()));

    Bytes pixels258(258, transparentIndex);
    std::fill_n(pixels258.begin(), 250, 1);
    pixels258[250] = 2;
    // clang-format off
    const LoadCase cases[] = {
        {"width and height big-endian; the rest transparent where the stream ends early",
         rleResource(258, 1, {0xFF, 1, 250, 2}), true, 258, 1, pixels258},
        {"a header cut short", {'m', 'z', 't', '/', 'r', 'l', 'e', 0, 2, 0}, false},
        {"65535 x 65535 pixels from a few bytes", rleResource(0xFFFF, 0xFFFF, {0xFF, 1, 255}), false},
        {"no resource", {}, false},
    };
    // clang-format on
    for (const LoadCase& c : cases) {
        if (c.bytes.empty()) {
            h.hideResource(ResourceType::RcData, 902);
        } else {
            h.setResource(ResourceType::RcData, 902, c.bytes);
        }
        expectLoad(c, [&](Image& i) { return i.loadRle(h, 902); });
        expectLoad(c, [&](Image& i) { return i.loadImage(h, 902); });
    }
}

TEST(ImageLoad, BitmapResourceFallback) {
    HeadlessPlatform h;
    // 3 x 2 at 8 bits: rows of 3 bytes padded to 4, the bottom row first.
    const Bytes rows = {4, 5, 6, 0xEE, 1, 2, 3, 0xEE};
    Bytes cutShort = dib(3, 2, 8, 2, rows);
    cutShort.resize(30);
    Bytes fullTableAndRows(1024, 0x33);
    append(fullTableAndRows, rows);
    // clang-format off
    const LoadCase cases[] = {
        {"8 bits, bottom-up", dib(3, 2, 8, 2, rows), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"8 bits, top-down", dib(3, -2, 8, 2, rows), true, 3, 2, {4, 5, 6, 1, 2, 3}},
        {"8 bits, colours 0: a full table", dib(3, 2, 8, 0, fullTableAndRows), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"24 bits: sized, pixels not set", dib(2, 2, 24, 0, Bytes(16, 9)), true, 2, 2},
        {"16 bits with bit fields", dib(2, 1, 16, 0, Bytes(12 + 4, 0), 3), true, 2, 1},
        {"more rows than the data holds", dib(3, 20, 8, 2, rows), false},
        {"a 24-bit picture larger than its data", dib(30000, 30000, 24, 0, rows), false},
        {"300 colours at 8 bits", dib(3, 2, 8, 300, rows), false},
        {"run-length compressed", dib(3, 2, 8, 2, rows, 1), false},
        {"no width", dib(0, 2, 8, 2, rows), false},
        {"cut inside its header", cutShort, false},
    };
    // clang-format on
    h.hideResource(ResourceType::RcData, 910);
    for (const LoadCase& c : cases) {
        h.setResource(ResourceType::Bitmap, 910, c.bytes);
        expectLoad(c, [&](Image& i) { return i.loadImage(h, 910); });
    }
    // A run-length resource of the same id wins over the bitmap.
    h.setResource(ResourceType::RcData, 910, rleResource(1, 1, {7}));
    expectLoad({"run-length first", {}, true, 1, 1, {7}},
               [&](Image& i) { return i.loadImage(h, 910); });
}

TEST(ImageLoad, PictureFiles) {
    const Bytes table8 = dib(3, 2, 8, 2, {4, 5, 6, 0, 1, 2, 3, 0});
    const std::size_t tableEnd = 40 + 8;
    Bytes offsetBeyond = bitmapFile(table8, tableEnd, 0);
    offsetBeyond[10] = 0xF0;
    // clang-format off
    const LoadCase cases[] = {
        {"bitmap file", bitmapFile(table8, tableEnd, 0), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"bitmap file, pixels after a gap", bitmapFile(table8, tableEnd, 6), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"run-length file", rleFile("mzt/rle", 6, 3, {0xFF, 8, 4, 1, 2}), true, 3, 2, {8, 8, 8, 8, 1, 2}},
        {"run-length file cut short", rleFile("mzt/rle", 6, 2, {9}), true, 2, 3, {9, 236, 236, 236, 236, 236}},
        {"wrong magic", rleFile("mzt/rlf", 6, 3, {0xFF, 8, 6}), false},
        {"count not a multiple of the width", rleFile("mzt/rle", 7, 3, {0xFF, 8, 7}), false},
        {"width 0", rleFile("mzt/rle", 0, 0, {}), false},
        {"more pixels than the stream could hold", rleFile("mzt/rle", 30000 * 30000u, 30000, {0xFF, 1, 255}), false},
        {"magic alone", Bytes{'m', 'z', 't', '/', 'r', 'l', 'e', 1, 0}, false},
        {"pixel offset beyond the file", offsetBeyond, false},
        {"neither format", Bytes(80, 'x'), false},
    };
    // clang-format on
    for (const LoadCase& c : cases) {
        expectLoad(c, [&](Image& i) { return i.loadFileImage(c.bytes.data(), c.bytes.size()); });
    }
    // The same bytes through a file.
    const TempFile file(std::string(cases[0].bytes.begin(), cases[0].bytes.end()));
    expectLoad(cases[0], [&](Image& i) { return i.loadImage(file.path()); });
    expectLoad({"no such file", {}, false},
               [](Image& i) { return i.loadImage("/nonexistent/pingel/picture.bmp"); });
}
