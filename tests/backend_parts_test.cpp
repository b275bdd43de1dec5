// The platform-free parts of the Linux backend: the key latch that keeps short taps, the
// dialog geometry from dialog units, the zoom's sums, and starting the browser opener without a
// shell and without leaving a zombie.
#include "app/shell_resources.h"
#include "backends/sdl/dialog_layout.h"
#include "backends/sdl/key_latch.h"
#include "backends/sdl/zoom.h"

#if defined(__unix__)
#include "backends/posix/posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#endif

#include <gtest/gtest.h>

#include <vector>

TEST(KeyLatch, DownNowOrPressedSinceTheLastQuery) {
    // Each step: an optional press event, then a query with the key's state at that moment.
    struct Step {
        bool press;
        bool downNow;
        bool expected;
    };
    const std::vector<Step> steps = {
        {false, false, false}, // nothing
        {true, false, true},   // a tap between two queries is seen once...
        {false, false, false}, // ...and only once
        {true, true, true},    // pressed and held
        {false, true, true},   // still held
        {false, false, false}, // released
        {true, false, true},   // two taps before one query count once
    };
    KeyLatch latch;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].press) {
            latch.press(Key::Left);
            if (i + 1 == steps.size()) {
                latch.press(Key::Left);
            }
        }
        EXPECT_EQ(latch.query(Key::Left, steps[i].downNow), steps[i].expected) << "step " << i;
    }
    // Keys are latched apart.
    latch.press(Key::F1);
    EXPECT_FALSE(latch.query(Key::Right, false));
    EXPECT_TRUE(latch.query(Key::F1, false));
}

TEST(DialogLayout, UnitsBecomePixelsAsTheSystemRoundsThem) {
    struct Row {
        int units;
        int x, y; // pixels across and down
    };
    const std::vector<Row> rows = {
        {0, 0, 0},       {1, 2, 2},       {2, 3, 3},       {7, 11, 11},
        {14, 21, 23},    {50, 75, 81},    {124, 186, 202}, {132, 198, 215},
        {153, 230, 249}, {263, 395, 427}, {277, 416, 450},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(dialog_layout::unitsToPixelsX(row.units), row.x) << row.units;
        EXPECT_EQ(dialog_layout::unitsToPixelsY(row.units), row.y) << row.units;
    }
}

TEST(DialogLayout, EveryDialogAndControlFitsWhereItOpens) {
    using dialog_layout::Rect;
    struct Row {
        int id;
        Rect outer; // frame and caption included
    };
    const std::vector<Row> rows = {
        {shell::infoDialogId, {0, 0, 420, 269}},
        {shell::highscoreDialogId, {0, 0, 298, 217}},
        {shell::questionDialogId, {0, 0, 217, 106}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        const shell::DialogTemplate* d = shell::findDialog(row.id);
        ASSERT_NE(d, nullptr);
        const Rect outer = dialog_layout::outerRect(*d);
        EXPECT_EQ(outer, row.outer);
        // Within the game picture, below the menu bar, where it opens.
        EXPECT_LE(outer.width, 421);
        EXPECT_LE(outer.height, 271);
        const Rect client = dialog_layout::clientRect(*d);
        for (const shell::Control& c : d->controls) {
            const Rect r = dialog_layout::controlRect(c);
            EXPECT_GE(r.x, 0);
            EXPECT_GE(r.y, 0);
            EXPECT_LE(r.x + r.width, client.width) << c.text;
            EXPECT_LE(r.y + r.height, client.height) << c.text;
        }
    }
    // The information text's control, as the template places it.
    const Rect text = dialog_layout::controlRect(shell::infoControls[1]);
    EXPECT_EQ(text, (Rect{11, 11, 395, 202}));
}

TEST(Zoom, FitsPlacesAndMapsThePointerBack) {
    const zoom::Size canvas{421, 291};
    struct Fit {
        zoom::Size area, frame;
        int scale;
    };
    const std::vector<Fit> fits = {
        {{1920, 1080}, {0, 0}, 3},  {{1920, 1080}, {16, 48}, 3}, {{2560, 1440}, {0, 0}, 4},
        {{1366, 768}, {16, 48}, 2}, {{842, 582}, {0, 0}, 2},     {{841, 582}, {0, 0}, 1},
        {{800, 600}, {0, 0}, 1},    {{300, 200}, {0, 0}, 1}, // never below 1
        {{1920, 1164}, {0, 1}, 3},                           // the frame counts
    };
    for (const Fit& f : fits) {
        EXPECT_EQ(zoom::fittingScale(canvas, f.area, f.frame), f.scale)
            << f.area.width << "x" << f.area.height;
    }
    // Centred, and cut to what fits.
    EXPECT_EQ(zoom::place(canvas, {1920, 1080}, 16), (zoom::Placement{328, 103, 3}));
    EXPECT_EQ(zoom::place(canvas, {1263, 873}, 3), (zoom::Placement{0, 0, 3}));
    EXPECT_EQ(zoom::place(canvas, {842, 582}, 3), (zoom::Placement{0, 0, 2}));
    EXPECT_EQ(zoom::place(canvas, {421, 291}, 0), (zoom::Placement{0, 0, 1}));
    // Window position -> canvas pixel, at scale 3 with the canvas at 328.
    const std::vector<std::pair<int, int>> points = {{328, 0},  {330, 0},  {331, 1},   {327, -1},
                                                     {325, -1}, {324, -2}, {1590, 420}};
    for (const auto& [window, onCanvas] : points) {
        EXPECT_EQ(zoom::toCanvas(window, 328, 3), onCanvas) << window;
    }
}

#if defined(__unix__)
namespace {
// Waits up to ten seconds for the started helpers to end and be collected.
bool allCollected() {
    for (int i = 0; i < 1000; ++i) {
        posix::reapChildren();
        if (posix::unreapedChildren() == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
} // namespace

TEST(Launch, StartsWithoutAShellAndLeavesNoZombie) {
    ASSERT_TRUE(allCollected());
    struct Row {
        const char* program;
        const char* argument;
        bool started;
    };
    const std::vector<Row> rows = {
        {"true", "http://localhost/", true},
        // One argument, never split or interpreted: a shell would run the second command.
        {"true", "http://x/; touch /tmp/pingel-launch-test-must-not-exist", true},
        {"no-such-program-pingel", "http://localhost/", false},
        {"true", "--version", false}, // never an option
        {"true", "", false},
        {"", "http://localhost/", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        EXPECT_EQ(posix::launch(row.program, row.argument), row.started);
    }
    EXPECT_TRUE(allCollected());
    EXPECT_NE(access("/tmp/pingel-launch-test-must-not-exist", F_OK), 0);
}

TEST(Launch, ReturnsAtOnceWhileTheHelperRuns) {
    ASSERT_TRUE(allCollected());
    // The helper reads a pipe that this test writes to only after launch() has returned,
    // or after ten seconds if launch() waited for the helper.
    const std::string fifo = "/tmp/pingel-launch-test-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> returned;
    std::thread writer([&, launched = returned.get_future()] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        launched.wait_for(std::chrono::seconds(10));
        close(fd);
    });
    const bool started = posix::launch("cat", fifo);
    posix::reapChildren();
    const int running = posix::unreapedChildren();
    returned.set_value();
    writer.join();
    unlink(fifo.c_str());
    ASSERT_TRUE(started);
    EXPECT_EQ(running, 1); // still running: nothing waited for it
    EXPECT_TRUE(allCollected());
}
#endif
