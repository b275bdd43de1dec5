// From the arrows to a direction.
#include "game/controller.h"

void Controller::take(const ArrowKeys& keys) {
    dx = 0;
    dy = 0;
    if (keys.left) {
        dx = -1;
    }
    if (keys.right) {
        dx = +1;
    }
    if (keys.up) {
        dy = -1;
    }
    if (keys.down) {
        dy = +1;
    }
}
