// How the Linux window is zoomed. The whole window, menu bar and dialogs included, is
// composed at its natural size (the canvas) and shown at a whole-number scale with
// nearest-neighbour pixels, centred on black in whatever the window's drawable area is.
// These are the sums for that: the scale that fits an area, where the canvas lands, and
// where a pointer position in the window lies on the canvas. No SDL in here.
#pragma once

#include <algorithm>

namespace zoom {

struct Size {
    int width = 0, height = 0;
};

struct Placement {
    int x = 0, y = 0, scale = 1; // the canvas's top-left corner in the window, and its scale
    bool operator==(const Placement&) const = default;
};

// The largest whole scale at which `canvas` plus `frame` (the window manager's decoration
// around it, both sides together) fits in `area`; at least 1.
constexpr int fittingScale(Size canvas, Size area, Size frame = {}) {
    if (canvas.width <= 0 || canvas.height <= 0) {
        return 1;
    }
    const int across = (area.width - frame.width) / canvas.width;
    const int down = (area.height - frame.height) / canvas.height;
    return std::max(1, std::min(across, down));
}

// Where the canvas goes in an output of size `output` at `wanted` scale: the scale is cut
// to what fits (never below 1) and the canvas is centred.
constexpr Placement place(Size canvas, Size output, int wanted) {
    const int scale = std::max(1, std::min(wanted, fittingScale(canvas, output)));
    return {std::max(0, (output.width - canvas.width * scale) / 2),
            std::max(0, (output.height - canvas.height * scale) / 2), scale};
}

// A window position on the canvas, rounded down (so a position left of or above the canvas
// stays negative and never lands on its first pixel).
constexpr int toCanvas(int windowPos, int origin, int scale) {
    const int d = windowPos - origin;
    return d >= 0 ? d / scale : -((-d + scale - 1) / scale);
}

} // namespace zoom
