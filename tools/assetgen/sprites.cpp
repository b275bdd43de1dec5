// The small pictures: the penguin in four facings, the butterflies in four, the pellet,
// the pill, the ten score digits and the two spare pictures. The penguin and the
// butterflies are pixel maps; a facing that is the mirror image of another is mirrored in
// code. The front and back views are drawn as left halves and mirrored onto the right.
#include "tools/assetgen/font.h"
#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"
#include "tools/assetgen/pixel_art.h"

#include <string>
#include <vector>

namespace assetgen {
namespace {

using namespace ink;

// The penguin's inks.
const std::initializer_list<Ink> penguinInks = {
    {'k', ink::ink}, {'n', navy},  {'h', navyLight}, {'s', slate}, {'W', white},
    {'g', mist},     {'f', frost}, {'e', black},     {'E', white}, {'y', sun},
    {'O', amber},    {'o', rust},  {'p', blush},
};

// clang-format off
const char* const penguinSide[] = {
    "........................",
    ".........kkkkkk.........",
    ".......kknnnnnnkk.......",
    "......knnnnnnnnnnk......",
    ".....knhhnnnnnnnnnk.....",
    ".....knhnnnnnnWWWWk.....",
    "....knhnnnnnnWWWeeWk....",
    "....knnnnnnnnWWWeEWk....",
    "....knnnnnnnnWWWeeWkkk..",
    "....knnnnnnnnnWWWWkyyyk.",
    "....knnnnnnnnnWpWWkOOok.",
    "...knnnnnnnnnnWWWWWkkk..",
    "...knnnhnnnnnnWWWWWWk...",
    "...knnnhhnnnnnWWWWWWk...",
    "...knnnnhnnnnWWWWWWWWk..",
    "...knnnnhhnnnWWWWWWWWk..",
    "...knnnnnhnnnWWWWWWWgk..",
    "....knnnnnhnnWWWWWWWgk..",
    "....knnnnnnnnWWWWWWggk..",
    ".....knnnnnnnWWWWWggk...",
    "......kknnnnnWWggggkk...",
    "........kkkkkkkkkkk.....",
    ".......kyOOOk.kyOOOOk...",
    "........kkkk...kkkkk....",
};

// Left halves (columns 0 to 11); the right half is their mirror image.
const char* const penguinFrontHalf[] = {
    "............",
    ".........kkk",
    ".......kknnn",
    "......knnnnn",
    ".....knhnnnn",
    ".....knnWWWn",
    "....knnWWWWW",
    "....knWWWeWW",
    "....knWWWeWW",
    "....knpWWWWy",
    "...knnWWWWWo",
    "...knnWWWWWW",
    "..knnnWWWWWW",
    "..knnWWWWWWW",
    ".knnnWWWWWWW",
    ".knnkWWWWWWW",
    "knnk.kWWWWWW",
    "kkk..kWWWWWW",
    ".....kgWWWWW",
    ".....kggWWWW",
    "......kkgggg",
    ".......kkkkk",
    "......kyOOOk",
    ".......kkkk.",
};

const char* const penguinBackHalf[] = {
    "............",
    ".........kkk",
    ".......kknnn",
    "......knnsss",
    ".....knnshhh",
    ".....knnnhhn",
    "....knnnnnnn",
    "....knnnnnnn",
    "....knnnnnnn",
    "....knnnnnnn",
    "...knnnnnnnn",
    "...knnnnnnnn",
    "..knnnknnnnn",
    "..knnknnnnnn",
    ".knnnknnnnnn",
    ".knnk.knnnnn",
    "knnk..knnnnn",
    "kkk...knnnnn",
    ".....knnnnnn",
    ".....knnnnnn",
    "......kknnkn",
    ".......kkkkk",
    "......kyOOOk",
    ".......kkkk.",
};

// The butterfly from above, flying up: wings spread left and right.
const char* const butterflyTop[] = {
    ".....k.....k.....",
    "......k...k......",
    ".kkk...kbk...kkk.",
    "kRRRkk.kbk.kkRRRk",
    "kRywRRkkbkkRRwyRk",
    "kRRRRppkbkppRRRRk",
    ".kRRpppkbkpppRRk.",
    "..kkvvvkbkvvvkk..",
    ".kvvvvvkbkvvvvvk.",
    ".kvvvvk.k.kvvvvk.",
    "..kkkk.....kkkk..",
};

// The butterfly from above, flying right: its body along the picture, its wings spread
// up and down, the bigger forewings nearer the head.
const char* const butterflySide[] = {
    "...kkkk...kkkkk..",
    "..kvvvvk.kRRRRRk.",
    "..kvvvvkkRRwyRRk.",
    "...kvvvkkRRRRRk..",
    "....kkkkkppppkk.k",
    "..kbbbbbbbbbbbbkk",
    "....kkkkkppppkk.k",
    "...kvvvkkRRRRRk..",
    "..kvvvvkkRRwyRRk.",
    "..kvvvvk.kRRRRRk.",
    "...kkkk...kkkkk..",
};
// clang-format on

const std::initializer_list<Ink> butterflyInks = {
    {'k', grape}, {'b', violet}, {'p', pink}, {'R', rose}, {'v', lilac}, {'y', lemon}, {'w', white},
};

std::unique_ptr<Image> fromHalves(const char* const* half, int rows) {
    auto image = canvas(24, rows, transparent);
    stamp(*image, 0, 0, std::span(half, static_cast<std::size_t>(rows)), penguinInks);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < 12; ++x) {
            put(*image, 23 - x, y, image->pixel(x, y));
        }
    }
    return image;
}

} // namespace

std::unique_ptr<Image> drawPenguin(Facing facing) {
    switch (facing) {
    case Facing::Up:
        return fromHalves(penguinBackHalf, 24);
    case Facing::Down:
        return fromHalves(penguinFrontHalf, 24);
    case Facing::Right:
    case Facing::Left: {
        auto right = canvas(24, 24, transparent);
        stamp(*right, 0, 0, penguinSide, penguinInks);
        return facing == Facing::Right ? std::move(right) : mirrored(*right);
    }
    }
    return nullptr;
}

std::unique_ptr<Image> drawButterfly(Facing facing) {
    auto image = canvas(17, 11, transparent);
    if (facing == Facing::Up || facing == Facing::Down) {
        stamp(*image, 0, 0, butterflyTop, butterflyInks);
        return facing == Facing::Up ? std::move(image) : flipped(*image);
    }
    stamp(*image, 0, 0, butterflySide, butterflyInks);
    return facing == Facing::Right ? std::move(image) : mirrored(*image);
}

std::unique_ptr<Image> drawPellet() {
    // clang-format off
    static const char* const pellet[] = {
        ".OOOO.",
        "OLLOOO",
        "OLOOOO",
        "OOOOOD",
        "OOOODD",
        ".DDDD.",
    };
    // clang-format on
    auto image = canvas(6, 6, transparent);
    stamp(*image, 0, 0, pellet, {{'O', orange}, {'L', peach}, {'D', ember}});
    return image;
}

std::unique_ptr<Image> drawPill() {
    // A glossy orange ball with a dark rim and a white shine.
    auto image = canvas(18, 18, transparent);
    fillEllipse(*image, 18, 18, 17, 17, rust);
    fillEllipse(*image, 18, 18, 15, 15, ember);
    fillEllipse(*image, 17, 17, 13, 13, orange);
    fillEllipse(*image, 15, 15, 9, 9, tangerine);
    fillEllipse(*image, 13, 13, 5, 5, lemon);
    fillEllipse(*image, 12, 12, 3, 3, white);
    return image;
}

std::unique_ptr<Image> drawDigit(int digit) {
    // The 4 has a box one pixel wider and taller; its glyph is the same size as the others.
    const bool four = digit == 4;
    auto image = canvas(four ? 7 : 6, four ? 9 : 8, white);
    drawText(*image, 0, -1, std::string(1, static_cast<char>('0' + digit)), orange);
    return image;
}

std::unique_ptr<Image> drawFlower() {
    // clang-format off
    static const char* const flower[] = {
        "..kkk....",
        ".kpRpk...",
        "kpRyRpk..",
        "kRyyyRk..",
        "kpRyRpk..",
        ".kpRpk...",
        "..kgk....",
        "...g..kk.",
        "...g.kLLk",
        "...gkLLk.",
        "...gkkk..",
        "...g.....",
    };
    // clang-format on
    auto image = canvas(9, 12, transparent);
    stamp(*image, 0, 0, flower,
          {{'k', plum}, {'p', pink}, {'R', rose}, {'y', sun}, {'g', leaf}, {'L', mint}});
    return image;
}

std::unique_ptr<Image> drawSnowflake() {
    // clang-format off
    static const char* const flake[] = {
        ".....kk.....",
        "..k..kk..k..",
        "...k.kk.k...",
        "....kkkk....",
        ".k..kBBk..k.",
        "kkkkBWWBkkkk",
        "kkkkBWWBkkkk",
        ".k..kBBk..k.",
        "....kkkk....",
        "...k.kk.k...",
        "..k..kk..k..",
        ".....kk.....",
    };
    // clang-format on
    auto image = canvas(12, 12, transparent);
    stamp(*image, 0, 0, flake, {{'k', iceEdge}, {'B', iceLight}, {'W', white}});
    return image;
}

} // namespace assetgen
