// pingel-assetgen: draws every picture, the palette and every sound of the game and writes
// them into a resources folder, byte for byte the same on every run and every compiler:
// <id>.rle pictures, 139.bmp palette, <id>.wav sounds, the resource script fragment
// pictures_sounds.rc and the Windows icon pingel.ico. Given a second folder, it also
// writes sheet.png and scene.png there, composed from the written resources read back
// through the game's own loader; given a third, the desktop icons in the hicolor theme's
// layout (<N>x<N>/apps/pingel.png).
//
//     pingel-assetgen resources [docs [icons]]
#include "backends/headless/headless.h"
#include "gfx/resource_ids.h"
#include "tools/assetgen/icons.h"
#include "tools/assetgen/palette.h"
#include "tools/assetgen/pictures.h"
#include "tools/assetgen/resource_files.h"
#include "tools/assetgen/rle_encoder.h"
#include "tools/assetgen/sheets.h"
#include "tools/assetgen/sounds.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace assetgen;

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(
            stderr, "usage: pingel-assetgen <resources folder> [<docs folder> [<icons folder>]]\n");
        return 2;
    }
    const std::string out = argv[1];
    // Everything written is also handed to a headless platform, so the pictures for people
    // are made from exactly these bytes.
    HeadlessPlatform headless;
    bool ok = true;
    std::vector<int> pictureIds, soundIds;

    for (const Picture& p : drawPictures()) {
        std::vector<std::uint8_t> bytes = encodeRle(*p.image);
        ok = writeFile(out + "/" + std::to_string(p.id) + ".rle", bytes) && ok;
        headless.setResource(ResourceType::RcData, p.id, std::move(bytes));
        pictureIds.push_back(p.id);
    }

    const std::vector<std::uint8_t> bitmap = paletteBitmap(gamePalette());
    ok = writeFile(out + "/" + std::to_string(resource_ids::palette) + ".bmp", bitmap) && ok;
    // A bitmap resource is the file without its 14-byte file header.
    headless.setResource(ResourceType::Bitmap, resource_ids::palette,
                         std::vector<std::uint8_t>(bitmap.begin() + 14, bitmap.end()));

    for (const SoundSpec& s : soundInventory()) {
        std::vector<std::uint8_t> bytes = waveFile(synthesise(s.id));
        ok = writeFile(out + "/" + std::to_string(s.id) + ".wav", bytes) && ok;
        headless.setResource(ResourceType::Wave, s.id, std::move(bytes));
        soundIds.push_back(s.id);
    }

    const std::string rc = resourceScript(pictureIds, resource_ids::palette, soundIds);
    ok = writeFile(out + "/pictures_sounds.rc", std::vector<std::uint8_t>(rc.begin(), rc.end())) &&
         ok;
    const std::vector<std::uint8_t> icon = windowsIcon(screenPalette(headless));
    ok = !icon.empty() && writeFile(out + "/pingel.ico", icon) && ok;

    if (argc >= 3) {
        const std::string docs = argv[2];
        ok = writeSheet(docs + "/sheet.png", headless) && ok;
        ok = writeScene(docs + "/scene.png", headless) && ok;
    }
    if (argc == 4) {
        ok = writeIcons(argv[3], screenPalette(headless)) && ok;
    }
    return ok ? 0 : 1;
}
