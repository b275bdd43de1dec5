// The highscore road end to end on loopback: the game's own dialog logic, pressing OK
// through the real libcurl client, against a real `pingel-portal serve` process with a
// fresh SQLite database; a member joins through the registration form as a browser would
// (the form's token from its cookie). Each step is one row of the table: what the dialog
// is given, the result it must come to, the page it must open, and what the portal's home
// page must or must not show afterwards. The score the member sends comes with the game
// that made it, played through the game's own World, so the portal proves and ranks it.
#include "app/highscore_dialog.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "backends/curl/curl_http.h"
#include "game/counter.h"
#include "game/world.h"
#include "loopback_portal.h"
#include "platform/resources.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class StandStillGame : public Game {
  public:
    void update(const ArrowKeys&) override {}
    void render(ScreenBuffer&) override {}
    Counter* score() override { return &points; }
    Counter points;
};

// `pingel-portal serve` on a port of its own with a fresh database, stopped with SIGTERM.
class PortalProcess {
  public:
    explicit PortalProcess(const fs::path& database) : port_(LoopbackPortal::unusedPort()) {
        std::vector<std::string> args = {PINGEL_PORTAL_PROGRAM,
                                         "serve",
                                         "--listen",
                                         "127.0.0.1:" + std::to_string(port_),
                                         "--database",
                                         database.string()};
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = 0;
            return;
        }
        httplib::Client probe("127.0.0.1", port_);
        for (auto waited = 0ms; waited < 10s; waited += 50ms) {
            if (probe.Get("/")) {
                ready_ = true;
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
    }
    ~PortalProcess() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (auto waited = 0ms; waited < 5s; waited += 20ms) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                return;
            }
            std::this_thread::sleep_for(20ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    PortalProcess(const PortalProcess&) = delete;
    PortalProcess& operator=(const PortalProcess&) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }

  private:
    int port_;
    pid_t pid_ = 0;
    bool ready_ = false;
};

// The form's token on a page the browser got, with the cookie to send it back with.
std::pair<std::string, std::string> formTokenOf(const httplib::Result& page) {
    const std::string cookie = page ? page->get_header_value("Set-Cookie") : "";
    const std::string marker = "name=\"csrf\" value=\"";
    const std::size_t at = page ? page->body.find(marker) : std::string::npos;
    if (at == std::string::npos || cookie.empty()) {
        return {};
    }
    return {page->body.substr(at + marker.size(), 64), cookie.substr(0, cookie.find(';'))};
}

// Joins through "/registrera/" as a browser does (the form's page sets the token's cookie,
// the post sends both back), then opens the link of the mail in `outbox` and confirms the
// address with its button. True when the portal confirmed it.
bool joinThroughTheForm(httplib::Client& browser, const fs::path& outbox, const std::string& email,
                        const std::string& nickname, const std::string& password) {
    const auto [token, cookie] = formTokenOf(browser.Get("/registrera/"));
    const httplib::Params form = {{"csrf", token},         {"epost", email},
                                  {"smeknamn", nickname},  {"losenord", password},
                                  {"losenord2", password}, {"tipsare", ""}};
    const auto joined = browser.Post("/registrera/", {{"Cookie", cookie}}, form);
    if (!joined || joined->status != 200 || !fs::exists(outbox)) {
        return false;
    }
    std::string link;
    for (const auto& file : fs::directory_iterator(outbox)) {
        std::ifstream in(file.path());
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        if (const auto at = text.find("/bekrafta/?t="); at != std::string::npos) {
            link = text.substr(at, 13 + 64);
        }
    }
    const auto [confirmToken, confirmCookie] = formTokenOf(browser.Get(link));
    const auto confirmed =
        browser.Post("/bekrafta/", {{"Cookie", confirmCookie}},
                     httplib::Params{{"csrf", confirmToken}, {"t", link.substr(13)}});
    return confirmed && confirmed->status == 200 &&
           confirmed->body.find("bekr\xC3\xA4"
                                "ftad") != std::string::npos;
}

} // namespace

TEST(GameRoad, TheDialogsOkPressThroughLibcurlMeetsTheRealPortal) {
    const fs::path folder =
        fs::path(testing::TempDir()) / ("pingel-road-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    PortalProcess portal(folder / "portal.db");
    ASSERT_TRUE(portal.ready()) << "pingel-portal serve did not answer";

    RealLibraryPlatform system;
    CurlHttpClient curl(system);
    Shell shell{[](Millis, const Resources&) { return std::make_unique<StandStillGame>(); },
                headlessSeams(system, curl)};
    HighscoreDialog dialog(shell, {"127.0.0.1", portal.port(), HttpTimeouts{5000, 10000}});
    httplib::Client browser("127.0.0.1", portal.port());

    // A game played as the shell plays it, kept as the Session keeps its best game: up to
    // the update that made its score.
    const EmbeddedResources resources;
    World played(123456, resources);
    for (const auto& [keys, count] : {std::pair{ArrowKeys{false, true, false, false}, 40},
                                      {ArrowKeys{false, false, true, false}, 80},
                                      {ArrowKeys{true, false, false, false}, 100},
                                      {ArrowKeys{false, false, false, true}, 60}}) {
        for (int i = 0; i < count; ++i) {
            played.update(keys);
            played.stalled = false;
        }
    }
    shell.session.bestGame = played.recording()->prefix(played.scoreReachedAt());
    const std::int32_t gameScore = played.score()->value();
    const std::string shown = std::to_string(gameScore);
    ASSERT_GT(gameScore, 0);

    const std::string member = "anna+spel@example.se";
    struct Step {
        const char* name;
        const char* password;
        std::int32_t score;
        bool tampered;
        bool joinFirst;        // the member joins through the form before the press
        std::int32_t result;   // what the dialog comes to
        const char* page;      // the end of the page it opens, or "" for none
        const char* homeShows; // on "/" afterwards, or ""
        const char* homeLacks; // never on "/" afterwards, or ""
    };
    const Step steps[] = {
        {"an unknown address", "hemlis12", 1234, false, false, 2, "/registrera/", "", "Anna"},
        {"the member, once joined", "hemlis12", gameScore, false, true, 0, "", shown.c_str(), ""},
        {"a wrong password", "fel", 2345, false, false, 3,
         "/getpass.asp?mail=anna%2Bspel@example.se", "", "2345"},
        {"a tampered score", "hemlis12", 4321, true, false, 1, "", shown.c_str(), "4321"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.joinFirst) {
            ASSERT_TRUE(joinThroughTheForm(browser, folder / "outbox", member, "Anna", "hemlis12"));
        }
        shell.session.bestScore.set(step.score);
        shell.session.playTimeAtBest = 600000; // ten minutes hold any of these scores
        shell.session.tamperedAtBest = step.tampered;
        system.urls.clear();
        RecordingDialogView view;
        dialog.init(view);
        view.setItemText(shell::idEmail, member);
        view.setItemText(shell::idPassword, step.password);
        dialog.command(view, shell::idOk);

        const HighscoreRecord& record = shell.session.highscoreRecord;
        EXPECT_EQ(record.result, step.result) << record.message;
        EXPECT_EQ(view.ended, step.result == 0 || step.result == 1);
        if (step.page[0] != '\0') {
            ASSERT_EQ(system.urls.size(), 1u);
            EXPECT_TRUE(system.urls[0].ends_with(step.page)) << system.urls[0];
            // The portal serves it; the password page has the address filled in, '+' kept.
            const auto opened = browser.Get(step.page);
            ASSERT_TRUE(opened && opened->status == 200) << step.page;
            EXPECT_TRUE(step.result != 3 || opened->body.find(member) != std::string::npos);
        } else {
            EXPECT_TRUE(system.urls.empty());
        }
        const auto home = browser.Get("/");
        ASSERT_TRUE(home && home->status == 200);
        if (step.homeShows[0] != '\0') {
            EXPECT_NE(home->body.find(step.homeShows), std::string::npos);
        }
        if (step.homeLacks[0] != '\0') {
            EXPECT_EQ(home->body.find(step.homeLacks), std::string::npos);
        }
        EXPECT_EQ(home->body.find(member), std::string::npos); // never an address
    }
    fs::remove_all(folder);
}
