// Game controllers as more keys (SDL's game controller interface, which names the buttons
// the same on every pad). The d-pad and the left stick steer like the arrow keys, the stick
// only beyond a dead zone; Start is F1, a new game. In a dialog, A answers as Enter does
// (the default button) and B as Escape. The state is followed from the controller events
// as they are queued, so a press shorter than a frame is latched like a key's.
#pragma once

#include "backends/sdl/key_latch.h"
#include "platform/keyboard.h"

#include <SDL.h>

#include <array>
#include <cstdint>
#include <utility>

class GamepadKeys {
  public:
    // How far the stick must lean before it steers: about a quarter of its travel.
    static constexpr int deadZone = 8000;

    // Follows one event; events that are not a controller's are ignored. A key that goes
    // down is latched.
    void follow(const SDL_Event& event, KeyLatch& latch) {
        switch (event.type) {
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            for (const auto& [button, key] : buttonKeys) {
                if (event.cbutton.button == button) {
                    set(buttons_, key, event.type == SDL_CONTROLLERBUTTONDOWN, latch);
                }
            }
            break;
        case SDL_CONTROLLERAXISMOTION: {
            const int value = event.caxis.value;
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
                set(stick_, Key::Left, value < -deadZone, latch);
                set(stick_, Key::Right, value > deadZone, latch);
            } else if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) {
                set(stick_, Key::Up, value < -deadZone, latch);
                set(stick_, Key::Down, value > deadZone, latch);
            }
            break;
        }
        case SDL_CONTROLLERDEVICEREMOVED: // a pad pulled out while held lets go
            buttons_ = {};
            stick_ = {};
            break;
        default:
            break;
        }
    }

    bool held(Key key) const { return buttons_[index(key)] || stick_[index(key)]; }

    // What a controller event means in a dialog: +1 the default button (A), -1 cancel (B),
    // 0 nothing.
    static int dialogAnswer(const SDL_Event& event) {
        if (event.type != SDL_CONTROLLERBUTTONDOWN) {
            return 0;
        }
        if (event.cbutton.button == SDL_CONTROLLER_BUTTON_A) {
            return 1;
        }
        return event.cbutton.button == SDL_CONTROLLER_BUTTON_B ? -1 : 0;
    }

  private:
    using Held = std::array<bool, KeyLatch::keyCount>;
    static constexpr std::array<std::pair<std::uint8_t, Key>, 5> buttonKeys = {{
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, Key::Left},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, Key::Right},
        {SDL_CONTROLLER_BUTTON_DPAD_UP, Key::Up},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, Key::Down},
        {SDL_CONTROLLER_BUTTON_START, Key::F1},
    }};
    static std::size_t index(Key key) { return static_cast<std::size_t>(key); }
    static void set(Held& held, Key key, bool down, KeyLatch& latch) {
        if (down && !held[index(key)]) {
            latch.press(key);
        }
        held[index(key)] = down;
    }

    Held buttons_{};
    Held stick_{};
};
