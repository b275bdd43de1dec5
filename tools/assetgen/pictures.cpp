// The picture inventory: every image resource of the game with its size and painter.
#include "tools/assetgen/pictures.h"

#include "tools/assetgen/pixel_art.h"

#include <string>

namespace assetgen {
namespace {

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
    {102, 421, 271, "background: playfield, maze walls, side panel", drawBackground},
    {111, 6, 8, "digit 0", digit<0>},
    {112, 6, 8, "digit 1", digit<1>},
    {113, 6, 8, "digit 2", digit<2>},
    {114, 6, 8, "digit 3", digit<3>},
    {115, 7, 9, "digit 4", digit<4>},
    {116, 6, 8, "digit 5", digit<5>},
    {117, 6, 8, "digit 6", digit<6>},
    {118, 6, 8, "digit 7", digit<7>},
    {119, 6, 8, "digit 8", digit<8>},
    {120, 6, 8, "digit 9", digit<9>},
    {141, 64, 271, "the side panel as a strip", drawPanelStrip},
    {147, 6, 6, "pellet", drawPellet},
    {148, 24, 24, "penguin facing left", [] { return drawPenguin(Facing::Left); }},
    {149, 24, 24, "penguin facing right (also the lives icon)", [] { return drawPenguin(Facing::Right); }},
    {150, 24, 24, "penguin facing up", [] { return drawPenguin(Facing::Up); }},
    {151, 18, 18, "power pill", drawPill},
    {152, 17, 11, "butterfly facing down", [] { return drawButterfly(Facing::Down); }},
    {153, 17, 11, "butterfly facing left", [] { return drawButterfly(Facing::Left); }},
    {154, 17, 11, "butterfly facing right", [] { return drawButterfly(Facing::Right); }},
    {155, 17, 11, "butterfly facing up", [] { return drawButterfly(Facing::Up); }},
    {156, 9, 12, "a flower (spare)", drawFlower},
    {157, 12, 12, "a snowflake (spare)", drawSnowflake},
    {159, 24, 24, "penguin facing down", [] { return drawPenguin(Facing::Down); }},
    {160, 156, 14, "GAME OVER", drawGameOver},
    {161, 265, 10, "level banner", banner<161>},
    {162, 265, 10, "level banner", banner<162>},
    {163, 265, 10, "level banner", banner<163>},
    {164, 265, 10, "level banner", banner<164>},
    {165, 265, 10, "level banner", banner<165>},
    {166, 265, 10, "level banner", banner<166>},
    {167, 265, 10, "level banner", banner<167>},
    {168, 265, 10, "level banner", banner<168>},
    {169, 265, 10, "level banner", banner<169>},
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
