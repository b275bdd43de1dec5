// The highscore through the real libcurl to a portal on this machine: the request on the
// wire, and what each answer of the portal (and its absence) leaves in the record, within
// the time bounds. (What the dialog makes of each record: the highscore dialog's tests; its
// whole road through libcurl to the real portal: tests/portal.)
#include "backends/curl/curl_http.h"
#include "loopback_portal.h"
#include "net/highscore_submission.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

// libcurl's numbers for the failures the portal provokes.
constexpr std::int32_t couldNotConnect = 7, timedOut = 28, gotNothing = 52;

// Short bounds, so that the late answer takes a second, not half a minute.
constexpr HttpTimeouts testTimeouts{1000, 1500};

HighscorePortal loopback(int port) {
    return {"127.0.0.1", port, testTimeouts};
}

HighscoreRecord account() {
    HighscoreRecord record;
    record.email = "anna@example.se";
    record.password = "hemlis";
    record.score = 1234;
    record.playTimeMs = 98765;
    record.versionPageId = 9;
    return record;
}

// A platform with the real libraries and a program file of nine known bytes.
struct TestMachine {
    TestMachine() { system.setOwnExecutablePath(ownFile.path()); }
    RealLibraryPlatform system;
    TempFile ownFile{"123456789"};
    FactSources facts() { return {system, system}; }
};

} // namespace

// What only a client on the wire meets: the status and the body passed on, the reply cut at
// its limit, the time bounds, a closed connection (the reading of every kind of reply:
// HighscoreReply's table). The WinInet backend meets these under Wine (tests/wine).
TEST(LoopbackPortal, EveryAnswerOfThePortalIsReadWithinItsBounds) {
    using enum HttpFailure;
    const struct {
        const char* name;
        LoopbackPortal::Answer answer;
        std::int32_t result, versionPageId;
        HttpFailure failure;
    } cases[] = {
        {"accepted with a new version", LoopbackPortal::reply("1\n2"), 1, 2, None},
        {"a server error", LoopbackPortal::reply("0", 500), resultHttpStatus, 9, ErrorStatus},
        {"20000 bytes, cut but read", LoopbackPortal::reply("0\n" + std::string(19998, 'x')), 0, 0,
         None},
        {"cut right before the code", LoopbackPortal::reply(std::string(16383, ' ') + "1"),
         resultUnreadableReply, 9, None},
        {"an answer after the time allowed", LoopbackPortal::reply("0", 200, 3000), timedOut, 9,
         NoAnswer},
        {"an answer trickled past the time allowed", LoopbackPortal::trickle("0", 150), timedOut, 9,
         NoAnswer},
        {"the connection closed without an answer", LoopbackPortal::closeAtOnce(), gotNothing, 9,
         Broken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPortal portal({c.answer});
        TestMachine machine;
        CurlHttpClient curl(machine.system);
        HighscoreRecord record = account();
        const auto start = std::chrono::steady_clock::now();
        submitHighscore(record, curl, loopback(portal.port()), machine.facts());
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(record.result, c.result) << record.message;
        EXPECT_EQ(record.failure, c.failure) << httpFailureName(record.failure);
        EXPECT_EQ(record.versionPageId, c.versionPageId);
        EXPECT_LE(record.message.size(), HighscoreRecord::maxMessage);
        // No attempt waits past its bound (with room for a slow machine).
        EXPECT_LT(took, std::chrono::seconds(10));
        // On the wire: exactly the highscore post, whatever the answer.
        const auto requests = portal.requests();
        ASSERT_EQ(requests.size(), 1u);
        const std::string body = highscoreBody(account(), machine.facts());
        EXPECT_EQ(LoopbackPortal::bodyOf(requests[0]), body);
        EXPECT_EQ(requests[0].rfind("POST /r0002.asp HTTP/1.1\r\n", 0), 0u) << requests[0];
        for (const std::string& header : std::vector<std::string>{
                 "\r\nUser-Agent: SpelHttp\r\n",
                 "\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                 "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n",
                 "\r\nHost: 127.0.0.1:" + std::to_string(portal.port()) + "\r\n"}) {
            EXPECT_NE(requests[0].find(header), std::string::npos) << header;
        }
    }

    TestMachine machine;
    CurlHttpClient curl(machine.system);
    HighscoreRecord record = account();
    EXPECT_EQ(
        submitHighscore(record, curl, loopback(LoopbackPortal::unusedPort()), machine.facts()), -2);
    EXPECT_EQ(record.result, couldNotConnect);
    EXPECT_EQ(record.failure, HttpFailure::OutOfReach);
    EXPECT_FALSE(record.message.empty());
    EXPECT_LE(record.message.size(), 127u);
    EXPECT_EQ(submitHighscore(record, curl, {"bad host/", 80, testTimeouts}, machine.facts()), -1);
    EXPECT_EQ(record.result, resultStepFailed);
    EXPECT_EQ(record.failure, HttpFailure::Other);
}

// libcurl's error numbers and their kinds: the known ones, their neighbours and the ones
// the backend makes itself (a bad host, a failed set-up, no memory) are any other failure.
TEST(CurlHttpClient, EachErrorNumberHasItsKind) {
    using enum HttpFailure;
    const struct {
        int code;
        HttpFailure failure;
    } cases[] = {
        {timedOut, NoAnswer}, {6, OutOfReach}, {couldNotConnect, OutOfReach},
        {gotNothing, Broken}, {55, Broken},    {56, Broken},
        {0, Other},           {3, Other},      {5, Other},
        {27, Other},          {35, Other},     {43, Other},
        {-1, Other},          {12002, Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CurlHttpClient::failureKind(c.code), c.failure) << c.code;
    }
}
