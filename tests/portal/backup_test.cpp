// The operator's copies of a portal: a backup taken while the portal serves and takes
// scores holds every score answered before it began, none sent after, and passes SQLite's
// integrity check; what backup must not overwrite; a portal with members, proven scores
// with replays, a competition and recruits copied from SQLite to the other engine and back
// serves the same pages and the same winners, every row kept and new ids past the copied
// ones; what copy refuses, with nothing written.
#include "net/highscore_submission.h"
#include "portal/backup.h"
#include "portal/competition.h"
#include "portal/password.h"
#include "portal/storage.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::unique_ptr<SqlConnection> connect(const std::string& location) {
    return location.starts_with("postgresql://") ? openPostgres(location) : openSqlite(location);
}

class BackupUnderLoad : public testing::Test, protected PortalFixture {};

TEST_F(BackupUnderLoad, ACopyTakenWhileThePortalTakesScoresHoldsThoseAnsweredBeforeIt) {
    ThrottleRules rules;
    rules.submissionsPerHour = 0; // no limit
    ASSERT_TRUE(open("sqlite", rules));
    const std::string location = location_;
    {
        // Some thousand pages, so that the backup takes many steps.
        const auto db = openSqlite(location);
        db->run("BEGIN");
        for (int i = 0; i < 3000; ++i) {
            db->run("INSERT INTO scores (member_id, score, play_time_ms, ranked, build_checksum,"
                    " build_length, cpu_speed, cpu, address, submitted_at, verdict, replay)"
                    " VALUES (1, 5, 1000, 0, 1, 2, 1000, 'CPU', '192.0.2.7', ?, 'old', ?)",
                    {std::int64_t{i}, std::string(2000, 'A')});
        }
        db->run("COMMIT");
    }
    ASSERT_TRUE(start());

    // Submission i sends the score 1000 + i; `answered` holds those the portal stored.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> answered;
    std::atomic<int> next{0};
    std::atomic<bool> stop{false};
    const std::jthread sender([&](std::stop_token ended) {
        httplib::Client client("127.0.0.1", portal_->server.port());
        while (!stop && !ended.stop_requested()) {
            const int i = next++;
            const auto res = client.Post(std::string(highscoreObject),
                                         Fields{.score = 1000 + i}.body(), formType);
            if (res && res->status == 200 && (res->body == "0" || res->body.starts_with("1"))) {
                std::lock_guard lock(mutex);
                answered.push_back(i);
                changed.notify_all();
            }
        }
    });
    const auto waitFor = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60),
                                [&] { return answered.size() >= count; });
    };
    ASSERT_TRUE(waitFor(5));
    const std::vector<int> before = [&] {
        std::lock_guard lock(mutex);
        return answered;
    }();
    // In the backup's first pause: sent from now on, after its snapshot began; three of
    // them must be answered while the backup is under way, then the sender stops.
    int sentDuring = -1;
    bool servedDuring = false;
    BackupPacing pacing{.pagesPerStep = 16, .pause = std::chrono::milliseconds(1)};
    pacing.between = [&](int, int) {
        if (sentDuring < 0) {
            sentDuring = next;
            std::unique_lock lock(mutex);
            const std::size_t now = answered.size();
            lock.unlock();
            servedDuring = waitFor(now + 3);
            stop = true; // the rest of the backup in peace
        }
    };
    const fs::path dir = freshFolder("backup-load");
    const std::string file = (dir / "copy.db").string();
    backupDatabase(location, file, false, pacing);
    EXPECT_TRUE(servedDuring);

    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    const auto copy = openSqlite(file);
    EXPECT_EQ(copy->run("PRAGMA integrity_check").at(0).at(0), "ok");
    std::set<int> held;
    for (const auto& row : copy->run("SELECT score FROM scores WHERE verdict <> 'old'")) {
        held.insert(std::stoi(row[0].value_or("0")) - 1000);
    }
    EXPECT_EQ(copy->run("SELECT COUNT(*) FROM scores WHERE verdict = 'old'").at(0).at(0), "3000");
    for (const int i : before) {
        EXPECT_TRUE(held.contains(i)) << "score " << i << " answered before the backup";
    }
    ASSERT_GE(sentDuring, 0);
    for (const int i : held) {
        EXPECT_LT(i, sentDuring) << "score " << i << " sent after the backup's snapshot";
    }
}

TEST(Backup, WhatItMustNotOverwriteOrCannotCopyIsRefused) {
    const fs::path dir = freshFolder("backup-refusals");
    const std::string database = (dir / "portal.db").string();
    ASSERT_TRUE(openStorage(database)->addMember("anna@example.se", "Anna", "h", 0));
    const std::string kept = (dir / "kept.db").string();
    std::ofstream(kept) << "an older backup";
    std::ofstream((dir / "busy.db-wal").string()) << "a journal";
    struct Case {
        std::vector<std::string> args;
        std::string database;
        int exit;
        const char* says;
    };
    const Case cases[] = {
        {{"backup", kept}, database, 1, "exists already (--replace replaces it)"},
        {{"backup", database, "--replace"}, database, 1, "is the database itself"},
        {{"backup", (dir / "busy.db").string()}, database, 1, "busy.db-wal lies beside"},
        {{"backup", (dir / "x.db").string()}, "postgresql://localhost/portal", 1, "pg_dump"},
        {{"backup", (dir / "x.db").string()},
         (dir / "missing.db").string(),
         1,
         "no SQLite database at"},
        {{"backup"}, database, 2, "usage: backup FILE"},
        {{"backup", kept, "--replace"}, database, 0, "backed up into"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::ostringstream err;
        EXPECT_EQ(backupCommand(c.args, c.database, err), c.exit);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        if (c.exit == 1 && c.args[1] == kept) {
            std::ifstream in(kept);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an older backup");
        }
    }
    EXPECT_TRUE(openSqlite(kept)->run("SELECT id FROM members").size() == 1);
    EXPECT_FALSE(fs::exists(dir / "missing.db"));
    EXPECT_FALSE(fs::exists(dir / "x.db"));
    for (const auto& entry : fs::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().find(".backup-"), std::string::npos)
            << entry.path();
    }
}

// The copied tables' rows, sorted, one line a row; the throttle's failures and the
// schema's own record are not compared.
std::string rowsOf(const std::string& location) {
    const auto db = connect(location);
    std::string out;
    for (const char* table :
         {"members", "scores", "kept_bests", "sessions", "reset_tokens", "confirm_tokens", "builds",
          "settings", "hidden_scores", "member_bans", "moderation_log"}) {
        std::vector<std::string> lines;
        for (const auto& row : db->run(std::string("SELECT * FROM ") + table)) {
            std::string line = table;
            for (const auto& value : row) {
                line += "|" + value.value_or("NULL");
            }
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
        for (const auto& line : lines) {
            out += line + "\n";
        }
    }
    return out;
}

const std::string annasSession(64, 'a');
const std::string formCookie(64, 'c');
const CompetitionPeriod period{parseDate("2026-03-02").value(), parseDate("2026-03-15").value()};

// What a visitor and the operator see of the portal on `location`: the home page, a
// watched game, Anna's member page and the period's winners.
std::string portalSeen(const std::string& location, std::int64_t game) {
    const auto storage = openStorage(location);
    ServedPortal portal(*storage);
    MailSettings mail;
    mail.outbox = freshFolder("copy-outbox").string();
    portal.server.serveAccounts(mail, {});
    EXPECT_TRUE(portal.start());
    const httplib::Headers cookies = {
        {"Cookie", "pingel_session=" + annasSession + "; pingel_csrf=" + formCookie}};
    std::string out;
    for (const std::string& page :
         std::vector<std::string>{"/", "/spel/" + std::to_string(game), "/useradm/"}) {
        const auto res = portal.client->Get(page, cookies);
        out += page + " " + (res ? std::to_string(res->status) + "\n" + res->body : "none") + "\n";
    }
    std::ostringstream winners;
    printWinners(winners, period, "Europe/Stockholm", competitionResults(*storage, period));
    return out + winners.str();
}

class Copy : public testing::TestWithParam<std::string> {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(useTimeZone("Europe/Stockholm")); }
    void SetUp() override {
        middle_ = freshDatabase(GetParam());
        if (middle_.empty()) {
            GTEST_SKIP() << "no PostgreSQL here: set PINGEL_PORTAL_TEST_POSTGRES";
        }
    }
    std::string middle_;
};

TEST_P(Copy, APortalCopiedToTheEngineAndBackServesTheSamePagesAndWinners) {
    const std::string source = freshDatabase("sqlite");
    std::int64_t game = 0; // a watched game's id
    {
        const auto s = openStorage(source);
        ASSERT_TRUE(s->addMember("anna@example.se", "Anna", hashPassword("hemligt1"), 1772000000));
        ASSERT_TRUE(s->addMember("bo@example.se", "Bo", "h", 1772500000, "anna@example.se"));
        const auto cecilia =
            s->join("cecilia@example.se", "Cecilia", "h", 1772600000, "anna@example.se");
        ASSERT_TRUE(s->addMember("dan@example.se", "Dan", "h", 1772700000, "anna@example.se"));
        const std::int64_t anna = s->findMember("anna@example.se")->id;
        const std::int64_t bo = s->findMember("bo@example.se")->id;
        s->createSession(tokenDigest(annasSession), anna, 4000000000);
        s->createResetToken(tokenDigest(std::string(64, 'r')), anna, 4000000000, 1772000000);
        s->createConfirmToken(tokenDigest(std::string(64, 'k')), cecilia.memberId, 4000000000,
                              1772600000);
        ASSERT_TRUE(s->addBuild({3735928559u, 100000}));
        saveTimeZone(*s, "Europe/Stockholm");
        saveCompetitionPeriod(*s, period);
        const replay::Replay played = playedGame(123456, {{2, 40}, {4, 80}, {1, 100}, {8, 60}});
        const Fields f = fieldsFor(played);
        // Proven games with their replays over two weeks of the period and one before it.
        const std::int64_t at[] = {1772460000, 1772550000, 1773100000, 1773200000, 1771000000};
        for (int i = 0; i < 5; ++i) {
            ScoreEntry e = scoreOf(i % 2 == 0 ? anna : bo, played.score - i, at[i]);
            e.playTimeMs = f.playTimeMs;
            e.buildChecksum = 3735928559u;
            e.buildLength = 100000;
            e.cpu = "CPU";
            e.address = "192.0.2.7";
            e.replay = f.replay;
            e.replaySeed = played.seed + static_cast<std::uint32_t>(i);
            e.openingDigest = "digest-" + std::to_string(i);
            ASSERT_TRUE(s->recordScore(e).recorded);
        }
        s->recordFailure("login:anna@example.se", 1772000000);
        game = storedScores(source).front().id;
        // The operator's acts travel too: a hidden score stays hidden, a ban stays.
        s->hideScore(storedScores(source).at(2).id, "fusk", "operatör", 1773300000);
        s->banMember("dan@example.se", "fusk", "operatör", 1773300000);
    }
    const std::string seen = portalSeen(source, game);
    ASSERT_NE(seen.find("Bo"), std::string::npos);
    ASSERT_NE(seen.find("/useradm/ 200"), std::string::npos);
    ASSERT_NE(seen.find("bonus\t1\t2\tanna@example.se"), std::string::npos) << seen;

    const auto sourceStorage = openStorage(source); // served while it is copied
    const auto there = copyDatabase(source, middle_);
    EXPECT_EQ(there.front(), (std::pair<std::string, std::int64_t>{"members", 4}));
    EXPECT_EQ(there.at(1), (std::pair<std::string, std::int64_t>{"scores", 5}));
    const std::string back = freshDatabase("sqlite");
    EXPECT_EQ(copyDatabase(middle_, back), there);

    EXPECT_EQ(portalSeen(middle_, game), seen);
    EXPECT_EQ(portalSeen(back, game), seen);
    EXPECT_EQ(rowsOf(back), rowsOf(source));
    EXPECT_EQ(connect(back)->run("SELECT COUNT(*) FROM failures").at(0).at(0), "0");

    // New members and scores are numbered past the copied ones.
    const auto copied = openStorage(middle_);
    const auto joined = copied->join("eva@example.se", "Eva", "h", 1773000000);
    EXPECT_EQ(joined.memberId, 5);
    copied->recordScore(scoreOf(joined.memberId, 0, 1773000000, false));
    EXPECT_EQ(storedScores(middle_).back().id, 6);
}

TEST_P(Copy, ANonEmptyTargetAndATableItDoesNotKnowAreRefusedWithNothingWritten) {
    const std::string source = freshDatabase("sqlite");
    ASSERT_TRUE(openStorage(source)->addMember("anna@example.se", "Anna", "h", 0));
    ASSERT_TRUE(openStorage(middle_)->addMember("bo@example.se", "Bo", "h", 0));
    EXPECT_THROW(
        {
            try {
                copyDatabase(source, middle_);
            } catch (const CopyRefused& e) {
                EXPECT_NE(std::string(e.what()).find("holds members already"), std::string::npos)
                    << e.what();
                throw;
            }
        },
        CopyRefused);
    EXPECT_EQ(rowsOf(middle_).find("anna@"), std::string::npos);

    connect(source)->run("CREATE TABLE moderation_notes (note TEXT)");
    const std::string target = freshDatabase("sqlite");
    std::ostringstream out, err;
    EXPECT_EQ(copyCommand({"copy", "--from", source, "--to=" + target}, out, err), 1);
    EXPECT_NE(err.str().find("the table moderation_notes"), std::string::npos) << err.str();
    EXPECT_EQ(connect(target)->run("SELECT COUNT(*) FROM members").at(0).at(0), "0");
    EXPECT_EQ(copyCommand({"copy", "--from", source}, out, err), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, Copy, testing::Values("sqlite", "postgres"));

} // namespace
