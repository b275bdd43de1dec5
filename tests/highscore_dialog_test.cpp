// The highscore dialog's logic, headless, over an HTTP client that talks to no network:
// what each outcome does to the send button and the line under it, the pages opened, the
// dialog's end and the scores; the fields as read and kept; the other buttons; the
// password page's address.
#include "app/highscore_dialog.h"
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "app/web_pages.h"
#include "fake_http_client.h"
#include "game/counter.h"
#include "loopback_portal.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const std::string sending = "Skickar...";
const std::string retry = "F\xF6rs\xF6k igen";

// A game that stands still with its score.
class StandStillGame : public Game {
  public:
    void update(const ArrowKeys&) override {}
    void render(ScreenBuffer&) override {}
    Counter* score() override { return &points; }
    bool tampered() const override { return tamperedNow; }
    Counter points;
    bool tamperedNow = false;
};

// The run's bookkeeping as the main loop leaves it after a game that ended at 1234.
class HighscoreDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session.bestScore.set(1234);
        session.playTimeAtBest = 98765;
        session.tamperedAtBest = false;
        currentScore().set(1234);
    }
    Counter& currentScore() { return *shell.driver->game->score(); }

    // Opens the dialog in `v`, types the account and presses the send button.
    void sendWith(RecordingDialogView& v, const std::string& email = "anna@example.se",
                  const std::string& password = "hemlis") {
        dialog.init(v);
        v.setItemText(shell::idEmail, email);
        v.setItemText(shell::idPassword, password);
        dialog.command(v, shell::idOk);
    }
    bool scoresKept() {
        return session.bestScore.value() == 1234 && currentScore().value() == 1234 &&
               session.playTimeAtBest == 98765;
    }

    HeadlessPlatform h;
    FakeHttpClient fake;
    Shell shell{[](Millis, const Resources&) { return std::make_unique<StandStillGame>(); },
                headlessSeams(h, fake)};
    Session& session = shell.session;
    HighscoreRecord& record = session.highscoreRecord;
    HighscoreDialog dialog{shell};
    RecordingDialogView view;
};

} // namespace

TEST_F(HighscoreDialogTest, AnEmptyAddressOrPasswordIgnoresThePress) {
    const struct {
        std::string email, password;
    } cases[] = {{"", "hemlis"}, {"anna@example.se", ""}, {"", ""}};
    for (const auto& c : cases) {
        RecordingDialogView v;
        sendWith(v, c.email, c.password);
        EXPECT_TRUE(fake.requests.empty());
        EXPECT_EQ(v.items.count(shell::idOk), 0u);
        EXPECT_FALSE(v.ended);
        EXPECT_TRUE(h.urls.empty());
        EXPECT_TRUE(scoresKept());
    }
}

// Every outcome the dialog tells apart: the send button offers a new try or not, the line
// that says why, the pages opened (space-separated), the dialog's end, the scores kept or
// given up. The version page of an earlier reply stays until a reply replaces it. A
// library's failure reads by its kind, whatever its number (the numbers' kinds: each
// backend's tests), and a number replied by the portal reads as the portal's.
TEST_F(HighscoreDialogTest, EachOutcomeTakesTheDialogWhereItShould) {
    const HttpOutcome noLibrary = HttpOutcome::libraryMissing();
    const auto failed = [](HttpFailure failure, std::int32_t error) {
        return HttpOutcome::failed(HttpStep::SendRequest, failure, error, "library text");
    };
    const auto ok = [](std::string body) { return HttpOutcome::replied(200, std::move(body)); };
    const std::string portalError = "Portalen svarade med ett fel.";
    const std::string noAnswer = "Inget svar fr\xE5n portalen i tid.";
    const std::string unreachable = "Kunde inte n\xE5 portalen.";
    const std::string broken = "Portalen br\xF6t f\xF6rbindelsen.";
    const std::string notSent = "Kunde inte skicka po\xE4ngen.";
    const std::string tooMany = "F\xF6r m\xE5nga f\xF6rs\xF6k";
    const struct {
        HttpOutcome outcome;
        std::int32_t versionBefore;
        bool retry;
        std::string line, pages;
        bool ended, kept;
    } cases[] = {
        {ok("0"), 1, false, "", "", true, false},
        {ok("1\r\n"), 1, false, "", "", true, false},
        {ok("2"), 1, true, "Ok\xE4nd anv\xE4ndare.", "/registrera/", false, true},
        {ok("3"), 1, true, "Fel l\xF6senord.", "/getpass.asp?mail=anna@example.se", false, true},
        {ok("2\r\n3"), 1, true, "", "/version.asp?gameid=3 /registrera/", true, true},
        {ok("0\r\n4\r\n"), 1, false, "", "/version.asp?gameid=4", true, false},
        {noLibrary, 1, true, "HTTP-biblioteket saknas.", "/dll/", false, true},
        {ok("7"), 1, true, portalError, "", false, true},
        {ok("7 " + tooMany + "\r\n0"), 1, true, tooMany, "", false, true},
        {ok("-5:\tV\xE4nta\x01lite"), 1, true, "V\xE4nta lite", "", false, true},
        {ok("7 F\xC3\xB6r m\xC3\xA5nga f\xC3\xB6rs\xC3\xB6k"), 1, true, tooMany, "", false, true},
        // Not well-formed UTF-8 (a surrogate): read as Latin-1.
        {ok("7 Fel \xED\xA0\x80!"), 1, true, "Fel \xED\xA0 !", "", false, true},
        {ok("9 " + std::string(50, 'x')), 1, true, std::string(37, 'x') + "...", "", false, true},
        {ok("<html>"), 1, true, portalError, "", false, true},
        {HttpOutcome::replied(500, "0"), 1, true, portalError, "", false, true},
        {failed(HttpFailure::Other, 0), 1, true, notSent, "", false, true},
        {failed(HttpFailure::Other, 28), 1, true, notSent, "", false, true},
        {failed(HttpFailure::OutOfReach, 7), 1, true, unreachable, "", false, true},
        {failed(HttpFailure::NoAnswer, 12002), 1, true, noAnswer, "", false, true},
        {failed(HttpFailure::Broken, 4), 1, true, broken, "", false, true},
        {failed(HttpFailure::OutOfReach, 7), 5, false, "", "/version.asp?gameid=5", true, true},
        {noLibrary, 5, true, "", "/version.asp?gameid=5 /dll/", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outcome.body + std::to_string(c.outcome.error) + " " + c.pages);
        SetUp();
        h.urls.clear();
        fake.outcome = c.outcome;
        record = HighscoreRecord{};
        record.versionPageId = c.versionBefore;
        RecordingDialogView v;
        sendWith(v);
        std::vector<std::string> pages;
        for (std::size_t at = 0; at < c.pages.size();) {
            const std::size_t end = std::min(c.pages.find(' ', at), c.pages.size());
            pages.push_back(portalUrl(c.pages.substr(at, end - at)));
            at = end + 1;
        }
        EXPECT_EQ(v.itemText(shell::idOk), c.retry ? retry : sending);
        EXPECT_EQ(v.itemText(shell::idStatus), c.line);
        EXPECT_EQ(h.urls, pages);
        EXPECT_EQ(v.ended, c.ended);
        EXPECT_EQ(scoresKept(), c.kept);
    }
}

TEST_F(HighscoreDialogTest, TheAttemptRunsResponsivelyAfterTheButtonSaysSending) {
    // The platform keeps the window alive while the attempt runs: by then the button must
    // already say so, and nothing may have been sent yet.
    int runs = 0;
    h.onRunResponsive = [&](const std::function<void()>& work) {
        ++runs;
        EXPECT_EQ(view.itemText(shell::idOk), sending);
        EXPECT_EQ(view.itemText(shell::idStatus), "");
        EXPECT_TRUE(fake.requests.empty());
        work();
        EXPECT_EQ(fake.requests.size(), 1u);
        EXPECT_EQ(record.result, 0); // the outcome is in before the dialog acts on it
        EXPECT_FALSE(view.ended);
    };
    view.setItemText(shell::idStatus, "old");
    sendWith(view);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(view.ended);
}

// The caption carries the best score; the account, cut, is kept for the next opening.
TEST_F(HighscoreDialogTest, FieldsAreCutAndTheAccountIsKeptForTheNextOpening) {
    const std::string longEmail = std::string(60, 'a') + "@example.se"; // 71 characters
    const std::string longPassword = "abcdefghijklmnopqrst";            // 20
    fake.outcome = HttpOutcome::replied(200, "2");
    sendWith(view, longEmail, longPassword);
    EXPECT_EQ(view.caption, "Registrera din po\xE4ng (1234)");
    const auto fields = LoopbackPortal::decodeFields(fake.bodies.at(0));
    EXPECT_EQ(fields.at("f1"), longEmail.substr(0, 64));
    EXPECT_EQ(fields.at("f3"), "abcdefghijklmnop");

    session.bestScore.set(0);
    HighscoreDialog again(shell);
    RecordingDialogView second;
    again.init(second);
    EXPECT_EQ(second.caption, "Registrera din po\xE4ng (0)");
    EXPECT_EQ(second.itemText(shell::idEmail), longEmail.substr(0, 64));
    EXPECT_EQ(second.itemText(shell::idPassword), "abcdefghijklmnop");
}

// Tampered now or when the best was made: the score goes out negated, the best stays.
TEST_F(HighscoreDialogTest, ATamperedScoreIsSentNegated) {
    for (const auto& [atBest, now, sent] :
         {std::tuple{false, false, "1234"}, std::tuple{true, false, "-1234"},
          std::tuple{false, true, "-1234"}}) {
        session.tamperedAtBest = atBest;
        static_cast<StandStillGame&>(*shell.driver->game).tamperedNow = now;
        fake.outcome = HttpOutcome::replied(200, "7");
        RecordingDialogView v;
        sendWith(v);
        EXPECT_EQ(LoopbackPortal::decodeFields(fake.bodies.back()).at("f4"), sent);
        EXPECT_EQ(session.bestScore.value(), 1234); // the stored best is never negated
    }
}

TEST_F(HighscoreDialogTest, CancelResumesTheScheduleAndNewUserOpensRegistration) {
    GameDriver& driver = *shell.driver;
    driver.frameCount = 10;
    h.setClock(5000);

    dialog.init(view);
    dialog.command(view, shell::idNewUser);
    dialog.command(view, shell::idNewUser);
    EXPECT_EQ(h.urls, std::vector<std::string>(2, portalUrl("/registrera/")));
    EXPECT_FALSE(view.ended);

    dialog.command(view, shell::idCancel);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(driver.startTime, 5000u - 400u); // the next frame is due now
    EXPECT_TRUE(fake.requests.empty());
    EXPECT_TRUE(scoresKept());
}

TEST_F(HighscoreDialogTest, RunHighscoreDialogRunsTemplate131ToTheBuiltInPortal) {
    int runs = 0;
    h.onRunDialog = [&](int id, DialogLogic& logic) {
        ++runs;
        EXPECT_EQ(id, 131);
        RecordingDialogView v;
        logic.init(v);
        EXPECT_EQ(v.caption, "Registrera din po\xE4ng (1234)");
        v.setItemText(shell::idEmail, "a@b.se");
        v.setItemText(shell::idPassword, "x");
        logic.command(v, shell::idOk);
    };
    runHighscoreDialog(shell);
    EXPECT_EQ(runs, 1);
    ASSERT_EQ(fake.requests.size(), 1u);
    EXPECT_EQ(fake.requests[0].host, builtInPortal().host);
    EXPECT_EQ(fake.requests[0].port, builtInPortal().port);
    EXPECT_EQ(record.email, "a@b.se");
}

TEST(HighscoreDialogPages, ThePasswordPageCarriesTheAddressSafely) {
    const struct {
        std::string typed, query;
    } cases[] = {
        {"anna@example.se", "anna@example.se"},
        {"a.b-c_d+e@x.se", "a.b-c_d%2Be@x.se"},
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
}
