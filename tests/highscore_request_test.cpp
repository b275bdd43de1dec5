// The highscore request and its reply: the encoded fields and the exact body of a known
// record, a tampered score, the speed count on a scripted calendar clock, the processor
// names, the checksum of the program's file, and the reading of replies, good and bad.
#include "fake_http_client.h"
#include "loopback_portal.h"
#include "net/highscore_request.h"
#include "net/http_binding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// A file that stands in for the program's own, removed with the guard.
class TempFile {
  public:
    explicit TempFile(const std::string& bytes) {
        static int serial = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("pingel_own_file_" + std::to_string(++serial) + "_" +
                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

HighscoreRecord knownRecord() {
    HighscoreRecord r;
    r.email = "anna@example.se";
    r.password = "hemlis";
    r.score = 1234;
    r.playTimeMs = 98765;
    return r;
}

// The body of knownRecord() with the default headless calendar (1998 readings), a
// Pentium, and an own file of the nine bytes "123456789" (CRC-32 3421780262).
const std::string knownBody =
    "f1=5DCF3066920DE32051D13262FC1BFE&f2=8&f3=54C4336BBB1B&f4=0D936D33&f5=05996931E7"
    "&f6=0D98673F&f7=7FF10B279B26CF0470810E429C3CD21471&f8=0F956C36E550AB730A93&f9=05"
    "&fa=0D936D33B306F5207CC42666BF18F72412D23B&fb=0D936A34";

} // namespace

TEST(HighscoreRequest, EncodeFieldXorsWithTheKeyAndWritesUpperCaseHex) {
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
    }
}

TEST(HighscoreRequest, KnownRecordGivesTheExactBody) {
    HeadlessScope scope;
    TempFile own("123456789");
    scope.headless.setOwnExecutablePath(own.path());
    EXPECT_EQ(highscoreBody(knownRecord()), knownBody);
    EXPECT_EQ(ownFileLength, 9u);
    EXPECT_NE(knownBody.find("&f2=8&f3="), std::string::npos);
}

TEST(HighscoreRequest, FieldsCarryTheRecordAndATamperedScoreIsNegated) {
    const struct {
        bool tampered;
        std::int32_t score;
        std::string sent, fb;
    } cases[] = {
        {false, 1200, "1200", "1209"},
        {true, 1200, "-1200", "-1191"},
        {true, 0, "0", "9"},
        // The lowest score negates to itself instead of overflowing.
        {true, INT32_MIN, "-2147483648", "-2147483639"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        HeadlessScope scope;
        TempFile own("123456789");
        scope.headless.setOwnExecutablePath(own.path());
        FakeHttpClient fake;
        fake.install(scope.headless);
        HttpBinding binding(fake);
        HighscoreRecord record = knownRecord();
        record.score = c.score;
        record.tampered = c.tampered;
        submitHighscore(record, binding);
        const auto fields = LoopbackPortal::decodeFields(fake.body);
        EXPECT_EQ(fields.size(), 11u);
        EXPECT_EQ(fields.at("f1"), "anna@example.se");
        EXPECT_EQ(fields.at("f2"), "8");
        EXPECT_EQ(fields.at("f3"), "hemlis");
        EXPECT_EQ(fields.at("f4"), c.sent);
        EXPECT_EQ(fields.at("f5"), "98765");
        EXPECT_EQ(fields.at("fa"), c.sent + "anna@example.se");
        EXPECT_EQ(fields.at("fb"), c.fb);
        EXPECT_EQ(std::to_string(record.score), c.sent); // left negated in the record
    }
}

TEST(HighscoreRequest, AccountFieldsStayWithinTheirLimits) {
    const struct {
        std::size_t email, password, f1Digits, f3Digits;
    } cases[] = {
        {64, 1, 128, 2},
        {70, 20, 128, 32},
        {1, 16, 2, 32},
    };
    for (const auto& c : cases) {
        HeadlessScope scope;
        HighscoreRecord record;
        record.email = std::string(c.email, 'm');
        record.password = std::string(c.password, 'p');
        const std::string body = highscoreBody(record);
        const std::size_t f1 = body.find("f1=") + 3, f2 = body.find("&f2=");
        const std::size_t f3 = body.find("&f3=") + 4, f4 = body.find("&f4=");
        EXPECT_EQ(f2 - f1, c.f1Digits);
        EXPECT_EQ(f4 - f3, c.f3Digits);
    }
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
        HeadlessScope scope;
        scope.headless.calendarReadsPerSecond = c.readsPerSecond;
        std::size_t next = 0;
        if (!c.script.empty()) {
            scope.headless.onCalendarSeconds = [&] {
                // Past the script the clock runs on fast, so a fault cannot hang the test.
                return next < c.script.size() ? c.script[next++] : 1000000 + std::int64_t(next++);
            };
        }
        EXPECT_EQ(measureCpuSpeed(), c.count);
        if (!c.script.empty()) {
            EXPECT_EQ(next, c.script.size());
        }
    }
}

TEST(HighscoreRequest, ProcessorTypesHaveTheirNames) {
    const struct {
        int type;
        const char* name;
    } cases[] = {
        {386, "CPU INTEL 386"},   {486, "CPU INTEL 486"},     {586, "CPU INTEL PENTIUM"},
        {4000, "CPU MIPS R4000"}, {21064, "CPU ALPHA 21064"}, {0, "CPU UNKNOWN"},
        {8664, "CPU UNKNOWN"},    {-1, "CPU UNKNOWN"},
    };
    for (const auto& c : cases) {
        HeadlessScope scope;
        scope.headless.setProcessorType(c.type);
        EXPECT_EQ(describeCpu(), c.name);
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
        HeadlessScope scope;
        scope.headless.setOwnExecutablePath(c.path);
        ownFileLength = 12345;
        EXPECT_EQ(checksumOwnFile(), c.checksum);
        EXPECT_EQ(ownFileLength, c.length);
    }
    // The chunked sum over a file agrees with the sum in one piece.
    EXPECT_EQ(crc32(big.substr(100000), crc32(big.substr(0, 100000))), crc32(big));
}

TEST(HighscoreRequest, TrimRemovesBlanksTabsAndLineEndsAtBothEnds) {
    const struct {
        std::string text, trimmed;
    } cases[] = {
        {"", ""},           {" \t\r\n", ""},      {"  1 \r\n", "1"},
        {"\n0\n5", "0\n5"}, {"2\r\n3", "2\r\n3"}, {"\v1\f", "\v1\f"}, // other white space stays
        {"a b", "a b"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        trimReply(text);
        EXPECT_EQ(text, c.trimmed);
    }
}

TEST(HighscoreRequest, LeadingIntegerReadsLikeTheCLibraryButStaysIn32Bits) {
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

TEST(HighscoreRequest, RepliesAreReadIntoResultVersionPageAndMessage) {
    const std::string html = "<html><body>Not here</body></html>";
    const struct {
        std::string reply;
        int status;
        std::int32_t result, versionPageId;
        std::string message;
    } cases[] = {
        {"0", 200, 0, 0, "0"},
        {"2\r\n3", 200, 2, 3, "2\r\n3"},
        {"  1 \r\n", 200, 1, 0, "1"},
        {"\n0\n5", 200, 0, 5, "0\n5"},
        {"3 fel l\xF6senord\nx", 201, 3, 0, "3 fel l\xF6senord\nx"},
        {"-7", 200, -7, 0, "-7"},
        {"12\n-3", 200, 12, -3, "12\n-3"},
        // Not a reply of the portal: never accepted, the version page left alone.
        {html, 200, resultUnreadableReply, 9, html},
        {"", 200, resultUnreadableReply, 9, ""},
        {" \r\n", 204, resultUnreadableReply, 9, ""},
        {"0", 500, resultHttpStatus, 9, "HTTP 500: 0"},
        {"1", 302, resultHttpStatus, 9, "HTTP 302: 1"},
        {html, 407, resultHttpStatus, 9, "HTTP 407: " + html},
        {"0", 0, resultHttpStatus, 9, "HTTP 0: 0"},
        {std::string(300, '4'), 200, INT32_MAX, 0, std::string(255, '4')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 20) + " / " + std::to_string(c.status));
        HighscoreRecord record;
        record.versionPageId = 9;
        parseReply(record, c.reply, c.status);
        EXPECT_EQ(record.result, c.result);
        EXPECT_EQ(record.versionPageId, c.versionPageId);
        EXPECT_EQ(record.message, c.message);
    }
}
