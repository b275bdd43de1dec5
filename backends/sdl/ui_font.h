// The font of the menu and the dialogs: DejaVu Sans Condensed, narrow enough for captions
// laid out for a small system font, with the Swedish letters. It is built into the program,
// which so needs no font file at run time.
#pragma once

#include <span>

std::span<const unsigned char> uiFontData();
