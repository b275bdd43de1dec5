// Where a dialog and its controls go on the screen. Templates measure in dialog units, a
// quarter of the dialog font's average character width across and an eighth of its height
// down; for MS Sans Serif 8 pt that is 6 x 13 pixels per character, so 1.5 pixels per
// horizontal and 1.625 per vertical unit, rounded as the system rounds (half away from
// zero). Positions and sizes convert separately, as the system converts them. Around the
// client area go a frame and a caption bar; the dialog opens with its outer top-left
// corner on the game picture's top-left corner.
#pragma once

#include "app/shell_resources.h"

namespace dialog_layout {

constexpr int fontWidth = 6;   // average character width, pixels
constexpr int fontHeight = 13; // character height, pixels
constexpr int frame = 2;       // the raised outer frame, each side
constexpr int captionHeight = 16;

struct Rect {
    int x, y, width, height;
    bool operator==(const Rect&) const = default;
};

// a * b / c rounded half away from zero, for a, b >= 0 and c > 0.
constexpr int mulDiv(int a, int b, int c) {
    return (2 * a * b + c) / (2 * c);
}
constexpr int unitsToPixelsX(int units) {
    return mulDiv(units, fontWidth, 4);
}
constexpr int unitsToPixelsY(int units) {
    return mulDiv(units, fontHeight, 8);
}

// A control's rectangle in the dialog's client area.
constexpr Rect controlRect(const shell::Control& c) {
    return {unitsToPixelsX(c.x), unitsToPixelsY(c.y), unitsToPixelsX(c.width),
            unitsToPixelsY(c.height)};
}

// The client area, relative to the dialog's outer top-left corner.
constexpr Rect clientRect(const shell::DialogTemplate& d) {
    return {frame, frame + captionHeight, unitsToPixelsX(d.width), unitsToPixelsY(d.height)};
}

// The whole dialog, frame and caption included, at (0, 0).
constexpr Rect outerRect(const shell::DialogTemplate& d) {
    const Rect client = clientRect(d);
    return {0, 0, client.width + 2 * frame, client.height + 2 * frame + captionHeight};
}

} // namespace dialog_layout
