// The portal's storage, the same cases on SQLite and on PostgreSQL: members found by
// address in any case, each member's best ranked score on the lists, the lists and winners
// from the kept bests as the scores themselves give them (also after a change of time zone),
// a member's submissions an hour, the list of builds, the throttle's failure counts,
// sessions, recruits and password reset links, members who have yet to confirm their
// addresses and nicknames unique in any case, the schema's version and the steps that bring
// older databases up to it (one made by an earlier portal, in fixtures/), and two storage
// objects on one database (two portal processes) seeing each other's writes; a new SQLite
// database and its journal files readable by their owner alone.
#include "portal/competition.h"
#include "portal/password.h"
#include "portal/storage.h"
#include "portal/submission.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

// A list as "Nickname/score/at/id/proven ...".
std::string written(const std::vector<ListedScore>& list) {
    std::string out;
    for (const ListedScore& e : list) {
        out += (out.empty() ? "" : " ") + e.nickname + "/" + std::to_string(e.score) + "/" +
               std::to_string(e.at) + "/" + std::to_string(e.id) + "/" + (e.proven ? "1" : "0");
    }
    return out;
}

std::string written(const std::optional<RankedScore>& best) {
    return best
               ? best->nickname + "/" + std::to_string(best->score) + "/" + std::to_string(best->at)
               : "none";
}

class StorageTest : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        location_ = freshDatabase(GetParam());
        if (location_.empty()) {
            GTEST_SKIP() << "no PostgreSQL here: set PINGEL_PORTAL_TEST_POSTGRES to a "
                            "postgresql:// URL (tests/portal/run_postgres_tests.sh does)";
        }
        storage_ = openStorage(location_);
    }

    std::int64_t member(const std::string& email, const std::string& nickname) {
        EXPECT_TRUE(storage_->addMember(email, nickname, "hash-of-" + nickname, 1000));
        return storage_->findMember(email).value().id;
    }

    std::string location_;
    std::unique_ptr<Storage> storage_;
};

TEST_P(StorageTest, MembersAreFoundByAddressInAnyCase) {
    EXPECT_TRUE(storage_->addMember("Anna@Example.SE", "Anna", "h1", 1000));
    EXPECT_FALSE(storage_->addMember("anna@example.se", "Other", "h2", 1000));
    EXPECT_TRUE(storage_->addMember("\xC3\x96rjan@example.se", "\xC3\x96rjan", "h3", 1000));
    EXPECT_FALSE(storage_->addMember("\xC3\xB6rjan@example.se", "Other", "h4", 1000));

    const auto anna = storage_->findMember("ANNA@example.se");
    ASSERT_TRUE(anna);
    EXPECT_EQ(anna->email, "Anna@Example.SE");
    EXPECT_EQ(anna->nickname, "Anna");
    EXPECT_EQ(anna->passwordHash, "h1");
    EXPECT_EQ(storage_->findMember("\xC3\xB6rjan@example.se").value().nickname, "\xC3\x96rjan");

    EXPECT_TRUE(storage_->removeMember("anna@EXAMPLE.se"));
    EXPECT_FALSE(storage_->findMember("anna@example.se"));
    EXPECT_FALSE(storage_->removeMember("anna@example.se"));
}

TEST_P(StorageTest, ListsHoldEachMembersBestRankedScoreInThePeriod) {
    const auto anna = member("anna@example.se", "Anna");
    const auto bo = member("bo@example.se", "Bo");
    const auto cia = member("cia@example.se", "Cia");
    storage_->recordScore(scoreOf(anna, 500, 100));
    storage_->recordScore(scoreOf(anna, 900, 200));
    storage_->recordScore(scoreOf(anna, 5000, 300, false));
    storage_->recordScore(scoreOf(bo, 700, 300));
    storage_->recordScore(scoreOf(cia, 4000000, 300, false));
    storage_->recordScore(scoreOf(bo, 900, 240));
    storage_->recordScore(scoreOf(bo, 900, 150));
    // Equal scores: the earlier one first, also among one member's own.
    EXPECT_EQ(written(storage_->topScores(0, 10)), "Bo/900/150/7/1 Anna/900/200/2/1");
    EXPECT_EQ(written(storage_->topScores(250, 10)), "Bo/700/300/4/1");
    EXPECT_EQ(written(storage_->topScores(0, 1)), "Bo/900/150/7/1");
    // A removed member takes his scores with him.
    EXPECT_TRUE(storage_->removeMember("bo@example.se"));
    EXPECT_EQ(written(storage_->topScores(0, 10)), "Anna/900/200/2/1");
}

TEST_P(StorageTest, ListsAndWinnersFromTheKeptBestsAreThoseOfTheScores) {
    ASSERT_TRUE(useTimeZone("Europe/Stockholm"));
    std::vector<std::int64_t> members;
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
        members.push_back(member(std::string(name) + "@example.se", name));
    }
    // Three weeks around the change to summer time (Sunday 2026-03-29), on a few scores and
    // instants so that bests tie: ranked and proven, ranked unproven, unranked.
    const std::int64_t monday = 1774220400; // 2026-03-23 00:00 +01:00
    std::mt19937 random(7);
    const auto send = [&](int count) {
        for (int i = 0; i < count; ++i) {
            ScoreEntry e;
            e.memberId = members[random() % members.size()];
            e.score = static_cast<std::int32_t>(random() % 5) * 100;
            e.at = monday + static_cast<std::int64_t>(random() % 84) * 6 * 3600 - 3600;
            const auto kind = random() % 3;
            e.ranked = kind != 2;
            e.proven = kind == 0;
            storage_->recordScore(e);
        }
    };
    int listed = 0;
    const auto sameAsTheScores = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const bool unproven : {false, true}) {
            storage_->listUnproven(unproven);
            const auto both = [&](const auto& read) {
                const std::string kept = read();
                storage_->readKeptBests(false);
                const std::string scanned = read();
                storage_->readKeptBests(true);
                EXPECT_EQ(kept, scanned);
                listed += kept.empty() || kept == "none" ? 0 : 1;
            };
            both([&] { return written(storage_->topScores(0, 4)); });
            for (std::int64_t at = monday - 2 * 86400; at < monday + 23 * 86400; at += 43200) {
                SCOPED_TRACE(localTimestamp(at));
                const TimeSpan day = dayAround(at), week = weekAround(at);
                both([&] { return written(storage_->topScores(day.from, day.until, 4)); });
                both([&] { return written(storage_->topScores(week.from, week.until, 10)); });
                both([&] { return written(storage_->bestScore(day.from, day.until)); });
                both([&] { return written(storage_->bestScore(week.from, week.until)); });
                // A week cut at a competition's first day.
                both([&] { return written(storage_->bestScore(day.from, week.until)); });
            }
        }
        storage_->listUnproven(false);
    };
    send(150);
    sameAsTheScores("kept with each score");
    ASSERT_TRUE(useTimeZone("UTC"));
    sameAsTheScores("counted afresh in another zone");
    send(30);
    sameAsTheScores("kept in that zone");
    ASSERT_TRUE(useTimeZone("Europe/Stockholm"));
    EXPECT_TRUE(storage_->removeMember("a@example.se"));
    sameAsTheScores("counted afresh in the first zone, less a member");
    EXPECT_GT(listed, 200);
}

TEST_P(StorageTest, AMembersSubmissionsAreLimitedPerHourOnceHisPasswordIsRight) {
    ASSERT_TRUE(storage_->addMember("anna@example.se", "Anna", hashPassword("hemligt1"), 0));
    ThrottleRules rules;
    rules.sleep = [](std::chrono::milliseconds) {};
    const ScoringRules scoring{nullptr, true};
    const std::string tooOften = "7 F\xF6r m\xE5nga resultat p\xE5 en timme";
    Fields right, wrong;
    wrong.password = "fel";
    struct Case {
        std::int64_t after; // seconds after the first
        const Fields& sent;
        std::string reply;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 59; ++i) {
        cases.push_back({i * 60, right, "0"});
    }
    for (const Case& c : std::vector<Case>{
             {3540, wrong, "3"},      // a wrong password is not counted here
             {3541, right, "0"},      // the 60th of the hour
             {3599, right, tooOften}, // stores nothing
             {3599, wrong, "3"},      // the password is judged first
             {3600, right, tooOften}, // the first is still within the hour
             {3601, right, "0"},      // now it is not
             {3602, right, tooOften},
         }) {
        cases.push_back(c);
    }
    const std::int64_t first = 1774857600;
    PasswordChecks passwords;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto reply = answerSubmission(*storage_, passwords, cases[i].sent.body(),
                                            "application/x-www-form-urlencoded", "192.0.2.7",
                                            first + cases[i].after, rules, scoring);
        EXPECT_EQ(reply.text, cases[i].reply) << "submission " << i;
    }
    // Counted again where the score is recorded, so two sent at once cannot both pass.
    const ScoreEntry late =
        scoreOf(storage_->findMember("anna@example.se")->id, 0, first + 3602, false);
    EXPECT_FALSE(storage_->recordScore(late, {}, 60).recorded);
    EXPECT_TRUE(storage_->recordScore(late, {}, 61).recorded);
    EXPECT_EQ(storedScores(location_).size(), 62u);
}

TEST_P(StorageTest, BuildsAreListedOnceAndJudged) {
    const Build game{4000000000u, 123456}, other{1, 2};
    EXPECT_EQ(storage_->buildStatus(game), BuildStatus::NoList);
    EXPECT_TRUE(storage_->addBuild(game));
    EXPECT_FALSE(storage_->addBuild(game));
    EXPECT_EQ(storage_->buildStatus(game), BuildStatus::Listed);
    EXPECT_EQ(storage_->buildStatus(other), BuildStatus::Unlisted);
    EXPECT_EQ(storage_->buildStatus({game.checksum, other.length}), BuildStatus::Unlisted);
    EXPECT_TRUE(storage_->addBuild(other));
    EXPECT_EQ(storage_->builds(), (std::vector<Build>{other, game}));
}

TEST_P(StorageTest, FailuresAndSessionsKeepTheirTimes) {
    for (const std::int64_t at : {100, 200, 300}) {
        storage_->recordFailure("account:1", at);
    }
    storage_->recordFailure("address:::1", 300);
    EXPECT_EQ(storage_->failuresSince("account:1", 0), 3);
    EXPECT_EQ(storage_->failuresSince("account:1", 200), 2);
    EXPECT_EQ(storage_->oldestFailureSince("account:1", 150), 200);
    EXPECT_FALSE(storage_->oldestFailureSince("account:2", 0));
    storage_->clearFailures("account:1");
    EXPECT_EQ(storage_->failuresSince("account:1", 0), 0);
    EXPECT_EQ(storage_->failuresSince("address:::1", 0), 1);

    const auto anna = member("anna@example.se", "Anna");
    storage_->createSession("token", anna, 500);
    EXPECT_EQ(storage_->sessionMember("token", 499), anna);
    EXPECT_FALSE(storage_->sessionMember("token", 500));
    EXPECT_FALSE(storage_->sessionMember("other", 0));
    storage_->removeSession("token");
    EXPECT_FALSE(storage_->sessionMember("token", 0));
}

TEST_P(StorageTest, RecruitsResetLinksAndPasswordChanges) {
    const auto anna = member("anna@example.se", "Anna");
    const auto bo = member("bo@example.se", "Bo");
    EXPECT_TRUE(storage_->addMember("cia@example.se", "Cia", "h", 300, "ANNA@example.se"));
    EXPECT_TRUE(storage_->addMember("dan@example.se", "Dan", "h", 200, "anna@example.se"));
    EXPECT_TRUE(storage_->addMember("eva@example.se", "Eva", "h", 250, "bo@example.se"));
    const auto recruits = storage_->recruits(anna);
    ASSERT_EQ(recruits.size(), 2u);
    EXPECT_EQ(recruits[0].nickname, "Dan");
    EXPECT_EQ(recruits[0].joinedAt, 200);
    EXPECT_EQ(recruits[1].nickname, "Cia");
    EXPECT_EQ(storage_->recruits(bo).size(), 1u);

    storage_->setPassword(anna, "new-hash");
    EXPECT_EQ(storage_->memberById(anna).value().passwordHash, "new-hash");
    EXPECT_FALSE(storage_->memberById(anna + bo + 100));
    storage_->createSession("s1", anna, 500);
    storage_->createSession("s2", anna, 900);
    storage_->createSession("s3", bo, 500);
    storage_->removeExpiredSessions(600);
    EXPECT_FALSE(storage_->sessionMember("s1", 0));
    storage_->removeSessions(anna);
    EXPECT_FALSE(storage_->sessionMember("s2", 0));

    // Each token works once, before its time; using one forgets the member's others.
    storage_->createResetToken("t1", anna, 1000, 100);
    storage_->createResetToken("t2", anna, 1000, 100);
    storage_->createResetToken("old", bo, 150, 100);
    EXPECT_EQ(storage_->resetTokenState("t1", 999), ResetTokenState::Valid);
    EXPECT_EQ(storage_->resetTokenState("old", 150), ResetTokenState::Expired);
    EXPECT_FALSE(storage_->useResetToken("old", 150));
    EXPECT_EQ(storage_->useResetToken("t1", 500), anna);
    EXPECT_FALSE(storage_->useResetToken("t1", 501));
    EXPECT_EQ(storage_->resetTokenState("t1", 501), ResetTokenState::Used);
    EXPECT_EQ(storage_->resetTokenState("t2", 501), ResetTokenState::Unknown);
    EXPECT_EQ(storage_->resetTokenState("never", 0), ResetTokenState::Unknown);
}

// Bo joins by the form, naming Anna; his score and his recruit count once his link is used.
TEST_P(StorageTest, AnUnconfirmedMemberCountsNowhereUntilHisLinkIsUsed) {
    const auto anna = member("anna@example.se", "Anna");
    EXPECT_EQ(storage_->join("ANNA@example.se", "Ny", "h", 100).outcome, JoinOutcome::AddressTaken);
    EXPECT_EQ(storage_->join("ANNA@example.se", "aNNA", "h", 100).outcome,
              JoinOutcome::NicknameTaken);
    const Joining bo = storage_->join("bo@example.se", "Bo", "h", 100, "anna@example.se");
    ASSERT_EQ(bo.outcome, JoinOutcome::Joined);
    // Cia confirmed, recruited by Bo: she counts for Bo only once he is confirmed himself.
    EXPECT_TRUE(storage_->addMember("cia@example.se", "Cia", "h", 100, "bo@example.se"));
    storage_->recordScore(scoreOf(anna, 1000, 200));
    storage_->recordScore(scoreOf(bo.memberId, 5000, 200));
    storage_->createConfirmToken("old", bo.memberId, 150, 100);
    EXPECT_EQ(storage_->confirmTokenState("old", 150), ResetTokenState::Expired);
    storage_->createConfirmToken("t1", bo.memberId, 1000, 100);
    storage_->createConfirmToken("t2", bo.memberId, 1000, 100);
    struct Stage {
        const char* what;
        std::function<void()> step;
        bool confirmed;
        std::string best; // the nickname on top of every list, and the period's winner
        std::size_t listed, recruits, standings;
    };
    const Stage stages[] = {
        {"joined", [] {}, false, "Anna", 1, 0, 0},
        {"an expired link", [&] { EXPECT_FALSE(storage_->useConfirmToken("old", 150)); }, false,
         "Anna", 1, 0, 0},
        {"the link used", [&] { EXPECT_EQ(storage_->useConfirmToken("t1", 300), bo.memberId); },
         true, "Bo", 2, 1, 2},
        {"used again", [&] { EXPECT_FALSE(storage_->useConfirmToken("t1", 301)); }, true, "Bo", 2,
         1, 2},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.what);
        stage.step();
        EXPECT_EQ(storage_->memberById(bo.memberId)->confirmed, stage.confirmed);
        for (const auto& list : {storage_->topScores(0, 10), storage_->topScores(0, 1000, 10)}) {
            ASSERT_EQ(list.size(), stage.listed);
            EXPECT_EQ(list[0].nickname, stage.best);
        }
        EXPECT_EQ(storage_->bestScore(0, 1000)->nickname, stage.best);
        EXPECT_EQ(storage_->recruits(anna).size(), stage.recruits);
        EXPECT_EQ(storage_->recruitStandings(0, 1000).size(), stage.standings);
    }
    EXPECT_EQ(storage_->confirmTokenState("t1", 301), ResetTokenState::Used);
    // His other links are forgotten.
    EXPECT_EQ(storage_->confirmTokenState("t2", 301), ResetTokenState::Unknown);
    EXPECT_EQ(storage_->confirmTokenState("old", 301), ResetTokenState::Unknown);
}

TEST_P(StorageTest, TwoStorageObjectsOnOneDatabaseSeeEachOthersWrites) {
    const auto second = openStorage(location_); // the schema exists: it is kept
    EXPECT_TRUE(storage_->addMember("anna@example.se", "Anna", "h", 1000));
    const auto anna = second->findMember("Anna@example.se");
    ASSERT_TRUE(anna);
    EXPECT_FALSE(second->addMember("ANNA@example.se", "Again", "h", 1000));

    second->recordScore(scoreOf(anna->id, 1234, 100));
    ASSERT_EQ(storage_->topScores(0, 10).size(), 1u);
    EXPECT_EQ(storage_->topScores(0, 10)[0].score, 1234);

    storage_->recordFailure("account:1", 100);
    second->recordFailure("account:1", 101);
    EXPECT_EQ(storage_->failuresSince("account:1", 0), 2);
    EXPECT_EQ(second->failuresSince("account:1", 0), 2);

    EXPECT_TRUE(second->addBuild({5, 6}));
    EXPECT_EQ(storage_->buildStatus({5, 6}), BuildStatus::Listed);
}

TEST_P(StorageTest, ADatabaseOfANewerPortalIsRefused) {
    const auto db = GetParam() == "sqlite" ? openSqlite(location_) : openPostgres(location_);
    db->run("INSERT INTO schema_version (version) VALUES (?)",
            {std::int64_t{Storage::schemaVersion + 1}});
    EXPECT_THROW(openStorage(location_), SqlError);
}

TEST_P(StorageTest, ADatabaseNumberedOnlyInSchemaVersionTakesTheLaterSteps) {
    ASSERT_TRUE(useTimeZone("Europe/Stockholm"));
    const ScoreEntry e = scoreOf(member("anna@example.se", "Anna"), 1234, 1774857600);
    storage_->recordScore(e);
    storage_.reset();
    {
        // As a portal of version 2 left it.
        const auto db = GetParam() == "sqlite" ? openSqlite(location_) : openPostgres(location_);
        for (const char* sql :
             {"DROP TABLE kept_bests", "DROP TABLE schema_migrations", "DROP TABLE hidden_scores",
              "DROP TABLE member_bans", "DROP TABLE moderation_log",
              "UPDATE schema_version SET version = 2", "DELETE FROM settings",
              "DROP INDEX scores_by_member_best", "DROP TABLE confirm_tokens",
              "DROP INDEX members_by_nickname_key", "ALTER TABLE members DROP COLUMN nickname_key",
              "ALTER TABLE members DROP COLUMN confirmed_at"}) {
            db->run(sql);
        }
    }
    storage_ = openStorage(location_);
    const auto db = GetParam() == "sqlite" ? openSqlite(location_) : openPostgres(location_);
    EXPECT_EQ(db->run("SELECT version FROM schema_migrations ORDER BY version").size(),
              static_cast<std::size_t>(Storage::schemaVersion));
    EXPECT_EQ(db->run("SELECT version FROM schema_version").at(0).at(0),
              std::to_string(Storage::schemaVersion));
    const TimeSpan day = dayAround(e.at);
    EXPECT_EQ(written(storage_->topScores(day.from, day.until, 10)), "Anna/1234/1774857600/1/1");
    EXPECT_EQ(written(storage_->topScores(0, 10)), "Anna/1234/1774857600/1/1");
}

// Loads a dump (sqlite3 DB .dump) into a new SQLite database.
void loadDump(const std::string& location, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(location.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

std::string fixture(const char* name) {
    std::ifstream in(std::string(PINGEL_PORTAL_FIXTURES) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lists of three days and their weeks, all time, and the winners of the fixture's
// competition, of proven scores and then of all ranked ones.
std::string listsAndWinners(Storage& storage) {
    std::string out;
    for (const bool unproven : {false, true}) {
        storage.listUnproven(unproven);
        const std::string mode = unproven ? "unproven=1 " : "unproven=0 ";
        for (const char* at :
             {"2026-03-27 12:00:00", "2026-03-29 12:00:00", "2026-03-30 12:00:00"}) {
            std::tm parts{};
            strptime(at, "%Y-%m-%d %H:%M:%S", &parts);
            const std::int64_t t = timegm(&parts);
            const TimeSpan day = dayAround(t), week = weekAround(t);
            out +=
                mode + at + " day: " + written(storage.topScores(day.from, day.until, 10)) + "\n";
            out += mode + at + " week: " + written(storage.topScores(week.from, week.until, 10)) +
                   "\n";
        }
        out += mode + "all: " + written(storage.topScores(0, 10)) + "\n";
        const CompetitionPeriod period{{2026, 3, 27}, {2026, 3, 30}};
        std::ostringstream winners;
        printWinners(winners, period, "Europe/Stockholm", competitionResults(storage, period));
        out += winners.str();
    }
    storage.listUnproven(false);
    return out;
}

TEST(SqliteStorage, OlderDatabasesAreBroughtUpToDateWithEveryRowKept) {
    ASSERT_TRUE(useTimeZone("Europe/Stockholm"));
    struct Case {
        const char* name;
        std::string dump;
        const char* rows;          // "TABLE=ROWS ..." once opened
        std::string allTime;       // of proven scores
        std::string allTimeRanked; // of every ranked one (serve --rank-unproven)
        std::string lists;         // listsAndWinners(), when not ""
        int keyed;                 // members with a nickname key: one of each in any case
    };
    const std::vector<Case> cases = {
        {"the first schema, scores unproven",
         "CREATE TABLE schema_version (version BIGINT NOT NULL);"
         "INSERT INTO schema_version (version) VALUES (1);"
         "CREATE TABLE members (id INTEGER PRIMARY KEY, email_key TEXT NOT NULL UNIQUE,"
         " email TEXT NOT NULL, nickname TEXT NOT NULL, password_hash TEXT NOT NULL,"
         " recruiter_key TEXT, created_at BIGINT NOT NULL);"
         "CREATE TABLE scores (id INTEGER PRIMARY KEY,"
         " member_id BIGINT NOT NULL REFERENCES members(id) ON DELETE CASCADE,"
         " score BIGINT NOT NULL, play_time_ms BIGINT NOT NULL, ranked BIGINT NOT NULL,"
         " build_checksum BIGINT NOT NULL, build_length BIGINT NOT NULL,"
         " cpu_speed BIGINT NOT NULL, cpu TEXT NOT NULL, address TEXT NOT NULL,"
         " submitted_at BIGINT NOT NULL);"
         "INSERT INTO members VALUES (1, 'anna@example.se', 'anna@example.se', 'Anna', 'h', NULL,"
         " 0);"
         // A nickname that differs from Anna's only in case, as older portals let in.
         "INSERT INTO members VALUES (2, 'bo@example.se', 'bo@example.se', 'ANNA', 'h', NULL, 5);"
         "INSERT INTO scores VALUES (1, 1, 1200, 60000, 1, 7, 8, 9, 'CPU', '::1', 100);"
         "INSERT INTO scores VALUES (2, 1, 900, 60000, 0, 7, 8, 9, 'CPU', '::1', 200);",
         "members=2 scores=2 sessions=0 settings=0", "", "Anna/1200/100/1/0", "", 1},
        {"main at cf9d5d0 (version 2)", fixture("portal_cf9d5d0.sql"),
         "members=4 scores=9 builds=2 failures=4 sessions=2 settings=3 reset_tokens=1 "
         "hidden_scores=0 member_bans=0 moderation_log=0",
         "Anna/160/1774526400/1/1 Cia/70/1774602000/2/1 \xC3\x96rjan/55/1774744200/6/1",
         "Bo/2000/1774692000/5/0 Anna/160/1774526400/1/1 Cia/70/1774602000/2/1 "
         "\xC3\x96rjan/55/1774744200/6/1",
         "unproven=0 2026-03-27 12:00:00 day: Cia/70/1774602000/2/1\n"
         "unproven=0 2026-03-27 12:00:00 week: Anna/160/1774526400/1/1 Cia/70/1774602000/2/1 "
         "\xC3\x96rjan/55/1774744200/6/1\n"
         "unproven=0 2026-03-29 12:00:00 day: \xC3\x96rjan/55/1774744200/6/1\n"
         "unproven=0 2026-03-29 12:00:00 week: Anna/160/1774526400/1/1 Cia/70/1774602000/2/1 "
         "\xC3\x96rjan/55/1774744200/6/1\n"
         "unproven=0 2026-03-30 12:00:00 day: Cia/70/1774822200/7/1\n"
         "unproven=0 2026-03-30 12:00:00 week: Cia/70/1774822200/7/1\n"
         "unproven=0 all: Anna/160/1774526400/1/1 Cia/70/1774602000/2/1 "
         "\xC3\x96rjan/55/1774744200/6/1\n"
         "period\t2026-03-27\t2026-03-30\tEurope/Stockholm\n"
         "day\t2026-03-27\t70\t2026-03-27T10:00:00+01:00\tcia@example.se\tCia\n"
         "day\t2026-03-28\tnone\n"
         "day\t2026-03-29\t55\t2026-03-29T01:30:00+01:00\t\xC3\xB6rjan@example.se\t\xC3\x96rjan\n"
         "day\t2026-03-30\t70\t2026-03-30T00:10:00+02:00\tcia@example.se\tCia\n"
         "week\t2026-W13\t2026-03-27\t2026-03-29\t70\t2026-03-27T10:00:00+01:00\tcia@example."
         "se\tCia\n"
         "week\t2026-W14\t2026-03-30\t2026-03-30\t70\t2026-03-30T00:10:00+02:00\tcia@example."
         "se\tCia\n"
         "bonus\t1\t2\tanna@example.se\tAnna\n"
         "bonus\t2\t1\tBo@Example.se\tBo\n"
         "unproven=1 2026-03-27 12:00:00 day: Cia/70/1774602000/2/1\n"
         "unproven=1 2026-03-27 12:00:00 week: Bo/2000/1774692000/5/0 Anna/160/1774526400/1/1 "
         "Cia/70/1774602000/2/1 \xC3\x96rjan/55/1774744200/6/1\n"
         "unproven=1 2026-03-29 12:00:00 day: \xC3\x96rjan/55/1774744200/6/1\n"
         "unproven=1 2026-03-29 12:00:00 week: Bo/2000/1774692000/5/0 Anna/160/1774526400/1/1 "
         "Cia/70/1774602000/2/1 \xC3\x96rjan/55/1774744200/6/1\n"
         "unproven=1 2026-03-30 12:00:00 day: Bo/900/1774861200/9/0 Cia/70/1774822200/7/1\n"
         "unproven=1 2026-03-30 12:00:00 week: Bo/900/1774861200/9/0 Cia/70/1774822200/7/1\n"
         "unproven=1 all: Bo/2000/1774692000/5/0 Anna/160/1774526400/1/1 Cia/70/1774602000/2/1 "
         "\xC3\x96rjan/55/1774744200/6/1\n"
         "period\t2026-03-27\t2026-03-30\tEurope/Stockholm\n"
         "day\t2026-03-27\t70\t2026-03-27T10:00:00+01:00\tcia@example.se\tCia\n"
         "day\t2026-03-28\t2000\t2026-03-28T11:00:00+01:00\tBo@Example.se\tBo\n"
         "day\t2026-03-29\t55\t2026-03-29T01:30:00+01:00\t\xC3\xB6rjan@example.se\t\xC3\x96rjan\n"
         "day\t2026-03-30\t900\t2026-03-30T11:00:00+02:00\tBo@Example.se\tBo\n"
         "week\t2026-W13\t2026-03-27\t2026-03-29\t2000\t2026-03-28T11:00:00+01:00\tBo@Example."
         "se\tBo\n"
         "week\t2026-W14\t2026-03-30\t2026-03-30\t900\t2026-03-30T11:00:00+02:00\tBo@Example."
         "se\tBo\n"
         "bonus\t1\t2\tanna@example.se\tAnna\n"
         "bonus\t2\t1\tBo@Example.se\tBo\n",
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string location = freshDatabase("sqlite");
        loadDump(location, c.dump);
        auto storage = openStorage(location);
        const auto db = openSqlite(location);
        std::istringstream rows(c.rows);
        for (std::string table, count;
             std::getline(rows >> std::ws, table, '=') && rows >> count;) {
            EXPECT_EQ(db->run("SELECT COUNT(*) FROM " + table).at(0).at(0), count) << table;
        }
        EXPECT_EQ(db->run("SELECT COUNT(*) FROM schema_migrations").at(0).at(0),
                  std::to_string(Storage::schemaVersion));
        EXPECT_EQ(db->run("SELECT version FROM schema_version").at(0).at(0),
                  std::to_string(Storage::schemaVersion));
        EXPECT_EQ(written(storage->topScores(0, 10)), c.allTime);
        storage->listUnproven(true);
        EXPECT_EQ(written(storage->topScores(0, 10)), c.allTimeRanked);
        storage->listUnproven(false);
        if (!c.lists.empty()) {
            EXPECT_EQ(listsAndWinners(*storage), c.lists);
        }
        // Members of before count as confirmed and keep their names; of two that share a
        // nickname in another case, the later has no key, so the unique index could be made.
        EXPECT_EQ(db->run("SELECT COUNT(*) FROM members WHERE confirmed_at IS NULL").at(0).at(0),
                  "0");
        EXPECT_EQ(db->run("SELECT COUNT(nickname_key) FROM members").at(0).at(0),
                  std::to_string(c.keyed));
        EXPECT_FALSE(storage->addMember("cia@example.se", "anna", "h", 10));
        storage.reset();
        EXPECT_NO_THROW(openStorage(location)); // opened again: nothing left to do
    }
}

TEST(SqliteStorage, TheFixturesRowsReadAsBefore) {
    const std::string location = freshDatabase("sqlite");
    loadDump(location, fixture("portal_cf9d5d0.sql"));
    auto storage = openStorage(location);
    const auto anna = storage->findMember("Anna@example.se").value();
    EXPECT_TRUE(verifyPassword(anna.passwordHash, "hemligt"));
    EXPECT_EQ(storage->findMember("bo@example.se").value().recruiterKey, "anna@example.se");
    EXPECT_EQ(storage->findMember("\xC3\x96rjan@example.se").value().nickname, "\xC3\x96rjan");
    EXPECT_EQ(storage->recruits(anna.id).size(), 2u);
    const auto game = storage->replayOf(1).value();
    EXPECT_TRUE(game.proven);
    EXPECT_EQ(game.score, 160);
    EXPECT_EQ(replay::decode(game.replay).replay.value().score, 160);
    EXPECT_FALSE(storage->replayOf(4));
    EXPECT_EQ(storedScores(location).at(2).verdict, "game already claimed");
    EXPECT_EQ(storage->builds(), (std::vector<Build>{{1, 2}, {3735928559u, 100000}}));
    EXPECT_EQ(storage->setting("other_setting"), "kept as it is");
    EXPECT_EQ(storage->failuresSince("address:192.0.2.7", 0), 2);
    EXPECT_EQ(storage->sessionMember("session-hash-anna", 1774857600), anna.id);
    EXPECT_EQ(storage->resetTokenState("reset-hash-bo", 1774868400), ResetTokenState::Valid);
}

TEST(SqliteStorage, TheDatabaseAndItsJournalFilesAreTheOwnersAlone) {
    const std::string location = freshDatabase("sqlite");
    const mode_t saved = ::umask(022); // the usual umask, which would leave them readable
    auto storage = openStorage(location);
    ::umask(saved);
    ASSERT_TRUE(storage->addMember("anna@example.se", "Anna", "h", 1000)); // writes the WAL
    for (const char* suffix : {"", "-wal", "-shm"}) {
        SCOPED_TRACE(suffix);
        struct stat info {};
        ASSERT_EQ(::stat((location + suffix).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, StorageTest,
                         testing::Values(std::string("sqlite"), std::string("postgres")));

} // namespace
