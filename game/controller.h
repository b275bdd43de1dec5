// Input for the player. ArrowKeys is one update's input: the four arrows as the keyboard
// reports them, each down now or pressed since the previous update (so a tap between two
// updates is not lost). The Controller turns it into a direction, dx and dy each -1, 0 or
// +1: right wins over left and down over up; a horizontal and a vertical key together
// make a diagonal.
#pragma once

#include <cstdint>

struct ArrowKeys {
    bool left = false, right = false, up = false, down = false;
    bool operator==(const ArrowKeys&) const = default;
};

class Controller {
  public:
    // Takes this update's keys.
    void take(const ArrowKeys& keys);

    std::int32_t dx = 0;
    std::int32_t dy = 0;
};
