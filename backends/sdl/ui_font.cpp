// The menu and dialog font, embedded with the assembler's .incbin from the file the build
// found (PINGEL_UI_FONT_FILE).
#include "backends/sdl/ui_font.h"

#include <cstddef>

#ifndef PINGEL_UI_FONT_FILE
#error "PINGEL_UI_FONT_FILE must name the font file to embed"
#endif

__asm__(".section .rodata\n"
        ".balign 16\n"
        ".global pingelUiFontStart\n"
        ".hidden pingelUiFontStart\n"
        ".global pingelUiFontEnd\n"
        ".hidden pingelUiFontEnd\n"
        "pingelUiFontStart:\n"
        ".incbin \"" PINGEL_UI_FONT_FILE "\"\n"
        "pingelUiFontEnd:\n"
        ".byte 0\n"
        ".previous\n");

extern "C" const unsigned char pingelUiFontStart[];
extern "C" const unsigned char pingelUiFontEnd[];

std::span<const unsigned char> uiFontData() {
    return {pingelUiFontStart, static_cast<std::size_t>(pingelUiFontEnd - pingelUiFontStart)};
}
