// The run-time binding to the HTTP client library: what a missing library or function
// gives, that an incomplete binding tries again, that every attempt opens and closes its
// own handles, and how a failed step's error number and text reach the record.
#include "fake_http_client.h"
#include "loopback_portal.h"
#include "net/highscore_request.h"
#include "net/http_binding.h"
#include "platform/curl/curl_http.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A headless platform that logs which functions were looked up.
class LookupLog : public HeadlessPlatform {
  public:
    std::vector<std::string> lookedUp;
    void* findFunction(void* library, const std::string& name) override {
        lookedUp.push_back(name);
        return HeadlessPlatform::findFunction(library, name);
    }
};

const std::string libraryMissing = "Kunde inte hitta WinInet.dll";

std::string functionMissing(const std::string& name) {
    return "Kunde inte hitta funktionen " + name + " i WinInet.dll";
}

} // namespace

TEST(HttpBinding, WithoutTheLibraryEveryAttemptFailsUntilItIsThere) {
    HeadlessScope scope;
    std::vector<std::unique_ptr<HttpClient>> clients;
    clients.push_back(std::make_unique<FakeHttpClient>());
    clients.push_back(std::make_unique<CurlHttpClient>());
    for (auto& client : clients) {
        HttpBinding binding(*client);
        for (int attempt = 0; attempt < 2; ++attempt) {
            HighscoreRecord record;
            EXPECT_EQ(submitHighscore(record, binding), -1);
            EXPECT_EQ(record.result, -1);
            EXPECT_EQ(record.message, libraryMissing);
            EXPECT_EQ(binding.state(), HttpBinding::State::Incomplete);
        }
    }

    // The library arrives: the next attempt binds it and goes through.
    FakeHttpClient fake;
    HttpBinding binding(fake);
    HighscoreRecord record;
    EXPECT_EQ(submitHighscore(record, binding), -1);
    EXPECT_TRUE(fake.calls.empty());
    fake.install(scope.headless);
    EXPECT_EQ(submitHighscore(record, binding), 0);
    EXPECT_EQ(binding.state(), HttpBinding::State::Complete);
    EXPECT_EQ(fake.binds, 1);
    EXPECT_EQ(fake.boundFunctions(), 7u);
}

TEST(HttpBinding, AMissingFunctionIsNamedAndNothingAfterItIsLookedUp) {
    const std::vector<std::string> order = {
        "InternetOpenA",       "InternetConnectA",
        "InternetReadFile",    "InternetGetLastResponseInfoA",
        "HttpOpenRequestA",    "HttpSendRequestA",
        "InternetCloseHandle",
    };
    for (std::size_t i = 0; i < order.size(); ++i) {
        SCOPED_TRACE(order[i]);
        PlatformScope<LookupLog> scope;
        FakeHttpClient fake;
        fake.install(scope.headless, {order[i]});
        HttpBinding binding(fake);
        for (int attempt = 0; attempt < 2; ++attempt) {
            scope.headless.lookedUp.clear();
            HighscoreRecord record;
            record.versionPageId = 4;
            EXPECT_EQ(submitHighscore(record, binding), -1);
            EXPECT_EQ(record.result, -1);
            EXPECT_EQ(record.message, functionMissing(order[i]));
            EXPECT_EQ(record.versionPageId, 4);
            const std::vector<std::string> expected(order.begin(), order.begin() + i + 1);
            EXPECT_EQ(scope.headless.lookedUp, expected);
        }
        EXPECT_EQ(fake.binds, 0);
        EXPECT_TRUE(fake.calls.empty()); // never a call through a missing entry
    }
}

TEST(HttpBinding, AMissingLibcurlFunctionNamesTheStepThatNeedsIt) {
    const std::vector<std::string> curlNames = {
        "curl_global_init",  "curl_easy_getinfo", "curl_easy_strerror",
        "curl_easy_init",    "curl_easy_setopt",  "curl_slist_append",
        "curl_easy_perform", "curl_easy_cleanup", "curl_slist_free_all",
    };
    const struct {
        const char* missing;
        const char* step;
    } cases[] = {
        {"curl_global_init", "InternetOpenA"},
        {"curl_easy_getinfo", "InternetReadFile"},
        {"curl_easy_strerror", "InternetGetLastResponseInfoA"},
        {"curl_easy_init", "HttpOpenRequestA"},
        {"curl_easy_perform", "HttpSendRequestA"},
        {"curl_slist_free_all", "InternetCloseHandle"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        HeadlessScope scope;
        static int anything;
        std::map<std::string, void*> functions;
        for (const std::string& name : curlNames) {
            if (name != c.missing) {
                functions[name] = &anything;
            }
        }
        // Only the second of the two library names is there.
        scope.headless.addLibrary("libcurl-gnutls.so.4", functions);
        CurlHttpClient client;
        HttpBinding binding(client);
        HighscoreRecord record;
        EXPECT_EQ(submitHighscore(record, binding), -1);
        EXPECT_EQ(record.message, functionMissing(c.step));
        EXPECT_EQ(binding.state(), HttpBinding::State::Incomplete);
    }
}

TEST(HttpBinding, EveryAttemptOpensItsOwnHandlesAndClosesThemAll) {
    HeadlessScope scope;
    FakeHttpClient fake;
    fake.install(scope.headless);
    HttpBinding binding(fake);
    binding.host = "portal.test";
    binding.port = 8080;
    for (int attempt = 0; attempt < 2; ++attempt) {
        HighscoreRecord record;
        EXPECT_EQ(submitHighscore(record, binding), 0);
    }
    EXPECT_EQ(fake.binds, 1);
    EXPECT_EQ(fake.opened, 6); // root, connection, request, twice
    EXPECT_TRUE(fake.open.empty());
    // Request, connection, root.
    const std::vector<std::uintptr_t> closed = {0x1003, 0x1002, 0x1001, 0x1006, 0x1005, 0x1004};
    EXPECT_EQ(fake.closed, closed);
    EXPECT_EQ(fake.agent, "SpelHttp");
    EXPECT_EQ(fake.host, "portal.test");
    EXPECT_EQ(fake.port, 8080);
    EXPECT_EQ(fake.timeouts.connect, 10000u);
    EXPECT_EQ(fake.timeouts.exchange, 30000u);
    EXPECT_EQ(fake.verb, "POST");
    EXPECT_EQ(fake.object, "/r0002.asp");
    EXPECT_EQ(fake.headers, "Content-Type: application/x-www-form-urlencoded");
    EXPECT_EQ(fake.headers.size(), 47u);
}

TEST(HttpBinding, AFailedStepLeavesItsErrorAndNeverReadsAsAServerCode) {
    const std::string longText(300, 'e');
    const struct {
        HttpStep failing;
        std::int32_t error;
        std::string text;
        std::int32_t returned, result;
        std::string message;
    } cases[] = {
        {HttpStep::OpenRoot, 12029, "no root", -1, 12029, "no root"},
        {HttpStep::Connect, 12007, "no host", -1, 12007, "no host"},
        {HttpStep::OpenRequest, 12030, "no request", -2, 12030, "no request"},
        {HttpStep::SendRequest, 7, "refused", -2, 7, "refused"},
        {HttpStep::ReadReply, 12002, "timed out", -2, 12002, "timed out"},
        {HttpStep::SendRequest, 28, longText, -2, 28, longText.substr(0, 127)},
        // Numbers that would read as accepted, as a server's code or as a missing library.
        {HttpStep::SendRequest, 0, "", -2, resultStepFailed, ""},
        {HttpStep::SendRequest, 1, "unsupported", -2, resultStepFailed, "unsupported"},
        {HttpStep::ReadReply, 2, "init", -2, resultStepFailed, "init"},
        {HttpStep::Connect, 3, "bad url", -1, resultStepFailed, "bad url"},
        {HttpStep::OpenRoot, -1, "odd", -1, resultStepFailed, "odd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        HeadlessScope scope;
        FakeHttpClient fake;
        fake.install(scope.headless);
        fake.failing = {c.failing};
        fake.errorNumber = c.error;
        fake.errorText = c.text;
        HttpBinding binding(fake);
        HighscoreRecord record;
        record.versionPageId = 6;
        EXPECT_EQ(submitHighscore(record, binding), c.returned);
        EXPECT_EQ(record.result, c.result);
        EXPECT_EQ(record.message, c.message);
        EXPECT_EQ(record.versionPageId, 6); // a failed step does not touch it
        EXPECT_TRUE(fake.open.empty()) << "a handle outlived the attempt";
    }
}

TEST(HttpBinding, AFailedRequestStillTriesTheSendButNeverReadsAfterAFailedSend) {
    HeadlessScope scope;
    FakeHttpClient fake;
    fake.install(scope.headless);
    fake.failing = {HttpStep::OpenRequest};
    HttpBinding binding(fake);
    HighscoreRecord record;
    submitHighscore(record, binding);
    // The send fails on its own and records its failure; after a failed send nothing is
    // read.
    const std::vector<HttpStep> expected = {
        HttpStep::OpenRoot,     HttpStep::Connect,     HttpStep::OpenRequest,
        HttpStep::LastResponse, HttpStep::SendRequest, HttpStep::LastResponse,
        HttpStep::CloseHandle,  HttpStep::CloseHandle,
    };
    EXPECT_EQ(fake.calls, expected);
}
