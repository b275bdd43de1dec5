// The driver against the headless platform: due times, the two updates, drawing only when
// a frame began before its due time, restarts and their seeds, the keys handed to each
// update and the sounds carried out after it, forgetting the frames a stalled update
// missed, resuming after a pause, the clock wrapping past 2^32, and a wait that sleeps
// instead of spinning.
#include "app/game_driver.h"

#include "backends/headless/headless.h"
#include "gfx/resource_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {
// A game that logs what the driver asks of it and the keys each update is given.
struct LogGame : Game {
    explicit LogGame(std::vector<char>* log) : log_(log) {}
    void update(const ArrowKeys& keys) override {
        log_->push_back('u');
        keysSeen.push_back(keys);
    }
    void render(ScreenBuffer& screen) override {
        log_->push_back('r');
        screens.push_back(&screen);
    }
    std::vector<char>* log_;
    std::vector<ArrowKeys> keysSeen;
    std::vector<ScreenBuffer*> screens; // what each render was given
};

struct Pacing : ::testing::TestWithParam<Millis> {
    HeadlessPlatform h;
    std::vector<char> log;
    std::vector<Millis> seeds; // what each game was built with
    std::unique_ptr<GameDriver> driver;

    void SetUp() override {
        h.setClock(GetParam());
        driver = std::make_unique<GameDriver>(
            [this](Millis seed, const Resources& resources) {
                EXPECT_EQ(&resources, static_cast<const Resources*>(&h));
                seeds.push_back(seed);
                return std::make_unique<LogGame>(&log);
            },
            GameDriver::Seams{h, h, h, h, h});
    }
    LogGame& game() { return static_cast<LogGame&>(*driver->game); }
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
    EXPECT_EQ(seeds, std::vector<Millis>{t0});
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
    driver->screen().initialise();
    ASSERT_EQ(h.framesAlive, 1);
    h.advance(7);
    driver->requests.post(ShellRequest::Restart);
    EXPECT_FALSE(frame()); // the frame began when the game was built, and frameCount is 0
    // The new game is seeded with the clock's reading when it is built, after the frame's
    // wait, and starts on a new frame.
    EXPECT_EQ(seeds, (std::vector<Millis>{GetParam(), GetParam() + 80}));
    EXPECT_EQ(driver->startTime, GetParam() + 80);
    EXPECT_EQ(h.framesAlive, 0);
    EXPECT_FALSE(driver->screen().initialised);
    EXPECT_FALSE(driver->requests.waiting(ShellRequest::Restart));
    EXPECT_FALSE(driver->gameOver);
    EXPECT_FALSE(driver->game->gameOver);
    const Millis restartedAt = driver->startTime;
    EXPECT_TRUE(frame());
    EXPECT_EQ(h.now() - restartedAt, 40u);
    // Every game draws into the driver's one buffer.
    EXPECT_EQ(game().screens, std::vector<ScreenBuffer*>{&driver->screen()});
    // A game that ends is copied into the driver at the end of the frame.
    driver->game->gameOver = true;
    EXPECT_TRUE(frame());
    EXPECT_TRUE(driver->gameOver);
}

TEST_P(Pacing, AStalledUpdateDropsMissedFramesAndStillDraws) {
    for (int n = 0; n < 10; ++n) {
        frame();
    }
    // During frame 10 (at 400 ms), an update asks for the caught sound (1360 ms) played to
    // its end, which holds everything until 1760 ms after startTime, and says so.
    ASSERT_EQ(driver->frameCount, 10);
    struct Blocking : LogGame {
        using LogGame::LogGame;
        bool done = false;
        void update(const ArrowKeys& keys) override {
            LogGame::update(keys);
            EXPECT_FALSE(stalled); // the driver lowered it after the first update
            sounds.clear();
            if (!done) {
                done = true;
                sounds.push_back({resource_ids::soundCaught, SoundMode::Sync});
                stalled = true;
            }
        }
    };
    driver->game = std::make_unique<Blocking>(&log);
    EXPECT_TRUE(frame()); // began at 400 ms, before 44 x 40
    EXPECT_EQ(driver->frameCount, 45);
    EXPECT_TRUE(frame()); // frame 45 is due at 1800: waits and draws
    EXPECT_EQ(sinceStart(), 1800u);
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

TEST_P(Pacing, EachUpdateGetsTheKeysOfTheMomentAndItsSoundsArePlayedAfterIt) {
    h.tap(Key::Left);
    frame(); // the frozen first game is over: it gets no key and none is read for it
    frame();
    EXPECT_EQ(game().keysSeen, std::vector<ArrowKeys>(4));
    driver->requests.post(ShellRequest::Restart);
    frame(); // the tap kept while the game was over reaches the new game's first update
    EXPECT_EQ(game().keysSeen, (std::vector<ArrowKeys>{{.left = true}, {}}));

    struct Cases {
        const char* what;
        std::function<void()> between; // what the player does before the frame
        std::vector<ArrowKeys> keys;   // what its two updates get
    };
    const Cases cases[] = {
        {"nothing", [] {}, {{}, {}}},
        {"Right held", [&] { h.setKeyDown(Key::Right, true); }, {{.right = true}, {.right = true}}},
        {"released", [&] { h.setKeyDown(Key::Right, false); }, {{}, {}}},
        {"Up tapped: once", [&] { h.tap(Key::Up); }, {{.up = true}, {}}},
        {"F1 is not an arrow", [&] { h.setKeyDown(Key::F1, true); }, {{}, {}}},
    };
    for (const Cases& c : cases) {
        game().keysSeen.clear();
        c.between();
        frame();
        EXPECT_EQ(game().keysSeen, c.keys) << c.what;
    }

    // The sounds an update asks for are played after it, in their order.
    struct Noisy : LogGame {
        using LogGame::LogGame;
        void update(const ArrowKeys& keys) override {
            LogGame::update(keys);
            sounds = {{resource_ids::soundStart, SoundMode::Async},
                      {resource_ids::soundEaten, SoundMode::Async}};
        }
    };
    driver->game = std::make_unique<Noisy>(&log);
    h.sounds.clear();
    frame();
    const Millis at = h.now();
    EXPECT_EQ(h.sounds, (std::vector<HeadlessPlatform::SoundEvent>{
                            {resource_ids::soundStart, SoundMode::Async, at},
                            {resource_ids::soundEaten, SoundMode::Async, at},
                            {resource_ids::soundStart, SoundMode::Async, at},
                            {resource_ids::soundEaten, SoundMode::Async, at}}));
}

TEST(RequestQueue, EachKindWaitsOnceUntilTaken) {
    RequestQueue q;
    q.post(ShellRequest::Login);
    q.post(ShellRequest::Restart);
    q.post(ShellRequest::Login);
    EXPECT_TRUE(q.waiting(ShellRequest::Login));
    EXPECT_FALSE(q.waiting(ShellRequest::Info));
    EXPECT_TRUE(q.take(ShellRequest::Login));
    EXPECT_FALSE(q.take(ShellRequest::Login)); // posted twice, waiting once
    EXPECT_TRUE(q.waiting(ShellRequest::Restart));
    for (ShellRequest r : {ShellRequest::OfferSubmit, ShellRequest::Login, ShellRequest::Info,
                           ShellRequest::Restart, ShellRequest::Info}) {
        q.post(r);
    }
    for (ShellRequest r : {ShellRequest::Info, ShellRequest::Restart, ShellRequest::OfferSubmit,
                           ShellRequest::Login}) {
        EXPECT_TRUE(q.take(r));
    }
    EXPECT_FALSE(q.waiting(ShellRequest::Restart));
}

// A start time near 2^32: the clock wraps during the run.
INSTANTIATE_TEST_SUITE_P(ClockStarts, Pacing,
                         ::testing::Values(Millis{0}, Millis{123456}, Millis{0xFFFFFFFFu - 150},
                                           Millis{0xFFFFFFFFu}));
