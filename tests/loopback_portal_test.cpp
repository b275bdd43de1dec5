// The highscore through the real libcurl to a portal on this machine: the request on the
// wire, what each answer of the portal (and its absence) leaves in the record, within the
// time bounds, and the dialog's whole road from the send button, through failed tries and
// what it says about them, to an accepted score.
#include "app/highscore_dialog.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "game/counter.h"
#include "loopback_portal.h"
#include "net/highscore_submission.h"
#include "platform/curl/curl_http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

// A game that stands still with its score.
struct StandStillGame : Game {
    void update() override {}
    void render() override {}
    Counter* score() override { return &points; }
    Counter points;
};

// libcurl's numbers for the failures the portal provokes.
constexpr std::int32_t couldNotConnect = 7, timedOut = 28, gotNothing = 52;

// Short bounds, so that the late answer takes a second, not half a minute.
constexpr HttpTimeouts testTimeouts{1000, 1500};

HighscorePortal loopback(int port) {
    return {"127.0.0.1", port, testTimeouts};
}

HighscoreRecord account() {
    HighscoreRecord record;
    record.email = "anna@example.se";
    record.password = "hemlis";
    record.score = 1234;
    record.playTimeMs = 98765;
    record.versionPageId = 9;
    return record;
}

// A platform with the real libraries and a program file of nine known bytes.
class Machine {
  public:
    Machine() {
        std::ofstream(ownFile_, std::ios::binary) << "123456789";
        scope.headless.setOwnExecutablePath(ownFile_.string());
    }
    ~Machine() { std::filesystem::remove(ownFile_); }
    PlatformScope<RealLibraryPlatform> scope;

  private:
    std::filesystem::path ownFile_ =
        std::filesystem::temp_directory_path() /
        ("pingel_loopback_own_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
};

} // namespace

// From the send button to the portal and back: the request on the wire is exactly the
// highscore post; after each failure the button offers a new try and the line says why,
// the score stays, and the next try carries the same score until it is accepted.
TEST(LoopbackPortal, TheDialogPostsExactlyTheHighscoreAndSaysWhyATryFailed) {
    const struct {
        const char* name;
        LoopbackPortal::Answer answer;
        std::string line; // empty: accepted, the dialog ends
    } presses[] = {
        {"a server error", LoopbackPortal::reply("0", 500), "Portalen svarade med ett fel."},
        {"an HTML page", LoopbackPortal::reply("<html>"), "Portalen svarade med ett fel."},
        {"a closed connection", LoopbackPortal::closeAtOnce(), "Portalen br\xF6t f\xF6rbindelsen."},
        {"too many tries", LoopbackPortal::reply("7 F\xF6r m\xE5nga f\xF6rs\xF6k"),
         "F\xF6r m\xE5nga f\xF6rs\xF6k"},
        {"a silent server", LoopbackPortal::reply("0", 200, 2000),
         "Inget svar fr\xE5n portalen i tid."},
        {"accepted", LoopbackPortal::reply("0"), ""},
    };
    std::vector<LoopbackPortal::Answer> script;
    for (const auto& p : presses) {
        script.push_back(p.answer);
    }
    LoopbackPortal portal(script);
    Machine machine;
    CurlHttpClient curl;
    Shell shell([](ScreenBuffer&) { return std::make_unique<StandStillGame>(); }, curl);
    Counter& current = *shell.driver->game->score();
    current.set(1234);
    shell.session.bestScore.set(1234);
    shell.session.playTimeAtBest = 98765;
    HighscoreDialog dialog(shell, loopback(portal.port()));
    for (const auto& p : presses) {
        SCOPED_TRACE(p.name);
        RecordingDialogView view;
        dialog.init(view);
        view.setItemText(shell::idEmail, "anna@example.se");
        view.setItemText(shell::idPassword, "hemlis");
        dialog.command(view, shell::idOk);
        EXPECT_EQ(view.ended, p.line.empty());
        EXPECT_EQ(view.itemText(shell::idStatus), p.line);
        if (!p.line.empty()) {
            EXPECT_EQ(view.itemText(shell::idOk), "F\xF6rs\xF6k igen");
            EXPECT_EQ(shell.session.bestScore.value(), 1234);
        }
    }
    EXPECT_EQ(shell.session.bestScore.value(), 0);
    EXPECT_EQ(current.value(), 0);

    const auto requests = portal.requests();
    ASSERT_EQ(requests.size(), std::size(presses));
    const std::string body = highscoreBody(account());
    for (const std::string& request : requests) {
        EXPECT_EQ(LoopbackPortal::bodyOf(request), body);
        EXPECT_EQ(request.rfind("POST /r0002.asp HTTP/1.1\r\n", 0), 0u) << request;
        for (const std::string& header : std::vector<std::string>{
                 "\r\nUser-Agent: SpelHttp\r\n",
                 "\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                 "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n",
                 "\r\nHost: 127.0.0.1:" + std::to_string(portal.port()) + "\r\n"}) {
            EXPECT_NE(request.find(header), std::string::npos) << header << " in\n" << request;
        }
    }
}

// The same answers are served to the WinInet backend under Wine (tests/wine).
TEST(LoopbackPortal, EveryAnswerOfThePortalIsReadWithinItsBounds) {
    const struct {
        const char* name;
        LoopbackPortal::Answer answer;
        std::int32_t result, versionPageId;
    } cases[] = {
        {"accepted", LoopbackPortal::reply("0"), 0, 0},
        {"accepted with a new version", LoopbackPortal::reply("1\n2"), 1, 2},
        {"unknown account", LoopbackPortal::reply("2"), 2, 0},
        {"wrong password", LoopbackPortal::reply("3\r\n"), 3, 0},
        {"a server error", LoopbackPortal::reply("0", 500), resultHttpStatus, 9},
        {"an HTML page", LoopbackPortal::reply("<html>Logga in i proxyn</html>"),
         resultUnreadableReply, 9},
        {"20000 bytes, cut but read", LoopbackPortal::reply("0\n" + std::string(19998, 'x')), 0, 0},
        {"cut right before the code", LoopbackPortal::reply(std::string(16383, ' ') + "1"),
         resultUnreadableReply, 9},
        {"an answer after the time allowed", LoopbackPortal::reply("0", 200, 3000), timedOut, 9},
        {"an answer trickled past the time allowed", LoopbackPortal::trickle("0", 150), timedOut,
         9},
        {"the connection closed without an answer", LoopbackPortal::closeAtOnce(), gotNothing, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPortal portal({c.answer});
        Machine machine;
        CurlHttpClient curl;
        HighscoreRecord record = account();
        const auto start = std::chrono::steady_clock::now();
        submitHighscore(record, curl, loopback(portal.port()));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(record.result, c.result) << record.message;
        EXPECT_EQ(record.versionPageId, c.versionPageId);
        EXPECT_LE(record.message.size(), HighscoreRecord::maxMessage);
        EXPECT_EQ(portal.requests().size(), 1u);
        // No attempt waits past its bound (with room for a slow machine).
        EXPECT_LT(took, std::chrono::seconds(10));
    }

    Machine machine;
    CurlHttpClient curl;
    HighscoreRecord record = account();
    EXPECT_EQ(submitHighscore(record, curl, loopback(LoopbackPortal::unusedPort())), -2);
    EXPECT_EQ(record.result, couldNotConnect);
    EXPECT_FALSE(record.message.empty());
    EXPECT_LE(record.message.size(), 127u);
    EXPECT_EQ(submitHighscore(record, curl, {"bad host/", 80, testTimeouts}), -1);
    EXPECT_EQ(record.result, resultStepFailed);
}
