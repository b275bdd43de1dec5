// The picture loader: the run-length stream (literals, runs, runs of 0, runs across rows,
// cut-off and truncated data), the resource header, the bitmap fallback from resources and
// files, the file variant of the run-length format, and refusing data whose header claims
// more than it holds. A refused or missing picture leaves the Image as it was.
#include "gfx/image.h"

#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<std::uint8_t>;

void put16be(Bytes& b, int v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void put32le(Bytes& b, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    }
}

Bytes rleResource(int w, int h, const Bytes& stream) {
    Bytes b = {'m', 'z', 't', '/', 'r', 'l', 'e'};
    put16be(b, w);
    put16be(b, h);
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

Bytes rleFile(const char* magic, std::uint32_t count, std::uint32_t w, const Bytes& stream) {
    Bytes b(magic, magic + 7);
    put32le(b, count);
    put32le(b, w);
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

// A bitmap without file header: BITMAPINFOHEADER, `colours` table entries, then `rows`
// (each already padded as the caller wants it).
Bytes dib(int w, int h, int bits, std::uint32_t colours, const Bytes& rows,
          std::uint32_t compression = 0) {
    Bytes b;
    put32le(b, 40);
    put32le(b, static_cast<std::uint32_t>(w));
    put32le(b, static_cast<std::uint32_t>(h));
    b.push_back(1);
    b.push_back(0);
    b.push_back(static_cast<std::uint8_t>(bits));
    b.push_back(0);
    put32le(b, compression);
    for (int k = 0; k < 3; ++k) {
        put32le(b, 0);
    }
    put32le(b, colours);
    put32le(b, 0);
    b.resize(b.size() + 4 * colours, 0x55);
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

// A bitmap file: "BM", size, reserved, pixel offset, then the bitmap; `gap` bytes lie
// between the colour table and the pixels.
Bytes bitmapFile(const Bytes& bitmap, std::size_t tableEnd, std::size_t gap) {
    Bytes b = {'B', 'M'};
    put32le(b, static_cast<std::uint32_t>(14 + bitmap.size() + gap));
    put32le(b, 0);
    put32le(b, static_cast<std::uint32_t>(14 + tableEnd + gap));
    b.insert(b.end(), bitmap.begin(), bitmap.begin() + static_cast<std::ptrdiff_t>(tableEnd));
    b.resize(b.size() + gap, 0xEE);
    b.insert(b.end(), bitmap.begin() + static_cast<std::ptrdiff_t>(tableEnd), bitmap.end());
    return b;
}

Bytes pixelsOf(const Image& image) {
    return {image.pixels, image.pixels + image.width * image.height};
}

// A file in the temporary folder, removed again with the guard.
struct TempFile {
    std::filesystem::path path;
    explicit TempFile(const Bytes& bytes) {
        static int serial = 0;
        path = std::filesystem::temp_directory_path() /
               ("pingel_image_load_" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
                std::to_string(serial++));
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { std::filesystem::remove(path); }
};

// The Image as a test sees it before a load that must not touch it.
struct Snapshot {
    int w, h;
    Bytes pixels;
    explicit Snapshot(const Image& i) : w(i.width), h(i.height), pixels(pixelsOf(i)) {}
    bool same(const Image& i) const {
        return i.width == w && i.height == h && pixelsOf(i) == pixels;
    }
};

// What the stream means, written plainly, to compare the decoder with.
Bytes referenceDecode(const Bytes& s, std::size_t count, Bytes out) {
    std::size_t o = 0;
    for (std::size_t i = 0; i < s.size() && o < count;) {
        if (s[i] != 0xFF) {
            out[o++] = s[i++];
        } else if (i + 2 < s.size()) {
            for (int k = 0; k < s[i + 2] && o < count; ++k) {
                out[o++] = s[i + 1];
            }
            i += 3;
        } else {
            break;
        }
    }
    return out;
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

TEST(ImageLoad, DecoderNeverLeavesItsBoundsWhateverTheBytes) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t count = random() % 64;
        Bytes stream(random() % 40);
        for (std::uint8_t& b : stream) {
            // Plenty of run markers, and counts of every size.
            b = random() % 3 == 0 ? 0xFF : static_cast<std::uint8_t>(random());
        }
        Image image(static_cast<int>(count) + 8, 1);
        image.fillRect(0, 0, image.width, 1, 0xAA);
        const Bytes before = pixelsOf(image);
        const auto buffer = std::make_unique<std::uint8_t[]>(stream.size() + 1);
        std::copy(stream.begin(), stream.end(), buffer.get());
        image.decodeRle(buffer.get(), stream.size(), count);
        ASSERT_EQ(pixelsOf(image), referenceDecode(stream, count, before)) << "round " << round;
    }
}

TEST(ImageLoad, RunLengthResources) {
    HeadlessScope scope;
    HeadlessPlatform& h = scope.headless;

    // Width and height are big-endian: 0x01A5 x 0x010F is 421 x 271.
    Bytes full;
    for (std::size_t left = 421 * 271; left > 0;) {
        const std::size_t n = std::min<std::size_t>(left, 255);
        full.insert(full.end(), {0xFF, 201, static_cast<std::uint8_t>(n)});
        left -= n;
    }
    h.setResource(ResourceType::RcData, 900, rleResource(421, 271, full));
    EXPECT_EQ(h.resource(ResourceType::RcData, 900)[7], 0x01);
    EXPECT_EQ(h.resource(ResourceType::RcData, 900)[8], 0xA5);
    Image background(900);
    EXPECT_EQ(background.width, 421);
    EXPECT_EQ(background.height, 271);
    EXPECT_EQ(background.pixel(420, 270), 201);

    // A run of 255 that starts 10 pixels before the end of a row carries on into the next
    // rows; where the stream ends early the rest of the picture is transparent.
    h.setResource(ResourceType::RcData, 901,
                  rleResource(100, 4, {0xFF, 1, 90, 0xFF, 2, 255, 0xFF, 3}));
    Image image;
    ASSERT_TRUE(image.loadRle(901));
    ASSERT_EQ(image.width, 100);
    ASSERT_EQ(image.height, 4);
    EXPECT_EQ(image.pixel(89, 0), 1);
    EXPECT_EQ(image.pixel(90, 0), 2);
    EXPECT_EQ(image.pixel(0, 1), 2);
    EXPECT_EQ(image.pixel(44, 3), 2);
    EXPECT_EQ(image.pixel(45, 3), transparentIndex);
    EXPECT_EQ(image.pixel(99, 3), transparentIndex);

    // Refused without touching the Image: no resource, a header cut short, and a header
    // claiming 65535 x 65535 pixels from a stream of a few bytes.
    h.setResource(ResourceType::RcData, 902, {'m', 'z', 't', '/', 'r', 'l', 'e', 0, 2, 0});
    h.setResource(ResourceType::RcData, 903, rleResource(0xFFFF, 0xFFFF, {0xFF, 1, 255}));
    h.hideResource(ResourceType::Bitmap, 904);
    for (int id : {904, 902, 903}) {
        Image unchanged(3, 2);
        const Snapshot before(unchanged);
        EXPECT_FALSE(unchanged.loadRle(id)) << id;
        EXPECT_FALSE(unchanged.loadImage(id)) << id;
        EXPECT_TRUE(before.same(unchanged)) << id;
    }
    // The constructor keeps its 16 x 16 when nothing loads.
    Image missing(904);
    EXPECT_EQ(missing.width, 16);
    EXPECT_EQ(missing.height, 16);
}

TEST(ImageLoad, BitmapResourceFallback) {
    HeadlessScope scope;
    HeadlessPlatform& h = scope.headless;
    // 3 x 2 at 8 bits: rows of 3 bytes padded to 4, the bottom row first.
    const Bytes rows = {4, 5, 6, 0xEE, 1, 2, 3, 0xEE};
    Bytes cutShort = dib(3, 2, 8, 2, rows);
    cutShort.resize(30);
    Bytes fullTableAndRows(1024, 0x33);
    fullTableAndRows.insert(fullTableAndRows.end(), rows.begin(), rows.end());
    struct Case {
        const char* what;
        Bytes bitmap;
        bool loads;
        int w, h;
        Bytes pixels; // empty: not checked
    };
    // clang-format off
    const Case cases[] = {
        {"8 bits, bottom-up", dib(3, 2, 8, 2, rows), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"8 bits, top-down", dib(3, -2, 8, 2, rows), true, 3, 2, {4, 5, 6, 1, 2, 3}},
        {"8 bits, colours 0: a full table", dib(3, 2, 8, 0, fullTableAndRows), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"24 bits: sized, pixels not set", dib(2, 2, 24, 0, Bytes(16, 9)), true, 2, 2, {}},
        {"16 bits with bit fields", dib(2, 1, 16, 0, Bytes(12 + 4, 0), 3), true, 2, 1, {}},
        {"more rows than the data holds", dib(3, 20, 8, 2, rows), false, 0, 0, {}},
        {"a 24-bit picture larger than its data", dib(30000, 30000, 24, 0, rows), false, 0, 0, {}},
        {"300 colours at 8 bits", dib(3, 2, 8, 300, rows), false, 0, 0, {}},
        {"run-length compressed", dib(3, 2, 8, 2, rows, 1), false, 0, 0, {}},
        {"no width", dib(0, 2, 8, 2, rows), false, 0, 0, {}},
        {"cut inside its header", cutShort, false, 0, 0, {}},
};
    // clang-format on
    for (const Case& c : cases) {
        h.hideResource(ResourceType::RcData, 910);
        h.setResource(ResourceType::Bitmap, 910, c.bitmap);
        Image image(5, 5);
        const Snapshot before(image);
        ASSERT_EQ(image.loadImage(910), c.loads) << c.what;
        if (!c.loads) {
            EXPECT_TRUE(before.same(image)) << c.what;
            continue;
        }
        EXPECT_EQ(image.width, c.w) << c.what;
        EXPECT_EQ(image.height, c.h) << c.what;
        if (!c.pixels.empty()) {
            EXPECT_EQ(pixelsOf(image), c.pixels) << c.what;
        }
    }
    // A run-length resource of the same id wins over the bitmap.
    h.setResource(ResourceType::RcData, 910, rleResource(1, 1, {7}));
    Image image;
    ASSERT_TRUE(image.loadImage(910));
    EXPECT_EQ(image.width, 1);
    EXPECT_EQ(image.pixel(0, 0), 7);
}

TEST(ImageLoad, PictureFiles) {
    const Bytes table8 = dib(3, 2, 8, 2, {4, 5, 6, 0, 1, 2, 3, 0});
    const std::size_t tableEnd = 40 + 8;
    struct Case {
        const char* what;
        Bytes file;
        bool loads;
        int w, h;
        Bytes pixels;
    };
    // clang-format off
    const Case cases[] = {
        {"bitmap file", bitmapFile(table8, tableEnd, 0), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"bitmap file, pixels after a gap", bitmapFile(table8, tableEnd, 6), true, 3, 2, {1, 2, 3, 4, 5, 6}},
        {"run-length file", rleFile("mzt/rle", 6, 3, {0xFF, 8, 4, 1, 2}), true, 3, 2, {8, 8, 8, 8, 1, 2}},
        {"run-length file cut short", rleFile("mzt/rle", 6, 2, {9}), true, 2, 3, {9, 236, 236, 236, 236, 236}},
        {"wrong magic", rleFile("mzt/rlf", 6, 3, {0xFF, 8, 6}), false, 0, 0, {}},
        {"count not a multiple of the width", rleFile("mzt/rle", 7, 3, {0xFF, 8, 7}), false, 0, 0, {}},
        {"width 0", rleFile("mzt/rle", 0, 0, {}), false, 0, 0, {}},
        {"more pixels than the stream could hold", rleFile("mzt/rle", 30000 * 30000u, 30000, {0xFF, 1, 255}), false, 0, 0, {}},
        {"magic alone", Bytes{'m', 'z', 't', '/', 'r', 'l', 'e', 1, 0}, false, 0, 0, {}},
        {"pixel offset beyond the file", [&] { Bytes b = bitmapFile(table8, tableEnd, 0); b[10] = 0xF0; return b; }(), false, 0, 0, {}},
        {"neither format", Bytes(80, 'x'), false, 0, 0, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        const TempFile file(c.file);
        Image image(4, 4);
        const Snapshot before(image);
        ASSERT_EQ(image.loadImage(file.path.string()), c.loads) << c.what;
        if (!c.loads) {
            EXPECT_TRUE(before.same(image)) << c.what;
            continue;
        }
        EXPECT_EQ(image.width, c.w) << c.what;
        EXPECT_EQ(image.height, c.h) << c.what;
        EXPECT_EQ(pixelsOf(image), c.pixels) << c.what;
    }
    Image image(4, 4);
    const Snapshot before(image);
    EXPECT_FALSE(image.loadImage("/nonexistent/pingel/picture.bmp"));
    EXPECT_TRUE(before.same(image));
}
