// The arrow keys through the platform, asked in the order left, right, up, down.
#include "game/controller.h"

#include "platform/platform.h"

void KeyboardController::poll() {
    Platform& p = platform();
    const bool left = p.keyPressed(Key::Left);
    const bool right = p.keyPressed(Key::Right);
    const bool up = p.keyPressed(Key::Up);
    const bool down = p.keyPressed(Key::Down);
    dx = 0;
    dy = 0;
    if (left) {
        dx = -1;
    }
    if (right) {
        dx = +1;
    }
    if (up) {
        dy = -1;
    }
    if (down) {
        dy = +1;
    }
}
