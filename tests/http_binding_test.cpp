// The run-time binding of the HTTP client library, and what a missing library or function
// leaves in the record: the texts, that nothing after a missing function is looked up,
// that an incomplete binding tries again and a complete one is kept, and which step a
// missing libcurl function names.
#include "backends/curl/curl_http.h"
#include "loopback_portal.h"
#include "net/highscore_submission.h"
#include "platform/http_library.h"

#include <gtest/gtest.h>

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

const std::vector<HttpFunction> winInetFunctions = {
    {"InternetOpenA", HttpStep::OpenRoot},
    {"InternetConnectA", HttpStep::Connect},
    {"InternetReadFile", HttpStep::ReadReply},
    {"InternetGetLastResponseInfoA", HttpStep::LastResponse},
    {"HttpOpenRequestA", HttpStep::OpenRequest},
    {"HttpSendRequestA", HttpStep::SendRequest},
    {"InternetCloseHandle", HttpStep::CloseHandle},
};
const std::vector<const char*> libraryFiles = {"first.so", "second.so"};

void offer(HeadlessPlatform& platform, const char* file, const std::vector<std::string>& names,
           const std::string& missing = "") {
    static int anything;
    std::map<std::string, void*> functions;
    for (const std::string& name : names) {
        if (name != missing) {
            functions[name] = &anything;
        }
    }
    platform.addLibrary(file, functions);
}

std::vector<std::string> namesOf(const std::vector<HttpFunction>& functions) {
    std::vector<std::string> names;
    for (const HttpFunction& f : functions) {
        names.push_back(f.name);
    }
    return names;
}

std::string functionMissing(const std::string& name) {
    return "Kunde inte hitta funktionen " + name + " i WinInet.dll";
}

} // namespace

TEST(HttpLibrary, AMissingFunctionStopsTheLookUpAndEveryAttemptTriesAgain) {
    const std::vector<std::string> names = namesOf(winInetFunctions);
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        LookupLog h;
        offer(h, "second.so", names, names[i]); // only the second file is there
        HttpLibrary library(h, libraryFiles, winInetFunctions);
        for (int attempt = 0; attempt < 2; ++attempt) {
            h.lookedUp.clear();
            const auto missing = library.bind();
            ASSERT_TRUE(missing.has_value());
            EXPECT_EQ(missing->kind, HttpOutcome::Kind::FunctionMissing);
            EXPECT_EQ(missing->failure, HttpFailure::LibraryMissing);
            EXPECT_EQ(missing->step, winInetFunctions[i].step);
            EXPECT_EQ(h.lookedUp, std::vector<std::string>(names.begin(), names.begin() + i + 1));
            EXPECT_EQ(library.state(), HttpLibrary::State::Incomplete);
        }
    }
}

TEST(HttpLibrary, AMissingLibraryIsTriedAgainUntilItIsThereAndThenKept) {
    LookupLog h;
    HttpLibrary library(h, libraryFiles, winInetFunctions);
    EXPECT_EQ(library.state(), HttpLibrary::State::Empty);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto missing = library.bind();
        ASSERT_TRUE(missing.has_value());
        EXPECT_EQ(missing->kind, HttpOutcome::Kind::LibraryMissing);
        EXPECT_EQ(missing->failure, HttpFailure::LibraryMissing);
        EXPECT_EQ(library.state(), HttpLibrary::State::Incomplete);
    }
    offer(h, "first.so", namesOf(winInetFunctions));
    EXPECT_FALSE(library.bind().has_value());
    EXPECT_EQ(library.state(), HttpLibrary::State::Complete);
    EXPECT_NE(library.address(6), nullptr);
    h.lookedUp.clear();
    EXPECT_FALSE(library.bind().has_value());
    EXPECT_TRUE(h.lookedUp.empty()); // complete: never looked up again
}

// Through the libcurl backend and the submission: the texts name the Windows library and
// the function of the step that needs the missing one, and no network is touched.
TEST(HttpLibrary, WhatIsMissingFromLibcurlReachesTheRecordAsTheWindowsTexts) {
    const std::vector<std::string> curlNames = {
        "curl_global_init",  "curl_easy_getinfo", "curl_easy_strerror",
        "curl_easy_init",    "curl_easy_setopt",  "curl_slist_append",
        "curl_easy_perform", "curl_easy_cleanup", "curl_slist_free_all",
    };
    const struct {
        const char* missing; // empty: no library at all
        std::string message;
    } cases[] = {
        {"", "Kunde inte hitta WinInet.dll"},
        {"curl_global_init", functionMissing("InternetOpenA")},
        {"curl_easy_getinfo", functionMissing("InternetReadFile")},
        {"curl_easy_strerror", functionMissing("InternetGetLastResponseInfoA")},
        {"curl_easy_init", functionMissing("HttpOpenRequestA")},
        {"curl_easy_perform", functionMissing("HttpSendRequestA")},
        {"curl_slist_free_all", functionMissing("InternetCloseHandle")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        HeadlessPlatform h;
        if (c.missing[0] != '\0') {
            offer(h, "libcurl-gnutls.so.4", curlNames, c.missing);
        }
        CurlHttpClient client(h);
        for (int attempt = 0; attempt < 2; ++attempt) {
            HighscoreRecord record;
            record.versionPageId = 4;
            EXPECT_EQ(submitHighscore(record, client, {"127.0.0.1", 80, {}}, {h, h}), -1);
            EXPECT_EQ(record.result, resultLibraryMissing);
            EXPECT_EQ(record.failure, HttpFailure::LibraryMissing);
            EXPECT_EQ(record.message, c.message);
            EXPECT_EQ(record.versionPageId, 4);
        }
    }
}
