// The highscore dialog's logic, headless, over an HTTP client that talks to no network:
// what each outcome does to the send button, the pages opened, the dialog's end and the
// scores; the fields as read and kept; the other buttons; the password page's address.
#include "app/build_config.h"
#include "app/highscore_dialog.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "fake_http_client.h"
#include "game/counter.h"
#include "loopback_portal.h"
#include "net/highscore_request.h"
#include "net/http_binding.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

const std::string sending = "Skickar...";
const std::string retry = "F\xF6rs\xF6k igen";

std::string page(const std::string& path) {
    std::string url = std::string("http://") + build_config::portalHost;
    if (build_config::portalPort != 80) {
        url += ":" + std::to_string(build_config::portalPort);
    }
    return url + path;
}

// A game that stands still with its score.
class StandStillGame : public Game {
  public:
    void update() override {}
    void render() override {}
    Counter* score() override { return &points; }
    Counter points;
};

// The run's bookkeeping as the main loop leaves it after a game that ended at 1234.
class HighscoreDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake.install(scope.headless);
        session.bestScore.set(1234);
        session.playTimeAtBest = 98765;
        scoreTampered = false;
        currentScore().set(1234);
    }
    void TearDown() override { scoreTampered = false; }
    Counter& currentScore() { return *shell.driver->game->score(); }

    // Opens the dialog, types the account and presses the send button.
    void sendWith(const std::string& email, const std::string& password) {
        dialog.init(view);
        view.setItemText(shell::idEmail, email);
        view.setItemText(shell::idPassword, password);
        dialog.command(view, shell::idOk);
    }

    HeadlessScope scope;
    FakeHttpClient fake;
    HttpBinding binding{fake};
    Shell shell{[](ScreenBuffer&) { return std::make_unique<StandStillGame>(); }};
    Session& session = shell.session;
    HighscoreDialog dialog{shell, binding};
    RecordingDialogView view;
};

} // namespace

TEST_F(HighscoreDialogTest, OpensWithTheBestScoreAndTheAccountOfTheRun) {
    session.highscoreRecord.email = "anna@example.se";
    session.highscoreRecord.password = "hemlis";
    dialog.init(view);
    EXPECT_EQ(view.caption, "Registrera din po\xE4ng (1234)");
    EXPECT_EQ(view.itemText(shell::idEmail), "anna@example.se");
    EXPECT_EQ(view.itemText(shell::idPassword), "hemlis");

    session.bestScore.set(0);
    RecordingDialogView fresh;
    dialog.init(fresh);
    EXPECT_EQ(fresh.caption, "Registrera din po\xE4ng (0)");
}

TEST_F(HighscoreDialogTest, AnEmptyAddressOrPasswordIgnoresThePress) {
    const struct {
        std::string email, password;
    } cases[] = {{"", "hemlis"}, {"anna@example.se", ""}, {"", ""}};
    for (const auto& c : cases) {
        RecordingDialogView v;
        dialog.init(v);
        v.setItemText(shell::idEmail, c.email);
        v.setItemText(shell::idPassword, c.password);
        dialog.command(v, shell::idOk);
        EXPECT_TRUE(fake.calls.empty());
        EXPECT_EQ(v.items.count(shell::idOk), 0u);
        EXPECT_FALSE(v.ended);
        EXPECT_TRUE(scope.headless.urls.empty());
        EXPECT_EQ(session.bestScore.value(), 1234);
    }
}

// The server's own answers are driven through the real library in the loopback portal's
// tests; these are the outcomes that only a client failing on purpose can give.
TEST_F(HighscoreDialogTest, FailuresOfTheClientNeverCloseAsAcceptedAndKeepTheScore) {
    const struct {
        const char* name;
        bool library;
        std::optional<HttpStep> failing;
        std::int32_t error, versionBefore;
        std::string button;
        std::vector<std::string> urls;
        bool ended;
    } cases[] = {
        {"a code the dialog does not know", true, {}, 0, 1, sending, {}, false},
        {"a failed step without a number", true, HttpStep::SendRequest, 0, 1, sending, {}, false},
        {"a failed step numbered 1", true, HttpStep::ReadReply, 1, 1, sending, {}, false},
        {"an earlier new version, then a refused connection",
         true,
         HttpStep::SendRequest,
         7,
         5,
         sending,
         {page("/version.asp?gameid=5")},
         true},
        {"an earlier new version, then no library",
         false,
         {},
         0,
         5,
         retry,
         {page("/version.asp?gameid=5"), page("/dll/")},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessScope local;
        FakeHttpClient client;
        if (c.library) {
            client.install(local.headless);
        }
        client.reply = "7";
        if (c.failing) {
            client.failing = {*c.failing};
        }
        client.errorNumber = c.error;
        HttpBinding b(client);
        HighscoreDialog d(shell, b);
        RecordingDialogView v;
        session.highscoreRecord = HighscoreRecord{};
        session.highscoreRecord.versionPageId = c.versionBefore;

        d.init(v);
        v.setItemText(shell::idEmail, "anna@example.se");
        v.setItemText(shell::idPassword, "hemlis");
        d.command(v, shell::idOk);

        EXPECT_EQ(v.itemText(shell::idOk), c.button);
        EXPECT_EQ(local.headless.urls, c.urls);
        EXPECT_EQ(v.ended, c.ended);
        EXPECT_NE(session.highscoreRecord.result, 0);
        EXPECT_NE(session.highscoreRecord.result, 1);
        EXPECT_EQ(session.bestScore.value(), 1234);
        EXPECT_EQ(currentScore().value(), 1234);
        EXPECT_EQ(session.playTimeAtBest, 98765u);
    }
}

TEST_F(HighscoreDialogTest, FieldsAreCutAndTheAccountIsKeptForTheNextOpening) {
    const std::string longEmail = std::string(60, 'a') + "@example.se"; // 71 characters
    const std::string longPassword = "abcdefghijklmnopqrst";            // 20
    fake.reply = "2";
    sendWith(longEmail, longPassword);
    const auto fields = LoopbackPortal::decodeFields(fake.body);
    EXPECT_EQ(fields.at("f1"), longEmail.substr(0, 64));
    EXPECT_EQ(fields.at("f3"), "abcdefghijklmnop");

    HighscoreDialog again(shell, binding);
    RecordingDialogView second;
    again.init(second);
    EXPECT_EQ(second.itemText(shell::idEmail), longEmail.substr(0, 64));
    EXPECT_EQ(second.itemText(shell::idPassword), "abcdefghijklmnop");
}

TEST_F(HighscoreDialogTest, ATamperedScoreIsSentNegated) {
    const struct {
        bool atBest, now;
        std::string sent;
    } cases[] = {{false, false, "1234"}, {true, false, "-1234"}, {false, true, "-1234"}};
    for (const auto& c : cases) {
        session.tamperedAtBest = c.atBest;
        scoreTampered = c.now;
        fake.reply = "7";
        RecordingDialogView v;
        dialog.init(v);
        v.setItemText(shell::idEmail, "anna@example.se");
        v.setItemText(shell::idPassword, "hemlis");
        dialog.command(v, shell::idOk);
        EXPECT_EQ(LoopbackPortal::decodeFields(fake.body).at("f4"), c.sent);
        EXPECT_EQ(session.bestScore.value(), 1234); // the stored best is never negated
    }
}

TEST_F(HighscoreDialogTest, CancelResumesTheScheduleAndNewUserOpensRegistration) {
    GameDriver& driver = *shell.driver;
    driver.frameCount = 10;
    scope.headless.setClock(5000);

    dialog.init(view);
    dialog.command(view, shell::idNewUser);
    dialog.command(view, shell::idNewUser);
    EXPECT_EQ(scope.headless.urls,
              (std::vector<std::string>{page("/registrera/"), page("/registrera/")}));
    EXPECT_FALSE(view.ended);

    dialog.command(view, shell::idCancel);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(driver.startTime, 5000u - 400u); // the next frame is due now
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(session.bestScore.value(), 1234);
}

TEST_F(HighscoreDialogTest, RunHighscoreDialogRunsTemplate131) {
    int runs = 0;
    scope.headless.onRunDialog = [&](int id, DialogLogic& logic) {
        ++runs;
        EXPECT_EQ(id, 131);
        RecordingDialogView v;
        logic.init(v);
        EXPECT_EQ(v.caption, "Registrera din po\xE4ng (1234)");
    };
    runHighscoreDialog(shell);
    EXPECT_EQ(runs, 1);
}

TEST(HighscoreDialogPages, ThePasswordPageCarriesTheAddressSafely) {
    const struct {
        std::string typed, query;
    } cases[] = {
        {"anna@example.se", "anna@example.se"},
        {"a.b-c_d+e@x.se", "a.b-c_d+e@x.se"},
        {"a b", "a%20b"},
        {"a&admin=1", "a%26admin=1"},
        {"x#frag", "x%23frag"},
        {"100%", "100%25"},
        {"\"<script>\"", "%22%3Cscript%3E%22"},
        {"a\\b", "a%5Cb"},
        {"\r\nHost: evil", "%0D%0AHost:%20evil"},
        {"g\xF6ran@x.se", "g%F6ran@x.se"},
        {"\x7F", "%7F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HighscoreDialog::queryValue(c.typed), c.query) << c.typed;
    }
    EXPECT_EQ(HighscoreDialog::portalPage("/dll/"), page("/dll/"));
}
