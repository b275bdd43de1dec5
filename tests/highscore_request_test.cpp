// The highscore request and its reply: the field encoding and its inverse, the exact body
// of a known record, a tampered score, the speed count on a scripted calendar clock, the
// processor names, the checksum of the program's file, the reading of replies, and what
// each outcome of the HTTP client leaves in the record.
#include "fake_http_client.h"
#include "loopback_portal.h"
#include "net/form_field.h"
#include "net/highscore_reply.h"
#include "net/highscore_submission.h"
#include "net/machine_facts.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

const HighscorePortal portal{"portal.test", 8080, {250, 750}};

} // namespace

TEST(HighscoreRequest, FieldsAreXoredWithTheKeyAsUpperCaseHexAndReadBack) {
    const struct {
        std::string text, encoded;
    } cases[] = {
        {"", ""},
        {"A", "7D"},
        {"\xFF", "C3"},
        {std::string(1, '\0'), "3C"},
        // The ninth byte meets the key's first byte again.
        {"AAAAAAAAA", "7DE01F469329DA007D"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeField(c.text), c.encoded) << c.text;
        EXPECT_EQ(decodeField(c.encoded), c.text) << c.encoded;
    }
    std::string every;
    for (int b = 0; b < 256; ++b) {
        every += static_cast<char>(b);
    }
    EXPECT_EQ(decodeField(encodeField(every)), every);
    EXPECT_EQ(decodeField("7de0"), "AA"); // lower case is read too
    for (const char* bad : {"7", "7G", "7D ", "-1"}) {
        EXPECT_EQ(decodeField(bad), std::nullopt) << bad;
    }
}

// The fields as the portal decodes them: a tampered score negated (in the record too), the
// account cut to its limits. The first record's whole request is known: with the default
// headless calendar, a Pentium and an own file of the nine bytes "123456789" (CRC-32
// 3421780262, length 9).
TEST(HighscoreRequest, FieldsCarryTheRecordTamperedAndCut) {
    const struct {
        std::string email, password;
        bool tampered;
        std::int32_t score;
        std::string sent, fb;
    } cases[] = {
        {"anna@example.se", "hemlis", false, 1234, "1234", "1243"},
        {std::string(64, 'm'), "p", false, 1200, "1200", "1209"},
        {std::string(70, 'm'), std::string(20, 'p'), true, 1200, "-1200", "-1191"},
        {"m", std::string(16, 'p'), true, 0, "0", "9"},
        // The lowest score negates to itself instead of overflowing.
        {"mmmmm", "ppppp", true, INT32_MIN, "-2147483648", "-2147483639"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        HeadlessPlatform h;
        TempFile own("123456789");
        h.setOwnExecutablePath(own.path());
        FakeHttpClient fake;
        HighscoreRecord record;
        record.email = c.email;
        record.password = c.password;
        record.score = c.score;
        record.playTimeMs = 98765;
        record.tampered = c.tampered;
        submitHighscore(record, fake, portal, {h, h});
        ASSERT_EQ(fake.requests.size(), 1u);
        const auto fields = LoopbackPortal::decodeFields(fake.bodies.at(0));
        EXPECT_EQ(fields.size(), 11u);
        EXPECT_EQ(fields.at("f1"), c.email.substr(0, 64));
        EXPECT_EQ(fields.at("f3"), c.password.substr(0, 16));
        EXPECT_EQ(fields.at("f4"), c.sent);
        EXPECT_EQ(fields.at("fa"), c.sent + fields.at("f1"));
        EXPECT_EQ(fields.at("fb"), c.fb);
        EXPECT_EQ(std::to_string(record.score), c.sent);
        if (&c != &cases[0]) {
            continue;
        }
        EXPECT_EQ(fake.bodies[0],
                  "f1=5DCF3066920DE32051D13262FC1BFE&f2=8&f3=54C4336BBB1B&f4=0D936D33&f5=05996931E7"
                  "&f6=0D98673F&f7=7FF10B279B26CF0470810E429C3CD21471&f8=0F956C36E550AB730A93&f9=05"
                  "&fa=0D936D33B306F5207CC42666BF18F72412D23B&fb=0D936A34");
        const HttpRequest& r = fake.requests[0];
        EXPECT_EQ(r.agent, "SpelHttp");
        EXPECT_EQ(r.host, "portal.test");
        EXPECT_EQ(r.port, 8080);
        EXPECT_EQ(r.object, "/r0002.asp");
        EXPECT_EQ(r.headers, "Content-Type: application/x-www-form-urlencoded");
        EXPECT_EQ(r.timeouts.connect, 250u);
        EXPECT_EQ(r.timeouts.exchange, 750u);
        EXPECT_EQ(r.replyLimit, 16383u);
    }
}

TEST(HighscoreRequest, TheReplayFollowsAsBase64UrlMadeWithTheFileFactsOfF8AndF9) {
    HeadlessPlatform h;
    TempFile own("123456789");
    h.setOwnExecutablePath(own.path());
    FakeHttpClient fake;
    HighscoreRecord record;
    record.email = "anna@example.se";
    record.password = "hemlis";
    record.score = 1234;
    record.replay = [](std::uint32_t checksum, std::uint32_t length) {
        return std::to_string(checksum) + "/" + std::to_string(length) + std::string("\xFB\xFF", 2);
    };
    submitHighscore(record, fake, portal, {h, h});
    ASSERT_EQ(fake.bodies.size(), 1u);
    const std::string& body = fake.bodies[0];
    const auto at = body.find("&fc=");
    ASSERT_NE(at, std::string::npos);
    const auto fields = LoopbackPortal::decodeFields(body.substr(0, at));
    EXPECT_EQ(fields.size(), 11u);
    EXPECT_EQ(decodeBase64Url(body.substr(at + 4), 100),
              fields.at("f8") + "/" + fields.at("f9") + "\xFB\xFF");
}

TEST(HighscoreRequest, SpeedIsTheReadingsInTwoWholeSecondsAfterATick) {
    using Script = std::vector<std::int64_t>;
    const struct {
        const char* name;
        int readsPerSecond;
        Script script; // when not empty, the clock's readings in turn
        std::int32_t count;
    } cases[] = {
        {"a tick every 1000 readings", 1000, {}, 1998},
        {"a tick every 7 readings", 7, {}, 12},
        {"a tick every reading", 1, {}, 1},
        {"scripted", 0, {100, 101, 102, 102, 102, 102, 103, 104}, 3},
        {"too slow: two seconds pass between two readings", 0, {100, 102, 102, 104}, 0},
        {"the clock set back while waiting", 0, {100, 99}, 0},
        {"the clock set back while counting", 0, {100, 102, 102, 102, 103, 50}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessPlatform h;
        h.calendarReadsPerSecond = c.readsPerSecond;
        std::size_t next = 0;
        if (!c.script.empty()) {
            h.onCalendarSeconds = [&] {
                // Past the script the clock runs on fast, so a fault cannot hang the test.
                return next < c.script.size() ? c.script[next++] : 1000000 + std::int64_t(next++);
            };
        }
        EXPECT_EQ(measureCpuSpeed(h), c.count);
        if (!c.script.empty()) {
            EXPECT_EQ(next, c.script.size());
        }
    }
}

TEST(HighscoreRequest, ChecksumCoversTheWholeFileAndCountsItsBytes) {
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 131 + (i >> 9));
    }
    TempFile nine("123456789"), empty(""), large(big);
    const struct {
        std::string path;
        std::uint32_t checksum, length;
    } cases[] = {
        {nine.path(), 0xCBF43926u, 9}, {empty.path(), 0, 0}, {large.path(), crc32(big), 200000},
        {"/nonexistent/pingel", 0, 0}, {"", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HeadlessPlatform h;
        h.setOwnExecutablePath(c.path);
        const OwnFile own = checksumOwnFile(h);
        EXPECT_EQ(own.checksum, c.checksum);
        EXPECT_EQ(own.length, c.length);
    }
    // The chunked sum over a file agrees with the sum in one piece.
    EXPECT_EQ(crc32(big.substr(100000), crc32(big.substr(0, 100000))), crc32(big));
}

TEST(HighscoreReply, LeadingIntegerReadsLikeTheCLibraryButStaysIn32Bits) {
    const struct {
        std::string text;
        std::int32_t value;
        bool digits;
    } cases[] = {
        {"0", 0, true},
        {"17abc", 17, true},
        {"  -42", -42, true},
        {"+5", 5, true},
        {"\v\f 8", 8, true},
        {"-", 0, false},
        {"", 0, false},
        {"abc", 0, false},
        {"- 5", 0, false},
        {"2147483647", INT32_MAX, true},
        {"2147483648", INT32_MAX, true},
        {"99999999999999999999999", INT32_MAX, true},
        {"-2147483648", INT32_MIN, true},
        {"-99999999999999999999999", INT32_MIN, true},
    };
    for (const auto& c : cases) {
        bool digits = !c.digits;
        EXPECT_EQ(leadingInteger(c.text, &digits), c.value) << c.text;
        EXPECT_EQ(digits, c.digits) << c.text;
    }
}

// Every outcome of the client, as the submission leaves it in the record. A failed step
// never reads as a code the dialog acts on, and only a reply touches the version page; the
// client's kind of failure is kept as it is (a reply's from its status). (What a missing
// library or function leaves: HttpLibrary's tests, through libcurl.)
TEST(HighscoreReply, EveryOutcomeOfTheClientIsReadIntoTheRecord) {
    const std::string html = "<html><body>Not here</body></html>";
    const std::string longText(300, 'e');
    const auto failed = HttpOutcome::failed;
    const auto replied = HttpOutcome::replied;
    using enum HttpFailure;
    const struct {
        HttpOutcome outcome;
        std::int32_t returned, result, versionPageId;
        std::string message;
        HttpFailure failure;
    } cases[] = {
        {replied(200, "0"), 0, 0, 0, "0", None},
        {replied(200, "2\r\n3"), -2, 2, 3, "2\r\n3", None},
        {replied(200, "  1 \r\n"), -2, 1, 0, "1", None},
        {replied(200, "\n0\n5"), 0, 0, 5, "0\n5", None},
        {replied(200, "\t\v1\f\r"), -2, 1, 0, "\v1\f", None}, // only blanks, tabs, CR, LF trimmed
        {replied(201, "3 fel l\xF6senord\nx"), -2, 3, 0, "3 fel l\xF6senord\nx", None},
        {replied(200, "-7"), -2, -7, 0, "-7", None},
        {replied(200, "12\n-3"), -2, 12, -3, "12\n-3", None},
        {replied(299, std::string(300, '4')), -2, INT32_MAX, 0, std::string(255, '4'), None},
        // Not a reply of the portal: never accepted, the version page left alone.
        {replied(200, html), -2, resultUnreadableReply, 9, html, None},
        {replied(200, ""), -2, resultUnreadableReply, 9, "", None},
        {replied(204, " \r\n"), -2, resultUnreadableReply, 9, "", None},
        {replied(500, "0"), -2, resultHttpStatus, 9, "HTTP 500: 0", ErrorStatus},
        {replied(302, "1"), -2, resultHttpStatus, 9, "HTTP 302: 1", ErrorStatus},
        {replied(199, "1"), -2, resultHttpStatus, 9, "HTTP 199: 1", ErrorStatus},
        {replied(0, "0"), -2, resultHttpStatus, 9, "HTTP 0: 0", ErrorStatus},
        // Steps that failed: before the request -1, after it -2.
        {failed(HttpStep::OpenRoot, OutOfReach, 12029, "no root"), -1, 12029, 9, "no root",
         OutOfReach},
        {failed(HttpStep::Connect, OutOfReach, 12007, "no host"), -1, 12007, 9, "no host",
         OutOfReach},
        {failed(HttpStep::SendRequest, OutOfReach, 7, "refused"), -2, 7, 9, "refused", OutOfReach},
        {failed(HttpStep::ReadReply, NoAnswer, 12002, "timed out"), -2, 12002, 9, "timed out",
         NoAnswer},
        {failed(HttpStep::SendRequest, NoAnswer, 28, longText), -2, 28, 9, longText.substr(0, 127),
         NoAnswer},
        // Numbers that would read as accepted, as a server's code or as a missing library.
        {failed(HttpStep::SendRequest, Other, 0, ""), -2, resultStepFailed, 9, "", Other},
        {failed(HttpStep::ReadReply, Broken, 4, "just outside"), -2, 4, 9, "just outside", Broken},
        {failed(HttpStep::Connect, Other, 3, "bad url"), -1, resultStepFailed, 9, "bad url", Other},
        {failed(HttpStep::OpenRoot, Other, -1, "odd"), -1, resultStepFailed, 9, "odd", Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 30));
        HeadlessPlatform h;
        FakeHttpClient fake;
        fake.outcome = c.outcome;
        HighscoreRecord record;
        record.versionPageId = 9;
        record.score = 5;
        record.tampered = true;
        record.failure = HttpFailure::LibraryMissing; // an earlier attempt's
        EXPECT_EQ(submitHighscore(record, fake, portal, {h, h}), c.returned);
        // An attempt that could not go on (-1) made no body: no measuring, no negating.
        EXPECT_EQ(record.score, c.returned == -1 ? 5 : -5);
        EXPECT_EQ(record.result, c.result);
        EXPECT_EQ(record.versionPageId, c.versionPageId);
        EXPECT_EQ(record.message, c.message);
        EXPECT_EQ(record.failure, c.failure);
    }
}
