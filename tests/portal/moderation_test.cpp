// The operator's moderation on each engine, one step after another through the commands
// as pingel-portal runs them: a hidden score leaves the day's, the week's and the all-time
// lists and the winners (the member's next best takes its place, the kept bests agreeing
// with the scores) and its replay; shown again it counts as before. A banned member's
// game is answered 7 and nothing is stored, his login gets the ban page and his session
// ends; unbanned, he sends and logs in again. The log holds every act with its time, actor
// and reason; bad input is refused and changes nothing.
#include "net/highscore_submission.h"
#include "portal/competition.h"
#include "portal/moderation.h"
#include "portal/password.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Monday 2026-03-23, 12:00 in Stockholm, and the acts' time.
constexpr std::int64_t monday = 1774263600;
constexpr std::int64_t dayLength = 24 * 3600;
constexpr std::int64_t actedAt = 1775000000;

class ModerationTest : public testing::TestWithParam<std::string>, protected PortalFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(useTimeZone("Europe/Stockholm"));
        if (!open(GetParam())) {
            GTEST_SKIP() << "no PostgreSQL here: set PINGEL_PORTAL_TEST_POSTGRES";
        }
        ASSERT_TRUE(storage_->addMember("bo@example.se", "Bo", hashPassword("hemligt2"), 0));
        bo_ = storage_->findMember("bo@example.se")->id;
        portal_->server.rankUnproven(); // Bo's games carry no replay
        ASSERT_TRUE(start(AccountSettings{}));
    }

    void score(std::int64_t member, std::int32_t points, std::int64_t at) {
        ScoreEntry e = scoreOf(member, points, at);
        e.replay = "game-" + std::to_string(points);
        storage_->recordScore(e);
    }

    // The lists of Monday, of its week and of all time, and the winners of the day and
    // the week, as "Anna/900,Bo/800 ...".
    std::string lists() {
        const auto names = [](const std::vector<ListedScore>& list) {
            std::string out;
            for (const auto& e : list) {
                out += (out.empty() ? "" : ",") + e.nickname + "/" + std::to_string(e.score);
            }
            return out;
        };
        const auto winner = [](const std::optional<RankedScore>& best) {
            return best ? best->nickname + "/" + std::to_string(best->score) : "none";
        };
        const TimeSpan day = dayAround(monday), week = weekAround(monday);
        return names(storage_->topScores(day.from, day.until, 10)) + " " +
               names(storage_->topScores(week.from, week.until, 10)) + " " +
               names(storage_->topScores(0, 10)) + " " +
               winner(storage_->bestScore(day.from, day.until)) + " " +
               winner(storage_->bestScore(week.from, week.until));
    }

    std::int64_t bo_ = 0;
};

TEST_P(ModerationTest, HiddenScoresBannedMembersAndTheLog) {
    score(anna_, 900, monday);                 // 1: hidden below
    score(anna_, 600, monday + 3600);          // 2: her next best of the day
    score(anna_, 850, monday + dayLength);     // 3: of the week and all time
    score(anna_, 700, monday - 7 * dayLength); // 4: the week before
    score(bo_, 800, monday + 2 * 3600);        // 5
    const std::string before = "Anna/900,Bo/800 Anna/900,Bo/800 Anna/900,Bo/800 Anna/900 Anna/900";
    const std::string hidden = "Bo/800,Anna/600 Anna/850,Bo/800 Anna/850,Bo/800 Bo/800 Anna/850";
    storage_->createSession("bo-session", bo_, actedAt * 2);
    const std::string at = localTimestamp(actedAt), x201(201, 'x');
    const std::string bo = "bo@example.se", cia = "cia@example.se";

    struct Step {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string lists;  // afterwards
        std::string output; // a part of what it printed (out and err)
        bool banned;        // Bo's game answered 7, his login refused, his session over
    };
    const std::vector<Step> steps = {
        {"hide", {"score", "hide", "1", "--reason", " fusk "}, 0, hidden, "", false},
        {"the list says so",
         {"score", "list", "--member", "ANNA@example.se", "--since", "2026-03-23"},
         0,
         hidden,
         "1\t2026-03-23T12:00:00+01:00\t900\tproven\tranked\thidden\tanna@example.se\tAnna\n",
         false},
        {"hidden already", {"score", "hide", "1", "--reason", "igen"}, 1, hidden, "already", false},
        {"no such score", {"score", "hide", "99", "--reason", "x"}, 1, hidden, "no score", false},
        {"an id that is none", {"score", "show", "1x"}, 1, hidden, "decimal", false},
        {"no reason", {"score", "hide", "2"}, 1, hidden, "--reason", false},
        {"a blank reason", {"score", "hide", "2", "--reason", "  "}, 1, hidden, "1 to 200", false},
        {"a line break", {"score", "hide", "2", "--reason", "a\nb"}, 1, hidden, "control", false},
        {"too long", {"score", "hide", "2", "--reason", x201}, 1, hidden, "1 to 200", false},
        {"a bad date", {"score", "list", "--since", "2026-02-30"}, 1, hidden, "YYYY-MM-DD", false},
        {"an unknown option", {"score", "show", "1", "--reason", "x"}, 1, hidden, "unknown", false},
        {"a wrong use", {"score", "hide"}, 2, hidden, "usage", false},
        {"shown again", {"score", "show", "1", "--by", "Eva"}, 0, before, "", false},
        {"not hidden", {"score", "show", "1"}, 1, before, "not hidden", false},
        {"ban", {"member", "ban", "BO@example.se", "--reason=spam"}, 0, before, "", true},
        {"banned already", {"member", "ban", bo, "--reason=x"}, 1, before, "already", true},
        {"no such member", {"member", "ban", cia, "--reason=x"}, 1, before, "no member", true},
        {"no address", {"member", "unban", "bo,x"}, 1, before, "@", true},
        {"unban", {"member", "unban", "bo@example.se"}, 0, before, "", false},
        {"the log, newest first",
         {"moderation", "log"},
         0,
         before,
         at + "\ttester\tunban\tbo@example.se\t\n" + at + "\ttester\tban\tbo@example.se\tspam\n" +
             at + "\tEva\tshow\t1\t\n" + at + "\ttester\thide\t1\tfusk\n",
         false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t bosScores = storage_->scoreRecords("bo@example.se", 0, 100).size();
        std::ostringstream out, err;
        EXPECT_TRUE(isModerationCommand(step.args));
        EXPECT_EQ(moderationCommand(*storage_, step.args, "tester", actedAt, out, err),
                  step.status);
        EXPECT_NE((out.str() + err.str()).find(step.output), std::string::npos)
            << out.str() << err.str();
        EXPECT_EQ(lists(), step.lists);
        // Read from the scores the lists and winners are the same.
        storage_->readKeptBests(false);
        EXPECT_EQ(lists(), step.lists);
        storage_->readKeptBests(true);
        // The hidden score's replay is not served.
        const auto replay = portal_->client->Get("/spel/1");
        ASSERT_TRUE(replay);
        EXPECT_EQ(replay->status, step.lists == hidden ? 404 : 200);

        const Fields game{.email = "bo@example.se", .password = "hemligt2", .score = 100};
        EXPECT_EQ(submit(game.body()).second, step.banned ? "7 Kontot \xE4r avst\xE4ngt" : "0");
        EXPECT_EQ(storage_->scoreRecords("bo@example.se", 0, 100).size(),
                  bosScores + (step.banned ? 0 : 1));
        const auto login =
            post("/logga-in/", {{"epost", "bo@example.se"}, {"losenord", "hemligt2"}});
        ASSERT_TRUE(login);
        EXPECT_EQ(login->status, step.banned ? 403 : 303);
        EXPECT_EQ(login->body.find("Kontot är avstängt") != std::string::npos, step.banned);
        EXPECT_EQ(login->get_header_value("Set-Cookie").find("pingel_session="),
                  step.banned ? std::string::npos : 0u);
    }
    // The ban ended the session made before it; an unban gives none back.
    EXPECT_FALSE(storage_->sessionMember("bo-session", actedAt));
}

INSTANTIATE_TEST_SUITE_P(Engines, ModerationTest,
                         testing::Values(std::string("sqlite"), std::string("postgres")));

} // namespace
