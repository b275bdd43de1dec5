// Scores proven by their replays, through a real portal server on loopback on each engine:
// one table of honest games and the attacks a proof must refuse, each with its reply and
// what is stored; a proven game watched through /spel/ID and linked from the lists; the
// verdict on eight threads at once; verify after the game has changed under a stored
// replay.
#include "net/highscore_submission.h"
#include "platform/resources.h"
#include "portal/password.h"
#include "portal/proof.h"
#include "portal/submission.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <thread>

namespace {

constexpr std::uint8_t left = 1, right = 2, up = 4, down = 8;

// The golden game of seed 123456: it eats points along the way.
replay::Replay annasGame() {
    return playedGame(
        123456,
        {{right, 40}, {up, 80}, {left, 100}, {down, 60}, {right, 200}, {left, 500}, {up, 300}});
}

// The game with one input run in its middle turned the other way.
replay::Replay flipped(replay::Replay game) {
    auto& run = game.runs[game.runs.size() / 2];
    run.arrows = run.arrows == left ? right : run.arrows == right ? left : run.arrows ^ (up | down);
    return game;
}

// The first `updates` updates of the game, still claiming the whole game's score.
replay::Replay cutShort(const replay::Replay& game, std::uint32_t updates) {
    replay::Recording rec(game.seed);
    for (const auto& run : game.runs) {
        for (std::uint32_t i = 0; i < run.count; ++i) {
            rec.add(replay::arrowsOf(run.arrows));
        }
    }
    return replay::fromRecording(rec.prefix(updates), game.score, game.buildChecksum,
                                 game.buildLength);
}

class ProofTest : public testing::TestWithParam<std::string>, protected PortalFixture {
  protected:
    void SetUp() override {
        if (!open(GetParam())) {
            GTEST_SKIP() << "no PostgreSQL here: set PINGEL_PORTAL_TEST_POSTGRES";
        }
        ASSERT_TRUE(storage_->addMember("bo@example.se", "Bo", hashPassword("bo-hemlis"), 0));
        ASSERT_TRUE(start());
    }
    std::pair<int, std::string> post(const std::string& body) { return submit(body); }
};

Fields asBo(Fields f) {
    f.email = "bo@example.se";
    f.password = "bo-hemlis";
    return f;
}

TEST_P(ProofTest, OnlyAGameThePortalReplaysToTheScoreIsRanked) {
    const replay::Replay game = annasGame();
    ASSERT_GT(game.score, 100);
    const EmbeddedResources resources;
    // The flip must change the game's score, or the flipped game would be a real one.
    replay::Replay turned = flipped(game);
    ASSERT_NE(replay::run(turned, resources).score, game.score);
    replay::Replay higher = game;
    ++higher.score;
    replay::Replay reseeded = game;
    ++reseeded.seed;
    // A copy of Anna's game cut short, claiming what the shorter game really reaches.
    replay::Replay copyCut = cutShort(game, game.updates * 3 / 4);
    copyCut.score = replay::run(copyCut, resources).score;
    ASSERT_GT(copyCut.score, 0);
    const Build other{game.buildChecksum + 1, game.buildLength};
    replay::Replay unlisted = playedGame(123456, {{right, 40}, {up, 80}, {left, 100}}, other);
    replay::Replay tooLong = game;
    tooLong.updates = replay::maxUpdates + 1;
    tooLong.runs = {{right, replay::maxUpdates + 1}};
    ASSERT_TRUE(storage_->addBuild({game.buildChecksum, game.buildLength}));

    const auto with = [](Fields f, const replay::Replay& r) {
        f.replay = replay::encode(r);
        return f;
    };
    // Anna's fields for the game, changed.
    const auto changed = [&](const std::function<void(Fields&)>& change) {
        Fields f = fieldsFor(game);
        change(f);
        return f;
    };
    struct Case {
        const char* what;
        Fields fields;
        int status;
        const char* reply;
        const char* verdict; // stored with the score; nullptr when nothing is stored
    };
    const Case cases[] = {
        {"the game as played", fieldsFor(game), 200, "0", ""},
        {"the same game again, by the same member", fieldsFor(game), 200, "0", ""},
        {"one point more than the replay reaches", fieldsFor(higher), 200, "1", "the game reaches"},
        {"the replay of the score cut short",
         with(fieldsFor(game), cutShort(game, game.updates / 2)), 200, "1", "the game reaches"},
        {"an input flipped mid-game", with(fieldsFor(game), turned), 200, "1", "the game reaches"},
        {"more updates than the play time holds", changed([](Fields& f) { f.playTimeMs = 1000; }),
         200, "1", "do not fit"},
        {"another member's game under a second account", asBo(fieldsFor(game)), 200, "1",
         alreadyClaimed},
        {"another member's game cut short under a second account", asBo(fieldsFor(copyCut)), 200,
         "1", alreadyClaimed},
        // Another seed need not change the score (the butterflies may never reach the
        // penguin), so the copy is known by its inputs.
        {"the seed changed", asBo(with(fieldsFor(game), reseeded)), 200, "1", alreadyClaimed},
        {"a replay from an unlisted build", asBo(fieldsFor(unlisted)), 200, "1\n8",
         "the build is not listed"},
        {"a replay of more than a mebibyte",
         changed([](Fields& f) { f.replay = std::string(replay::maxBytes + 1, 'x'); }), 400,
         "400 Felaktig inskickning", nullptr},
        {"more updates than a replay may hold", with(fieldsFor(game), tooLong), 400,
         "400 Felaktig inskickning", nullptr},
        {"a malformed replay", changed([](Fields& f) { f.replay.pop_back(); }), 400,
         "400 Felaktig inskickning", nullptr},
        {"no replay", Fields{.score = 300}, 200, "1", "no replay"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = storedScores(location_).size();
        EXPECT_EQ(post(c.fields.body()), (std::pair<int, std::string>{c.status, c.reply}));
        const auto stored = storedScores(location_);
        if (c.verdict == nullptr) {
            EXPECT_EQ(stored.size(), before);
            continue;
        }
        ASSERT_EQ(stored.size(), before + 1);
        const bool proven = std::string_view(c.reply) == "0";
        EXPECT_EQ(stored.back().proven, proven);
        EXPECT_EQ(stored.back().ranked, proven);
        EXPECT_NE(stored.back().verdict.find(c.verdict), std::string::npos)
            << stored.back().verdict;
    }

    // Only the proven game is listed; it can be watched, and nothing else can.
    const auto listed = storage_->topScores(0, 10);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].score, game.score);
    const std::int64_t id = listed[0].id;
    const auto watched = portal_->client->Get("/spel/" + std::to_string(id));
    ASSERT_TRUE(watched && watched->status == 200);
    EXPECT_EQ(watched->body, replay::encode(game));
    EXPECT_EQ(watched->get_header_value("Content-Type"), "application/octet-stream");
    for (const std::string& path :
         {"/spel/" + std::to_string(id + 2), std::string("/spel/99999"),
          "/spel/+" + std::to_string(id), std::string("/spel/1x"), std::string("/spel/")}) {
        const auto res = portal_->client->Get(path);
        EXPECT_TRUE(res && res->status == 404) << path; // id + 2: recorded, not proven
    }
    const auto home = portal_->client->Get("/");
    ASSERT_TRUE(home && home->status == 200);
    EXPECT_NE(home->body.find("<a href=\"/spela/?spel=" + std::to_string(id) + "\">Se spelet</a>"),
              std::string::npos);
}

TEST_P(ProofTest, VerifyFindsAStoredReplayThatNoLongerReproduces) {
    const replay::Replay game = annasGame();
    EXPECT_EQ(post(fieldsFor(game).body()).second, "0");
    // As if an upgrade had changed the game under a stored replay: its score moves away.
    ScoreEntry changed;
    changed.memberId = storage_->findMember("bo@example.se")->id;
    changed.score = game.score + 5;
    changed.playTimeMs = 600000;
    changed.buildChecksum = game.buildChecksum;
    changed.buildLength = game.buildLength;
    changed.ranked = changed.proven = true;
    replay::Replay stale = game;
    stale.score = changed.score;
    changed.replay = replay::encode(stale);
    storage_->recordScore(changed);

    const EmbeddedResources resources;
    std::ostringstream out;
    const auto all = verifyStoredReplays(*storage_, std::nullopt, resources, out);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->checked, 2);
    EXPECT_EQ(all->failed, 1);
    const auto ids = storedScores(location_);
    EXPECT_EQ(out.str(), std::to_string(ids[1].id) + "\tBo\t" + std::to_string(changed.score) +
                             "\tthe game reaches " + std::to_string(game.score) + " points, not " +
                             std::to_string(changed.score) + "\n");
    EXPECT_EQ(verifyStoredReplays(*storage_, ids[0].id, resources, out)->failed, 0);
    EXPECT_FALSE(verifyStoredReplays(*storage_, ids[1].id + 1, resources, out));
}

INSTANTIATE_TEST_SUITE_P(Engines, ProofTest, testing::Values("sqlite", "postgres"));

TEST(Proof, EightThreadsAtOnceReachTheVerdictsOfOne) {
    const EmbeddedResources resources;
    const replay::Replay game = annasGame();
    const replay::Replay games[] = {game, flipped(game), cutShort(game, game.updates / 3)};
    const Claim claim{game.score, 600000, {game.buildChecksum, game.buildLength}};
    std::vector<std::string> alone;
    for (const auto& g : games) {
        alone.push_back(disproof(g, claim, resources));
    }
    EXPECT_EQ(alone[0], "");
    std::vector<std::vector<std::string>> seen(8);
    std::vector<std::thread> threads;
    for (auto& verdicts : seen) {
        threads.emplace_back([&] {
            for (const auto& g : games) {
                verdicts.push_back(disproof(g, claim, resources));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (const auto& verdicts : seen) {
        EXPECT_EQ(verdicts, alone);
    }
}

} // namespace
