// The Linux backend through the seam, with controller events made up and pushed into SDL's
// queue as a real pad's would arrive: the d-pad and the stick answer keyPressed like the
// arrow keys (the stick beyond its dead zone only), Start like F1, and in a dialog A
// presses the default button and B cancels. Runs on SDL's dummy video and audio drivers.
#include "app/shell_resources.h"
#include "backends/sdl/sdl_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

SDL_Event button(Uint8 which, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_CONTROLLERBUTTONDOWN : SDL_CONTROLLERBUTTONUP;
    e.cbutton.button = which;
    e.cbutton.state = down ? SDL_PRESSED : SDL_RELEASED;
    return e;
}

SDL_Event axis(Uint8 which, Sint16 value) {
    SDL_Event e{};
    e.type = SDL_CONTROLLERAXISMOTION;
    e.caxis.axis = which;
    e.caxis.value = value;
    return e;
}

class SdlGamepad : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    void SetUp() override { ASSERT_TRUE(sdl.ok()) << sdl.error; }
    void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    // Which of the five keys keyPressed reports now, as "LRUDF" letters.
    std::string pressed() {
        std::string s;
        const char* names = "LRUDF";
        for (Key k : {Key::Left, Key::Right, Key::Up, Key::Down, Key::F1}) {
            if (sdl.keyPressed(k)) {
                s += names[static_cast<int>(k)];
            }
        }
        return s;
    }

    SdlPlatform sdl{SdlPlatform::Options{1, false}};
};

TEST_F(SdlGamepad, DpadStickAndStartAreKeys) {
    struct Step {
        SDL_Event event;
        const char* expected; // keyPressed's answers after the event
    };
    constexpr Sint16 lean = GamepadKeys::deadZone + 1;
    const std::vector<Step> steps = {
        {button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true), "L"},
        {button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false), ""},
        {button(SDL_CONTROLLER_BUTTON_DPAD_UP, true), "U"},
        {button(SDL_CONTROLLER_BUTTON_DPAD_UP, false), ""},
        {axis(SDL_CONTROLLER_AXIS_LEFTX, lean), "R"},
        {axis(SDL_CONTROLLER_AXIS_LEFTX, GamepadKeys::deadZone), ""}, // inside the dead zone
        {axis(SDL_CONTROLLER_AXIS_LEFTY, -lean), "U"},
        {axis(SDL_CONTROLLER_AXIS_LEFTY, lean), "D"},
        {axis(SDL_CONTROLLER_AXIS_LEFTY, 0), ""},
        {axis(SDL_CONTROLLER_AXIS_RIGHTX, -32768), ""}, // the right stick does not steer
        {button(SDL_CONTROLLER_BUTTON_START, true), "F"},
        {button(SDL_CONTROLLER_BUTTON_START, false), ""},
        {button(SDL_CONTROLLER_BUTTON_A, true), ""}, // A is for dialogs only
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        push(steps[i].event);
        EXPECT_EQ(pressed(), steps[i].expected) << "step " << i;
    }
    // A held button stays pressed from query to query...
    push(button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true));
    EXPECT_EQ(pressed(), "R");
    EXPECT_EQ(pressed(), "R");
    push(button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, false));
    // ...and a press and release between two queries counts once, as a key tap does.
    push(button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true));
    push(button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false));
    EXPECT_EQ(pressed(), "D");
    EXPECT_EQ(pressed(), "");
}

TEST_F(SdlGamepad, AAndBAnswerADialog) {
    // The logic records the first command and ends the dialog.
    struct Recorder : DialogLogic {
        int received = 0;
        void init(DialogView&) override {}
        void command(DialogView& view, int id) override {
            received = id;
            view.end();
        }
    };
    const struct {
        Uint8 button;
        int expected;
    } cases[] = {{SDL_CONTROLLER_BUTTON_A, shell::idOk},
                 {SDL_CONTROLLER_BUTTON_B, shell::idCancel}};
    for (const auto& c : cases) {
        push(button(c.button, true));
        Recorder logic;
        sdl.runDialog(shell::questionDialogId, logic);
        EXPECT_EQ(logic.received, c.expected) << "button " << int(c.button);
    }
}

} // namespace
