// Input for the player: a Controller is polled once per World update and then tells a
// direction, dx and dy each -1, 0 or +1. The KeyboardController reads the four arrow keys;
// a key counts when it is down now or was pressed since the previous poll, so a tap between
// two updates is not lost. Right wins over left and down over up; a horizontal and a
// vertical key together make a diagonal.
#pragma once

#include <cstdint>

class Controller {
  public:
    virtual void poll() = 0;
    virtual ~Controller() = default;

    std::int32_t dx = 0;
    std::int32_t dy = 0;
};

class KeyboardController : public Controller {
  public:
    void poll() override;
};
