// A replay played back in the shell: the World it shows gets the replay's arrows, its speed
// commands change how far each pass goes, and nothing it shows is the player's score.
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "backends/headless/headless.h"
#include "fake_http_client.h"
#include "game/world.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A game of a World: right, up, left and down for a while, as a replay.
replay::Replay recordedGame(const Resources& resources, std::vector<std::uint8_t>& lastFrame) {
    World world(4242, resources);
    for (int i = 0; i < 360; ++i) {
        world.update({i >= 200 && i < 280, i < 40 || i >= 280, i >= 40 && i < 120, false});
        world.stalled = false;
    }
    HeadlessPlatform display;
    ScreenBuffer screen(display, resources);
    world.render(screen);
    lastFrame = display.lastFrame;
    return replay::fromRecording(*world.recording(), world.score()->value(), 1, 2);
}

} // namespace

TEST(Playback, PlaysTheReplayAtItsSpeedsAndNeverOffersItsScore) {
    HeadlessPlatform h;
    FakeHttpClient http;
    std::vector<std::uint8_t> expectedFrame;
    const replay::Replay game = recordedGame(h, expectedFrame);
    ASSERT_GT(game.score, 0);

    // The user, pass by pass: the command given after that pass.
    const std::vector<std::pair<int, int>> commands = {
        {3, shell::cmdPlaybackPause},   {6, shell::cmdPlaybackPause},
        {8, shell::cmdPlaybackSpeed4},  {10, shell::cmdPlaybackSpeed2},
        {12, shell::cmdPlaybackSpeed4},
    };
    std::vector<PlaybackView> views; // after each pass
    std::vector<int> dialogs;
    bool ownGame = false;
    int pass = 0;
    std::int32_t bestScore = -1;
    h.onRunDialog = [&](int id, DialogLogic&) { dialogs.push_back(id); };
    h.onPumpMessage = [&](WindowEvents& events) {
        auto& shell = dynamic_cast<Shell&>(events);
        ++pass;
        const Playback* watched = shell.playback();
        if (watched == nullptr) {
            ownGame = true;
            shell.quit();
            return 1;
        }
        views.push_back(watched->view());
        for (const auto& [at, id] : commands) {
            if (at == pass) {
                shell.menuCommand(id);
            }
        }
        if (views.back().ended && views.size() >= 2 && views[views.size() - 2].ended) {
            // Over: its frame is the recorded game's, and nothing may be sent.
            EXPECT_EQ(h.lastFrame, expectedFrame);
            bestScore = shell.session.bestScore.value();
            shell.menuCommand(shell::cmdRegisterHighscore);
            shell.menuCommand(shell::cmdNewGame);
        }
        return pass > 1000 ? -1 : 1;
    };
    EXPECT_EQ(runPingel(makeWorld, headlessSeams(h, http), std::make_unique<Playback>(game, h)), 0);

    ASSERT_GT(views.size(), 14u);
    std::vector<std::uint32_t> steps; // updates played per pass
    for (std::size_t i = 1; i < 14; ++i) {
        steps.push_back(views[i].done - views[i - 1].done);
    }
    EXPECT_EQ(steps, (std::vector<std::uint32_t>{2, 2, 0, 0, 0, 2, 2, 8, 8, 4, 4, 8, 8}));
    EXPECT_TRUE(views[4].paused);
    EXPECT_EQ(views[4].speed, 1);
    EXPECT_EQ(views.back().done, game.updates);
    EXPECT_EQ(views.back().total, game.updates);
    EXPECT_TRUE(ownGame) << "F1 did not leave the playback";
    EXPECT_EQ(bestScore, 0);
    EXPECT_TRUE(dialogs.empty()) << "a dialog opened over a playback: " << dialogs.front();
}
