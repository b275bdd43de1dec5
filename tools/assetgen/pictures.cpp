// The picture inventory: every image resource of the game with its size and painter.
#include "tools/assetgen/pictures.h"

#include "gfx/resource_ids.h"
#include "platform/screen_size.h"
#include "tools/assetgen/pixel_art.h"

#include <string>

namespace assetgen {
namespace {
namespace ids = resource_ids;

template <int Digit> std::unique_ptr<Image> digit() {
    return drawDigit(Digit);
}
// A banner by its id; its level and text are in the banner table.
template <int Id> std::unique_ptr<Image> banner() {
    for (const Banner& b : levelBanners()) {
        if (b.id == Id) {
            return drawBanner(b.text);
        }
    }
    fail("no banner with id " + std::to_string(Id));
}

// clang-format off
const PictureSpec inventory[] = {
    {ids::background, screen_size::width, screen_size::height, "background: playfield, maze walls, side panel", drawBackground},
    {ids::digitZero + 0, 6, 8, "digit 0", digit<0>},
    {ids::digitZero + 1, 6, 8, "digit 1", digit<1>},
    {ids::digitZero + 2, 6, 8, "digit 2", digit<2>},
    {ids::digitZero + 3, 6, 8, "digit 3", digit<3>},
    {ids::digitZero + 4, 7, 9, "digit 4", digit<4>},
    {ids::digitZero + 5, 6, 8, "digit 5", digit<5>},
    {ids::digitZero + 6, 6, 8, "digit 6", digit<6>},
    {ids::digitZero + 7, 6, 8, "digit 7", digit<7>},
    {ids::digitZero + 8, 6, 8, "digit 8", digit<8>},
    {ids::digitZero + 9, 6, 8, "digit 9", digit<9>},
    {ids::panelStrip, 64, screen_size::height, "the side panel as a strip", drawPanelStrip},
    {ids::pellet, 6, 6, "pellet", drawPellet},
    {ids::playerSprites[3], 24, 24, "penguin facing left", [] { return drawPenguin(Facing::Left); }},
    {ids::playerSprites[1], 24, 24, "penguin facing right (also the lives icon)", [] { return drawPenguin(Facing::Right); }},
    {ids::playerSprites[0], 24, 24, "penguin facing up", [] { return drawPenguin(Facing::Up); }},
    {ids::pill, 18, 18, "power pill", drawPill},
    {ids::enemySprites[2], 17, 11, "butterfly facing down", [] { return drawButterfly(Facing::Down); }},
    {ids::enemySprites[3], 17, 11, "butterfly facing left", [] { return drawButterfly(Facing::Left); }},
    {ids::enemySprites[1], 17, 11, "butterfly facing right", [] { return drawButterfly(Facing::Right); }},
    {ids::enemySprites[0], 17, 11, "butterfly facing up", [] { return drawButterfly(Facing::Up); }},
    {ids::unusedSmall, 9, 12, "a flower (spare)", drawFlower},
    {ids::unusedSquare, 12, 12, "a snowflake (spare)", drawSnowflake},
    {ids::playerSprites[2], 24, 24, "penguin facing down", [] { return drawPenguin(Facing::Down); }},
    {ids::gameOverBanner, 156, 14, "GAME OVER", drawGameOver},
    {ids::levelBanners[2], 265, 10, "level banner", banner<ids::levelBanners[2]>},
    {ids::levelBanners[7], 265, 10, "level banner", banner<ids::levelBanners[7]>},
    {ids::levelBanners[3], 265, 10, "level banner", banner<ids::levelBanners[3]>},
    {ids::levelBanners[6], 265, 10, "level banner", banner<ids::levelBanners[6]>},
    {ids::levelBanners[1], 265, 10, "level banner", banner<ids::levelBanners[1]>},
    {ids::levelBanners[8], 265, 10, "level banner", banner<ids::levelBanners[8]>},
    {ids::levelBanners[0], 265, 10, "level banner", banner<ids::levelBanners[0]>},
    {ids::levelBanners[5], 265, 10, "level banner", banner<ids::levelBanners[5]>},
    {ids::levelBanners[4], 265, 10, "level banner", banner<ids::levelBanners[4]>},
};
// clang-format on

} // namespace

std::span<const PictureSpec> pictureInventory() {
    return inventory;
}

std::vector<Picture> drawPictures() {
    std::vector<Picture> pictures;
    for (const PictureSpec& picture : inventory) {
        std::unique_ptr<Image> image = picture.draw();
        require(image && image->width == picture.width && image->height == picture.height,
                "picture " + std::to_string(picture.id) + " (" + picture.what + ") is not " +
                    std::to_string(picture.width) + " x " + std::to_string(picture.height));
        pictures.push_back({picture.id, std::move(image)});
    }
    return pictures;
}

} // namespace assetgen
