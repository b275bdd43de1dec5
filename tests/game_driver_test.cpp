// Frame pacing against the headless clock: due times, the two updates, drawing only when a
// frame began before its due time, restarts, forgetting the frames a stalled update missed,
// resuming after a pause, the clock wrapping past 2^32, and a wait that sleeps instead of
// spinning.
#include "app/game_driver.h"

#include "gfx/resource_ids.h"
#include "platform/headless/headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {
// A game that logs what the driver asks of it.
struct LogGame : Game {
    explicit LogGame(std::vector<char>* log) : log_(log) {}
    void update() override { log_->push_back('u'); }
    void render() override { log_->push_back('r'); }
    std::vector<char>* log_;
};

struct Pacing : ::testing::TestWithParam<Millis> {
    HeadlessScope scope;
    HeadlessPlatform& h = scope.headless;
    std::vector<char> log;
    int built = 0;
    std::vector<ScreenBuffer*> screens; // what each game was built with
    std::unique_ptr<GameDriver> driver;

    void SetUp() override {
        h.setClock(GetParam());
        driver = std::make_unique<GameDriver>([this](ScreenBuffer& screen) {
            ++built;
            screens.push_back(&screen);
            return std::make_unique<LogGame>(&log);
        });
    }
    // Runs one frame; returns whether it drew, and checks it ran exactly two updates.
    bool frame() {
        log.clear();
        driver->runFrame();
        EXPECT_EQ(std::count(log.begin(), log.end(), 'u'), 2);
        return std::count(log.begin(), log.end(), 'r') == 1;
    }
    Millis sinceStart() { return h.now() - driver->startTime; }
};
} // namespace

TEST_P(Pacing, FirstWorldIsFrozenAndFramesAreDueEvery40ms) {
    const Millis t0 = GetParam();
    EXPECT_EQ(built, 1);
    EXPECT_TRUE(driver->game->gameOver);
    EXPECT_FALSE(driver->gameOver); // copied at the end of the first frame
    EXPECT_EQ(driver->startTime, t0);
    EXPECT_FALSE(frame()); // frame 0 neither waits nor draws
    EXPECT_EQ(h.now(), t0);
    EXPECT_TRUE(driver->gameOver);
    for (int n = 1; n <= 30; ++n) {
        EXPECT_TRUE(frame()) << n; // each waits for its due time, exactly, and draws
        EXPECT_EQ(sinceStart(), 40u * n);
    }
    EXPECT_EQ(driver->frameCount, 31);
}

TEST_P(Pacing, LateFramesCatchUpWithoutDrawing) {
    frame();
    h.advance(40 + 100); // frame 1 starts 100 ms after its due time
    EXPECT_FALSE(frame());
    const Millis late = h.now();
    EXPECT_FALSE(frame()); // frames 2 and 3 are due at 80 and 120: no wait, no draw
    EXPECT_FALSE(frame());
    EXPECT_EQ(h.now(), late);
    EXPECT_TRUE(frame()); // frame 4, due at 160, begins early again: it waits and draws
    EXPECT_EQ(sinceStart(), 160u);
}

TEST_P(Pacing, RestartBuildsAFreshPlayingGameAndDoesNotDraw) {
    frame();
    frame();
    h.setResource(ResourceType::Bitmap, resource_ids::palette, makePaletteDib(236));
    driver->screen().initialise();
    ASSERT_EQ(h.framesAlive, 1);
    h.advance(7);
    driver->restartRequested = true;
    EXPECT_FALSE(frame()); // the frame began when the game was built, and frameCount is 0
    EXPECT_EQ(built, 2);
    // Every game draws into the driver's one buffer; a new one starts on a new frame.
    EXPECT_EQ(screens, (std::vector<ScreenBuffer*>{&driver->screen(), &driver->screen()}));
    EXPECT_EQ(h.framesAlive, 0);
    EXPECT_FALSE(driver->screen().initialised);
    EXPECT_FALSE(driver->restartRequested);
    EXPECT_FALSE(driver->gameOver);
    EXPECT_FALSE(driver->game->gameOver);
    const Millis restartedAt = driver->startTime;
    EXPECT_TRUE(frame());
    EXPECT_EQ(h.now() - restartedAt, 40u);
    // A game that ends is copied into the driver at the end of the frame.
    driver->game->gameOver = true;
    EXPECT_TRUE(frame());
    EXPECT_TRUE(driver->gameOver);
}

TEST_P(Pacing, AStalledUpdateDropsMissedFramesAndStillDraws) {
    for (int n = 0; n < 10; ++n) {
        frame();
    }
    // During frame 10, an update blocks until 1000 ms after startTime and says so.
    ASSERT_EQ(driver->frameCount, 10);
    struct Blocking : LogGame {
        using LogGame::LogGame;
        HeadlessPlatform* h = nullptr;
        GameDriver* d = nullptr;
        bool done = false;
        void update() override {
            LogGame::update();
            EXPECT_FALSE(stalled); // the driver lowered it after the first update
            if (!done) {
                done = true;
                h->setClock(d->startTime + 1000);
                stalled = true;
            }
        }
    };
    auto blocking = std::make_unique<Blocking>(&log);
    blocking->h = &h;
    blocking->d = driver.get();
    driver->game = std::move(blocking);
    EXPECT_TRUE(frame()); // began at 400 ms, before 25 x 40
    EXPECT_EQ(driver->frameCount, 26);
    EXPECT_TRUE(frame()); // frame 26 is due at 1040: waits and draws
    EXPECT_EQ(sinceStart(), 1040u);
}

TEST_P(Pacing, ResumeAfterPauseMakesTheNextFrameDueNow) {
    for (int n = 0; n < 5; ++n) {
        frame();
    }
    h.advance(5000); // a dialog was open
    driver->resumeAfterPause();
    const Millis resumed = h.now();
    EXPECT_FALSE(frame()); // due at once: no wait, no draw
    EXPECT_EQ(h.now(), resumed);
    EXPECT_TRUE(frame()); // the one after waits 40 ms and draws
    EXPECT_EQ(h.now() - resumed, 40u);
}

TEST_P(Pacing, TheWaitSleepsAndNeverReturnsEarly) {
    frame();
    for (Millis early : {40u, 39u, 3u, 2u, 1u}) {
        const Millis due = driver->startTime + 40u * static_cast<Millis>(driver->frameCount);
        h.setClock(due - early);
        h.pauses = 0;
        h.clockReads = 0;
        frame();
        EXPECT_EQ(h.now(), due) << early;
        EXPECT_LE(h.pauses, 3) << early; // one sleep, then at most two short polls
        EXPECT_LE(h.clockReads, 6) << early;
    }
}

// A start time near 2^32: the clock wraps during the run.
INSTANTIATE_TEST_SUITE_P(ClockStarts, Pacing,
                         ::testing::Values(Millis{0}, Millis{123456}, Millis{0xFFFFFFFFu - 150},
                                           Millis{0xFFFFFFFFu}));
