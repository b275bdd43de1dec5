// The portal's storage, the same cases on SQLite and on PostgreSQL: members found by
// address in any case, each member's best ranked score on the lists, the list of builds,
// the throttle's failure counts, sessions, recruits and password reset links, members who
// have yet to confirm their addresses and nicknames unique in any case, the schema's version,
// and two storage objects on one database (two portal processes) seeing each other's writes;
// a new SQLite database and its journal files readable by their owner alone.
#include "portal/storage.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace {

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
    struct Row {
        std::int64_t who;
        std::int32_t score;
        bool ranked;
        std::int64_t at;
    };
    for (const Row& r :
         {Row{anna, 500, true, 100}, Row{anna, 900, true, 200}, Row{anna, 5000, false, 300},
          Row{bo, 700, true, 300}, Row{cia, 4000000, false, 300}, Row{bo, 900, true, 240},
          Row{bo, 900, true, 150}}) {
        ScoreEntry e{r.who, r.score, 60000,    r.ranked, 4000000000u, 77,           9, "CPU",
                     "::1", r.at,    r.ranked, "",       "",          std::nullopt, ""};
        storage_->recordScore(e);
    }
    const auto all = storage_->topScores(0, 10);
    ASSERT_EQ(all.size(), 2u);
    // Equal scores: the earlier one first, also among one member's own.
    EXPECT_EQ(all[0].nickname, "Bo");
    EXPECT_EQ(all[0].score, 900);
    EXPECT_EQ(all[0].at, 150);
    EXPECT_EQ(all[1].nickname, "Anna");

    const auto late = storage_->topScores(250, 10);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].score, 700);
    EXPECT_EQ(storage_->topScores(0, 1).size(), 1u);

    // A removed member takes his scores with him.
    EXPECT_TRUE(storage_->removeMember("bo@example.se"));
    ASSERT_EQ(storage_->topScores(0, 10).size(), 1u);
    EXPECT_EQ(storage_->topScores(0, 10)[0].nickname, "Anna");
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
    for (const auto& [who, score] : {std::pair{anna, 1000}, std::pair{bo.memberId, 5000}}) {
        ScoreEntry e;
        e.memberId = who;
        e.score = score;
        e.ranked = e.proven = true;
        e.at = 200;
        storage_->recordScore(e);
    }
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

    ScoreEntry e;
    e.memberId = anna->id;
    e.score = 1234;
    e.ranked = e.proven = true;
    e.at = 100;
    second->recordScore(e);
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
