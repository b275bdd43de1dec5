// The highscore endpoint through a real portal server on loopback, on each engine: every
// reply code, the body checks, the unranked cases with and without the version page line,
// the password throttle, and that a reply of 0 or 1 means the score is in the database.
// Bodies are built with the game's own field encoding, and once from bytes written out by
// hand (the game's own body builder meets the portal in game_road_test).
#include "net/highscore_submission.h"
#include "portal/password.h"
#include "portal/submission.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

namespace {

ThrottleRules smallLimits() {
    ThrottleRules rules;
    rules.perAccount = 3;
    rules.perAddress = 5;
    rules.windowSeconds = 900;
    return rules;
}

class EndpointTest : public testing::TestWithParam<std::string>, protected PortalFixture {
  protected:
    void SetUp() override {
        if (!open(GetParam(), smallLimits())) {
            GTEST_SKIP() << "no PostgreSQL here: set PINGEL_PORTAL_TEST_POSTGRES";
        }
        // As for a TLS proxy; requests without the header keep their own address.
        portal_->server.trustProxy("127.0.0.1");
        // These bodies carry no replay; scores proven by replays are proof_test's.
        portal_->server.rankUnproven();
        ASSERT_TRUE(start());
    }

    std::pair<int, std::string> post(const std::string& body, const char* type = formType) {
        return submit(body, "", type);
    }
    int rankedOnList(const std::string& nickname) {
        for (const auto& entry : storage_->topScores(0, 100)) {
            if (entry.nickname == nickname) {
                return entry.score;
            }
        }
        return -1;
    }
};

TEST_P(EndpointTest, RepliesWithTheGamesCodes) {
    const std::int32_t most = static_cast<std::int32_t>(mostPointsFor(60000));
    struct Case {
        const char* what;
        Fields fields;
        const char* reply;
        int listed; // the member's best on the list afterwards, -1 for none
    };
    const Case cases[] = {
        {"unknown member", {.email = "bo@example.se"}, "2", -1},
        {"wrong password", {.password = "hemligT1"}, "3", -1},
        {"negative (tampered) score", {.score = -1200}, "1", -1},
        {"more than the play time holds", {.score = most + 1}, "1", -1},
        {"negative play time", {.score = 5, .playTimeMs = -1}, "1", -1},
        {"address in another case", {.email = "ANNA@example.SE", .score = 700}, "0", 700},
        {"as much as the play time holds", {.score = most}, "0", most},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(post(c.fields.body()), (std::pair<int, std::string>{200, c.reply}));
        EXPECT_EQ(rankedOnList("Anna"), c.listed);
    }
}

TEST_P(EndpointTest, RefusesBodiesThatAreNotTheGames) {
    const std::string good = Fields{}.body();
    struct Case {
        const char* what;
        std::string body;
        const char* type = formType;
    };
    const Case cases[] = {
        {"fa is not f4 then f1",
         Fields{.raw = {{"fa", encodeField("1201anna@example.se")}}}.body()},
        {"fb is not f9 + f4", Fields{.raw = {{"fb", encodeField("101201")}}}.body()},
        {"another game", Fields{.gameId = "9"}.body()},
        {"game id padded", Fields{.gameId = "08"}.body()},
        {"score not a number",
         Fields{.raw = {{"f4", encodeField("12a")}, {"fa", encodeField("12aanna@example.se")}}}
             .body()},
        {"length beyond 32 bits", Fields{.raw = {{"f9", encodeField("4294967296")}}}.body()},
        {"odd hex", Fields{.raw = {{"f7", "7FF"}}}.body()},
        {"not hex", Fields{.raw = {{"f7", "ZZ"}}}.body()},
        {"password longer than the game sends", Fields{.password = std::string(17, 'x')}.body()},
        {"empty e-mail", Fields{.email = ""}.body()},
        {"a field missing", good.substr(0, good.find("&fb="))},
        {"a field twice", good + "&f2=8"},
        {"a field too many", good + "&fc=00"},
        {"a pair without =", good + "&fc"},
        {"broken escape", good + "%4"},
        {"not form-encoded", good, "text/plain"},
        {"over 4 KiB", good + "&pad=" + std::string(4096, '0')},
        {"over the server's body limit", std::string(20000, 'A')},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [status, text] = post(c.body, c.type);
        EXPECT_EQ(status, 400);
        EXPECT_TRUE(!text.empty() && text[0] != '0' && text[0] != '1') << text;
    }
    EXPECT_EQ(rankedOnList("Anna"), -1);
}

TEST_P(EndpointTest, UnlistedBuildsAreRecordedUnrankedWithTheVersionPage) {
    ASSERT_TRUE(storage_->addBuild({3735928559u, 100000}));
    EXPECT_EQ(post(Fields{.length = 99999}.body()).second, "1\n8");
    EXPECT_EQ(rankedOnList("Anna"), -1);
    EXPECT_EQ(post(Fields{.score = 300}.body()).second, "0");
    EXPECT_EQ(rankedOnList("Anna"), 300);
}

TEST_P(EndpointTest, FailedPasswordsThrottleTheAccountAndTheAddress) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(post(Fields{.password = "fel"}.body()).second, "3");
    }
    // Even the right password is not checked now.
    const std::string throttled = "7 F\xF6r m\xE5nga f\xF6rs\xF6k";
    EXPECT_EQ(post(Fields{}.body()), (std::pair<int, std::string>{200, throttled}));
    EXPECT_EQ(rankedOnList("Anna"), -1);

    // Once the window has passed, the password is checked again.
    const auto later = answerSubmission(*storage_, portal_->server.passwords(), Fields{}.body(),
                                        formType, "127.0.0.1", std::time(nullptr) + 901,
                                        smallLimits(), ScoringRules{nullptr, true});
    EXPECT_EQ(later.text, "0");

    // The address: two more failures on another account reach its limit of five, and then
    // no account is looked up from there.
    ASSERT_TRUE(storage_->addMember("bo@example.se", "Bo", hashPassword("bo-hemlis"), 0));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(post(Fields{.email = "bo@example.se", .password = "fel"}.body()).second, "3");
    }
    EXPECT_EQ(post(Fields{.email = "cia@example.se"}.body()).second, throttled);
    // Behind the trusted proxy each client counts apart, by the address the proxy added last.
    const std::string cia = Fields{.email = "cia@example.se"}.body();
    EXPECT_EQ(submit(cia, "10.0.0.7").second, "2");
    EXPECT_EQ(submit(cia, "10.0.0.7, 127.0.0.1").second, throttled);
    EXPECT_EQ(submit(cia, "not an address").second, throttled);
}

TEST(ForwardedClient, TakesTheLastAddressOnly) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"10.0.0.7", "10.0.0.7"},
        {"192.0.2.1, 10.0.0.7", "10.0.0.7"},
        {" ::1 ", "::1"},
        {"", std::nullopt},
        {"10.0.0.7, ", std::nullopt},
        {"evil", std::nullopt},
        {"10.0.0.7:80", std::nullopt},
    };
    for (const auto& [header, client] : cases) {
        EXPECT_EQ(forwardedClient(header), client) << header;
    }
}

// Connections are counted by address, IPv6 ones by their /64 (one host has a whole /64).
TEST(AddressShare, IsTheAddressOrItsSlash64) {
    const std::pair<const char*, const char*> cases[] = {
        {"10.0.0.7", "10.0.0.7"},
        {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
        {"2001:db8:1:2::ffff", "2001:db8:1:2::/64"},
        {"::ffff:192.0.2.1", "192.0.2.1"},
        {"::1", "::/64"},
    };
    for (const auto& [address, share] : cases) {
        EXPECT_EQ(addressShare(address), share) << address;
    }
}

TEST_P(EndpointTest, HandWrittenRequestBytes) {
    // anna@example.se, "hemligt1", 1200 points after 60 s, checksum 3735928559, length 100000;
    // the second has 101201 in fb, one more than f9 + f4.
    const std::string start =
        "f1=5DCF3066920DE32051D13262FC1BFE&f2=8&f3=54C4336BBB0FEF70&f4=0D936E37&f5=0A916E37E2"
        "&f6=0D916E37&f7=7FF10B278726D00F73F610&f8=0F966D32EB5AA3740998&f9=0D916E37E258"
        "&fa=0D936E37B306F5207CC42666BF18F72412D23B&fb=";
    const struct {
        std::string body;
        const char* statusLine;
        const char* replyEnd;
    } cases[] = {
        {start + "0D916F35E258", "HTTP/1.1 200", "\r\n\r\n0"},
        {start + "0D916F35E259", "HTTP/1.1 400", "\r\n\r\n400 Felaktig inskickning"},
    };
    for (const auto& c : cases) {
        const std::string reply =
            exchange(portal_->server.port(), "POST /r0002.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                             "Content-Type: application/x-www-form-urlencoded\r\n"
                                             "Content-Length: " +
                                                 std::to_string(c.body.size()) +
                                                 "\r\nConnection: close\r\n\r\n" + c.body);
        EXPECT_TRUE(reply.starts_with(c.statusLine)) << reply;
        EXPECT_TRUE(reply.ends_with(c.replyEnd)) << reply;
        EXPECT_EQ(rankedOnList("Anna"), 1200);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, EndpointTest,
                         testing::Values(std::string("sqlite"), std::string("postgres")));

} // namespace
