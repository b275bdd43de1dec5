// pingel-headless-frame DIR: renders, on the headless platform, the pictures that the end
// to end test expects of the real window, as PPM files of the 421 x 271 game picture:
//   frozen.ppm   the board the program opens on (the first game, frozen at once);
//   started.ppm  a game some frames after a new game was asked for, no key pressed;
//   moved.ppm    the same game after the right arrow was held for a second.
// A frame that was never presented (no palette) is black, as the window shows it then.
#include "app/game_driver.h"
#include "backends/headless/headless.h"
#include "game/world.h"
#include "platform/screen_size.h"

#include <cstdio>
#include <string>

namespace {

constexpr int pictureWidth = screen_size::width;
constexpr int pictureHeight = screen_size::height;

bool writePicture(const HeadlessPlatform& h, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", pictureWidth, pictureHeight);
    for (int y = 0; y < pictureHeight; ++y) {
        for (int x = 0; x < pictureWidth; ++x) {
            Colour c{0, 0, 0};
            if (x < h.lastFrameWidth && y < h.lastFrameHeight) {
                c = h.realisedPalette[h.lastFrame[static_cast<std::size_t>(y) *
                                                      static_cast<std::size_t>(h.lastFrameWidth) +
                                                  static_cast<std::size_t>(x)]];
            }
            const unsigned char rgb[3] = {c.red, c.green, c.blue};
            std::fwrite(rgb, 1, 3, f);
        }
    }
    return std::fclose(f) == 0;
}

void frames(GameDriver& driver, int n) {
    for (int i = 0; i < n; ++i) {
        driver.runFrame();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pingel-headless-frame DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    HeadlessPlatform h;
    h.setClock(1000);
    GameDriver driver(makeWorld, {h, h, h, h, h});
    driver.screen().paletteRefreshPending = true;

    frames(driver, 2); // frame 0 does not draw, frame 1 does
    bool ok = writePicture(h, dir + "/frozen.ppm");

    driver.requests.post(ShellRequest::Restart);
    frames(driver, 1 + 25);
    ok = ok && writePicture(h, dir + "/started.ppm");

    h.setKeyDown(Key::Right, true);
    frames(driver, 25);
    h.setKeyDown(Key::Right, false);
    ok = ok && writePicture(h, dir + "/moved.ppm");
    return ok ? 0 : 1;
}
