// The whole road of a highscore through the real HTTP client library to a portal on this
// machine: the dialog's send button, the request on the wire, the server's answer, the
// page opened and the dialog's end; and the same road when the portal answers late, hangs
// up, is not there, or the library is missing.
#include "app/build_config.h"
#include "app/highscore_dialog.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "loopback_portal.h"
#include "net/highscore_request.h"
#include "net/http_binding.h"

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

const std::string sending = "Skickar...";
const std::string retry = "F\xF6rs\xF6k igen";

// libcurl's numbers for the failures the portal provokes.
constexpr std::int32_t couldNotConnect = 7, timedOut = 28, gotNothing = 52;

// Short bounds, so that the late answer takes a second, not half a minute.
constexpr HttpTimeouts testTimeouts{1000, 1500};

std::string page(const std::string& path) {
    std::string url = std::string("http://") + build_config::portalHost;
    if (build_config::portalPort != 80) {
        url += ":" + std::to_string(build_config::portalPort);
    }
    return url + path;
}

// What the dialog leaves behind after one press of its send button.
struct Outcome {
    std::int32_t result = 0;
    std::string button;
    std::vector<std::string> urls;
    bool ended = false;
    bool scoresKept = false;
};

template <class P> class Road {
  public:
    explicit Road(int port) {
        std::ofstream(ownFile_, std::ios::binary) << "123456789";
        scope.headless.setOwnExecutablePath(ownFile_.string());
        httpBinding.forget();
        httpBinding.host = "127.0.0.1";
        httpBinding.port = port;
        httpBinding.timeouts = testTimeouts;
        shell_.session.bestScore.set(1234);
        current().set(1234);
        shell_.session.playTimeAtBest = 98765;
        scoreTampered = false;
    }
    ~Road() {
        httpBinding.forget();
        httpBinding.host = build_config::portalHost;
        httpBinding.port = build_config::portalPort;
        httpBinding.timeouts = HttpTimeouts{};
        std::filesystem::remove(ownFile_);
    }

    // Runs the dialog as the main loop does, and presses the send button in it.
    Outcome press(const std::string& email = "anna@example.se",
                  const std::string& password = "hemlis") {
        Outcome out;
        scope.headless.onRunDialog = [&](int id, DialogLogic& logic) {
            EXPECT_EQ(id, shell::highscoreDialogId);
            RecordingDialogView view;
            logic.init(view);
            view.setItemText(shell::idEmail, email);
            view.setItemText(shell::idPassword, password);
            logic.command(view, shell::idOk);
            out.button = view.itemText(shell::idOk);
            out.ended = view.ended;
        };
        runHighscoreDialog(shell_);
        out.result = record().result;
        out.urls = scope.headless.urls;
        const Session& session = shell_.session;
        out.scoresKept = session.bestScore.value() == 1234 && current().value() == 1234 &&
                         session.playTimeAtBest == 98765;
        return out;
    }
    HighscoreRecord& record() { return shell_.session.highscoreRecord; }
    Counter& current() { return *shell_.driver->game->score(); }

    PlatformScope<P> scope;

  private:
    std::filesystem::path ownFile_ =
        std::filesystem::temp_directory_path() /
        ("pingel_loopback_own_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    Shell shell_{[](ScreenBuffer&) { return std::make_unique<StandStillGame>(); }};
};

} // namespace

TEST(LoopbackPortal, TheRequestOnTheWireIsExactlyTheHighscorePost) {
    LoopbackPortal portal({LoopbackPortal::reply("0")});
    Road<RealLibraryPlatform> road(portal.port());
    const Outcome out = road.press();
    ASSERT_EQ(portal.requests().size(), 1u) << road.record().message;
    const std::string request = portal.requests()[0];

    const std::string body =
        "f1=5DCF3066920DE32051D13262FC1BFE&f2=8&f3=54C4336BBB1B&f4=0D936D33&f5=05996931E7"
        "&f6=0D98673F&f7=7FF10B279B26CF0470810E429C3CD21471&f8=0F956C36E550AB730A93&f9=05"
        "&fa=0D936D33B306F5207CC42666BF18F72412D23B&fb=0D936A34";
    EXPECT_EQ(LoopbackPortal::bodyOf(request), body);
    EXPECT_EQ(request.rfind("POST /r0002.asp HTTP/1.1\r\n", 0), 0u) << request;
    for (const std::string& header : std::vector<std::string>{
             "\r\nUser-Agent: SpelHttp\r\n",
             "\r\nContent-Type: application/x-www-form-urlencoded\r\n",
             "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n",
             "\r\nHost: 127.0.0.1:" + std::to_string(portal.port()) + "\r\n"}) {
        EXPECT_NE(request.find(header), std::string::npos) << header << " in\n" << request;
    }
    const auto fields = LoopbackPortal::decodeFields(LoopbackPortal::bodyOf(request));
    EXPECT_EQ(fields.at("f1"), "anna@example.se");
    EXPECT_EQ(fields.at("f4"), "1234");
    EXPECT_EQ(fields.at("f7"), "CPU INTEL PENTIUM");

    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(out.ended);
    EXPECT_FALSE(out.scoresKept);
    EXPECT_TRUE(out.urls.empty());
}

TEST(LoopbackPortal, EveryAnswerOfThePortalTakesTheDialogWhereItShould) {
    const std::string email = "anna@example.se";
    const struct {
        const char* name;
        LoopbackPortal::Answer answer;
        Outcome expected;
    } cases[] = {
        {"accepted", LoopbackPortal::reply("0"), {0, sending, {}, true, false}},
        {"accepted as 1", LoopbackPortal::reply("1\r\n"), {1, sending, {}, true, false}},
        {"unknown account",
         LoopbackPortal::reply("2"),
         {2, retry, {page("/registrera/")}, false, true}},
        {"wrong password",
         LoopbackPortal::reply("3"),
         {3, retry, {page("/getpass.asp?mail=" + email)}, false, true}},
        {"unknown account and a new version",
         LoopbackPortal::reply("2\r\n3"),
         {2, retry, {page("/version.asp?gameid=3"), page("/registrera/")}, true, true}},
        {"accepted and a new version",
         LoopbackPortal::reply("0\r\n4\r\n"),
         {0, sending, {page("/version.asp?gameid=4")}, true, false}},
        {"an HTML page",
         LoopbackPortal::reply("<html><body>Logga in i proxyn</body></html>"),
         {resultUnreadableReply, sending, {}, false, true}},
        {"a server error",
         LoopbackPortal::reply("0", 500),
         {resultHttpStatus, sending, {}, false, true}},
        {"20000 bytes, cut but read",
         LoopbackPortal::reply("0\n" + std::string(19998, 'x')),
         {0, sending, {}, true, false}},
        {"cut right before the code",
         LoopbackPortal::reply(std::string(16383, ' ') + "1"),
         {resultUnreadableReply, sending, {}, false, true}},
        {"an answer after the time allowed",
         LoopbackPortal::reply("0", 200, 3000),
         {timedOut, sending, {}, false, true}},
        {"the connection closed without an answer",
         LoopbackPortal::closeAtOnce(),
         {gotNothing, sending, {}, false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPortal portal({c.answer});
        Road<RealLibraryPlatform> road(portal.port());
        const auto start = std::chrono::steady_clock::now();
        const Outcome out = road.press(email);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(out.result, c.expected.result) << road.record().message;
        EXPECT_EQ(out.button, c.expected.button);
        EXPECT_EQ(out.urls, c.expected.urls);
        EXPECT_EQ(out.ended, c.expected.ended);
        EXPECT_EQ(out.scoresKept, c.expected.scoresKept);
        EXPECT_EQ(portal.requests().size(), 1u);
        // No attempt waits past its bound (with room for a slow machine).
        EXPECT_LT(took, std::chrono::seconds(10));
    }
}

TEST(LoopbackPortal, ATryAfterAFailureReachesThePortalWithTheSameScore) {
    LoopbackPortal portal({LoopbackPortal::reply("<html>", 503), LoopbackPortal::reply("1")});
    Road<RealLibraryPlatform> road(portal.port());
    const Outcome first = road.press();
    EXPECT_FALSE(first.ended);
    EXPECT_TRUE(first.scoresKept);
    const Outcome second = road.press();
    EXPECT_TRUE(second.ended);
    EXPECT_FALSE(second.scoresKept);
    const auto requests = portal.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const std::string& request : requests) {
        const auto fields = LoopbackPortal::decodeFields(LoopbackPortal::bodyOf(request));
        EXPECT_EQ(fields.at("f4"), "1234");
        EXPECT_EQ(fields.at("f5"), "98765");
    }
}

TEST(LoopbackPortal, NothingListeningFailsTheAttemptAndKeepsTheScore) {
    Road<RealLibraryPlatform> road(LoopbackPortal::unusedPort());
    const Outcome out = road.press();
    EXPECT_EQ(out.result, couldNotConnect) << road.record().message;
    EXPECT_EQ(out.button, sending);
    EXPECT_FALSE(out.ended);
    EXPECT_TRUE(out.scoresKept);
    EXPECT_FALSE(road.record().message.empty());
    EXPECT_LE(road.record().message.size(), 127u);
}

TEST(LoopbackPortal, WithoutTheLibraryTheDialogOpensTheLibraryPage) {
    LoopbackPortal portal({LoopbackPortal::reply("0")});
    Road<HeadlessPlatform> road(portal.port()); // a platform that finds no library at all
    const Outcome out = road.press();
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(road.record().message, "Kunde inte hitta WinInet.dll");
    EXPECT_EQ(out.button, retry);
    EXPECT_EQ(out.urls, std::vector<std::string>{page("/dll/")});
    EXPECT_FALSE(out.ended);
    EXPECT_TRUE(out.scoresKept);
    EXPECT_TRUE(portal.requests().empty());
}
