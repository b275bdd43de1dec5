// The game's pictures: which resource id holds which picture at which size, and the
// painters that draw them. Every picture is drawn in code from shapes and pixel maps with
// the inks of palette.h; the tool encodes them into the resources folder.
#pragma once

#include "gfx/image.h"

#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace assetgen {

struct PictureSpec {
    int id;
    int width, height;
    const char* what;
    std::unique_ptr<Image> (*draw)();
};
// Every picture of the game, in id order.
std::span<const PictureSpec> pictureInventory();

struct Picture {
    int id;
    std::unique_ptr<Image> image;
};
// Draws the whole inventory; a picture of the wrong size ends the tool.
std::vector<Picture> drawPictures();

// The level banners: "Du har l\xE4rt dig" and what the penguin has learnt by that level.
struct Banner {
    int level; // 10 also stands for every level above
    int id;
    const char* text;
};
std::span<const Banner> levelBanners();
constexpr int bannerWidth = 265, bannerHeight = 10;
// Dark text on the playfield's white, from the left edge.
std::unique_ptr<Image> drawBanner(std::string_view latin1);

// Where the background puts things that other pictures must line up with.
constexpr int bannerX = 58, bannerY = 260; // the World draws the level banner here
constexpr int corridorHalfWidth = 7;       // free pixels on each side of a track

// The painters.
enum class Facing { Up, Right, Down, Left };
std::unique_ptr<Image> drawBackground();
std::unique_ptr<Image> drawPanelStrip();
std::unique_ptr<Image> drawDigit(int digit);
std::unique_ptr<Image> drawPellet();
std::unique_ptr<Image> drawPill();
std::unique_ptr<Image> drawPenguin(Facing facing);
std::unique_ptr<Image> drawButterfly(Facing facing);
std::unique_ptr<Image> drawFlower();
std::unique_ptr<Image> drawSnowflake();
std::unique_ptr<Image> drawGameOver();

} // namespace assetgen
