// Watching the portal: GET /metrics through a real server on loopback, its counts moved by
// each kind of request (a page, the game's submission with each verdict, a missing path, a
// failing database), every line checked against Prometheus's text format, the page
// missing to every client not allowed it (also through a trusted proxy); and the access
// log's lines, which hold no password, token, cookie or e-mail address.
#include "portal/password.h"
#include "portal/submission.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

// Checks `text` as Prometheus's text format 0.0.4 and gathers its samples by name and
// labels ("name{a=\"b\"}", without a bucket's le); every fault found goes into `faults`.
std::map<std::string, double> parseExposition(const std::string& text,
                                              std::vector<std::string>& faults) {
    static const std::regex comment(R"(# (HELP|TYPE) ([a-zA-Z_:][a-zA-Z0-9_:]*) (.*))");
    static const std::regex sampleLine(
        R"(([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (-?[0-9.e+-]+|\+Inf|-Inf|NaN))");
    // label="value", the value's backslashes escaping only \, " and n.
    static const std::regex label(R"(([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\[\\"n])*)\"(,|$))");
    std::map<std::string, std::string> types; // family -> type
    std::set<std::string> behind;             // families whose samples are done
    std::string current, line;
    std::map<std::string, double> samples, lastBucket;
    std::map<std::string, std::string> lastLe;
    std::istringstream lines(text);
    const auto fault = [&](const std::string& why) { faults.push_back(why + ": " + line); };
    if (text.empty() || text.back() != '\n') {
        faults.push_back("no line feed at the end");
    }
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_match(line, m, comment)) {
            if (m[1] == "TYPE") {
                static const std::set<std::string> known = {"counter", "gauge", "histogram",
                                                            "summary", "untyped"};
                if (!known.contains(m[3]) || types.contains(m[2]) ||
                    (m[3] == "counter" && !m[2].str().ends_with("_total"))) {
                    fault("unknown or second TYPE, or a counter not named _total");
                }
                types[m[2]] = m[3];
            }
            continue;
        }
        if (!std::regex_match(line, m, sampleLine)) {
            fault("not a sample");
            continue;
        }
        const std::string name = m[1], inside = m[2];
        std::string labels, le;
        std::size_t at = 0;
        for (std::smatch l; at < inside.size() &&
                            std::regex_search(inside.begin() + static_cast<long>(at), inside.end(),
                                              l, label, std::regex_constants::match_continuous);
             at += static_cast<std::size_t>(l.length())) {
            if (l[1] == "le") {
                le = l[2];
            } else {
                labels += (labels.empty() ? "" : ",") + l[1].str() + "=\"" + l[2].str() + '"';
            }
        }
        if (at != inside.size()) {
            fault("bad labels");
        }
        std::string family = name;
        for (const std::string suffix : {"_bucket", "_sum", "_count"}) {
            if (!types.contains(family) && name.ends_with(suffix)) {
                family = name.substr(0, name.size() - suffix.size());
            }
        }
        if (!types.contains(family) || (family != current && behind.contains(family))) {
            fault("a sample before its TYPE or apart from its family");
        }
        if (family != current) {
            behind.insert(current);
            current = family;
        }
        const double value = std::stod(m[3]);
        const std::string series = family + "{" + labels + "}";
        if (types[family] == "histogram" && name.ends_with("_bucket")) {
            if (le.empty() || value < lastBucket[series]) {
                fault("a bucket without le, or below the one before");
            }
            lastBucket[series] = value;
            lastLe[series] = le;
            continue;
        }
        samples[name + "{" + labels + "}"] = value;
    }
    for (const auto& [series, last] : lastBucket) {
        const auto brace = series.find('{');
        if (lastLe[series] != "+Inf" ||
            samples[series.substr(0, brace) + "_count" + series.substr(brace)] != last) {
            faults.push_back("the last bucket is not +Inf, holding the count: " + series);
        }
    }
    return samples;
}

class MetricsTest : public testing::Test, protected PortalFixture {
  protected:
    void SetUp() override {
        ThrottleRules rules;
        rules.perAccount = 1; // a second wrong password from one client is throttled
        rules.submissionsPerHour = 2;
        ASSERT_TRUE(open("sqlite", rules));
        portal_->server.trustProxy("127.0.0.1");
        portal_->server.rankUnproven();
        log_ = freshFolder("access") / "access.log";
        ASSERT_TRUE(portal_->server.logAccess(log_.string()));
        ASSERT_TRUE(start());
    }

    std::map<std::string, double> scrape() {
        const auto res = portal_->client->Get("/metrics");
        EXPECT_TRUE(res && res->status == 200);
        if (!res) {
            return {};
        }
        EXPECT_EQ(res->get_header_value("Content-Type"),
                  "text/plain; version=0.0.4; charset=utf-8");
        std::vector<std::string> faults;
        auto samples = parseExposition(res->body, faults);
        EXPECT_EQ(faults, std::vector<std::string>{});
        return samples;
    }

    std::filesystem::path log_;
};

const std::string requests = "pingel_http_requests_total";
const std::string took = "pingel_http_request_duration_seconds_count";
const std::string submissions = "pingel_submissions_total";
const std::string game = "method=\"POST\",route=\"/r0002.asp\"";

TEST_F(MetricsTest, CountsMoveWithEachRequest) {
    struct Case {
        const char* what;
        const char* method;
        std::string path, body;
        std::string client; // named by X-Forwarded-For, "" for none
        int status;
        std::map<std::string, double> moved; // every other count stays
    };
    // The counts of one request on `route` answered `status`, and those `also` names.
    const auto moved = [](const std::string& route, const char* status,
                          std::map<std::string, double> also = {}) {
        also[requests + "{" + route + ",status=\"" + status + "\"}"] = 1;
        also[took + "{" + route + "}"] = 1;
        return also;
    };
    const auto sent = [&](const std::string& verdict, const char* status = "200") {
        return moved(game, status, {{submissions + "{verdict=\"" + verdict + "\"}", 1}});
    };
    const std::string home = "method=\"GET\",route=\"/\"",
                      unmatched = "method=\"GET\",route=\"unmatched\"";
    const std::string wrong = Fields{.password = "hemligT1"}.body(), right = Fields{}.body();
    const std::string endpoint = "/r0002.asp";
    const Case cases[] = {
        {"a page", "GET", "/", "", "", 200, moved(home, "200")},
        {"a missing path, counted under one label", "GET", "/no/such/page?x=1", "", "", 404,
         moved(unmatched, "404")},
        {"the metrics to a stranger behind the proxy: missing, and counted so", "GET", "/metrics",
         "", "203.0.113.9", 404, moved(unmatched, "404")},
        {"unknown member", "POST", endpoint, Fields{.email = "bo@example.se"}.body(),
         "198.51.100.1", 200, sent("unknown_member")},
        {"wrong password", "POST", endpoint, wrong, "198.51.100.2", 200, sent("wrong_password")},
        {"again from that client", "POST", endpoint, wrong, "198.51.100.2", 200, sent("throttled")},
        {"ranked", "POST", endpoint, right, "198.51.100.3", 200, sent("ranked")},
        {"unranked", "POST", endpoint, Fields{.score = -5}.body(), "198.51.100.3", 200,
         sent("unranked")},
        {"past the member's hour", "POST", endpoint, right, "198.51.100.3", 200, sent("too_often")},
        {"not the game's body", "POST", endpoint, "f1=x", "", 400, sent("malformed", "400")},
        // The busy and database rows change the server and come last.
        {"no room to check a password", "POST", endpoint, Fields{.password = "annat123"}.body(),
         "198.51.100.4", 200, sent("busy")},
        {"a database that fails", "GET", "/", "", "", 503,
         moved(home, "503", {{"pingel_database_errors_total{}", 1}})},
    };
    // Each scrape is counted once the one after it is written.
    const std::string scrapes = "{method=\"GET\",route=\"/metrics\"";
    auto before = scrape();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "no room to check a password") {
            portal_->server.passwords().setBound(0);
        }
        if (std::string(c.what) == "a database that fails") {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(location_.c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, "DROP TABLE scores", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        httplib::Headers headers;
        if (!c.client.empty()) {
            headers.emplace("X-Forwarded-For", c.client);
        }
        const auto res = std::string(c.method) == "GET"
                             ? portal_->client->Get(c.path, headers)
                             : portal_->client->Post(c.path, headers, c.body, formType);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        const auto after = scrape();
        for (const auto& [series, value] : after) {
            const bool counted = series.starts_with(requests) || series.starts_with(took) ||
                                 series.starts_with(submissions) ||
                                 series.starts_with("pingel_database_errors_total");
            if (!counted) {
                continue;
            }
            const auto found = c.moved.find(series);
            const double expected = found != c.moved.end()                      ? found->second
                                    : series.find(scrapes) != std::string::npos ? 1
                                                                                : 0;
            EXPECT_EQ(value - (before.contains(series) ? before[series] : 0), expected) << series;
        }
        for (const auto& [series, delta] : c.moved) {
            EXPECT_TRUE(after.contains(series)) << series;
        }
        before = after;
    }
    EXPECT_GE(before["pingel_http_connections_open{}"], 1);
    EXPECT_EQ(before["pingel_password_checks_waiting{}"], 0);
}

TEST_F(MetricsTest, MissingToClientsNotAllowed) {
    struct Case {
        const char* what;
        const char* from;      // the connection's own loopback address
        const char* forwarded; // X-Forwarded-For, nullptr for none
        int status;
    };
    const Case cases[] = {
        {"loopback, the default", "127.0.0.1", nullptr, 200},
        {"another address", "127.0.0.2", nullptr, 404},
        {"another address naming loopback, not a proxy", "127.0.0.2", "127.0.0.1", 404},
        {"the proxy relaying a stranger", "127.0.0.1", "203.0.113.9", 404},
        {"a stranger's claim the proxy passed on", "127.0.0.1", "127.0.0.1, 203.0.113.9", 404},
        {"the proxy relaying someone unknown", "127.0.0.1", "unknown", 404},
        {"the proxy relaying a client on its host", "127.0.0.1", "::1", 200},
    };
    for (const Case& c : cases) {
        for (const char* method : {"GET", "POST"}) {
            SCOPED_TRACE(std::string(c.what) + " " + method);
            std::string request = std::string(method) + " /metrics HTTP/1.1\r\nHost: x\r\n";
            if (c.forwarded) {
                request += "X-Forwarded-For: " + std::string(c.forwarded) + "\r\n";
            }
            request += "Content-Length: 0\r\nConnection: close\r\n\r\n";
            const std::string reply = exchange(portal_->server.port(), request, c.from);
            // A POST is refused as for a path that does not exist, never 405.
            const int expected = std::string(method) == "GET" ? c.status
                                 : c.status == 200            ? 405
                                                              : 404;
            EXPECT_TRUE(reply.starts_with("HTTP/1.1 " + std::to_string(expected)))
                << reply.substr(0, 40);
        }
    }
    // An operator's list replaces loopback.
    ServedPortal served(*storage_);
    EXPECT_FALSE(served.server.metricsFrom({"192.0.2.1", "nobody"}));
    ASSERT_TRUE(served.server.metricsFrom({"192.0.2.1", "::ffff:127.0.0.3"}));
    served.server.trustProxy("127.0.0.1");
    ASSERT_TRUE(served.start());
    EXPECT_EQ(served.client->Get("/metrics")->status, 404);
    EXPECT_EQ(served.client->Get("/metrics", {{"X-Forwarded-For", "192.0.2.1"}})->status, 200);
    EXPECT_EQ(served.client->Get("/metrics", {{"X-Forwarded-For", "127.0.0.3"}})->status, 200);
}

TEST_F(MetricsTest, AccessLogLinesHoldNoSecrets) {
    const std::string token(64, 'c'), cookie = "pingel_session=" + std::string(64, 'd');
    struct Case {
        const char* method;
        std::string path, body;
        const char* logged; // the path as logged
    };
    const Case cases[] = {
        {"GET", "/bekrafta/?t=" + token, "", "/bekrafta/?t"},
        {"GET", "/nytt-losenord/?t=" + token + "&" + token + "=1", "", "/nytt-losenord/?-&t"},
        {"GET", "/getpass.asp?mail=anna%40example.se", "", "/getpass.asp?mail"},
        {"POST", "/logga-in/", "epost=anna%40example.se&losenord=hemligt1", "/logga-in/"},
        {"POST", "/r0002.asp", Fields{}.body(), "/r0002.asp"},
        {"GET", "/a%20b%0Ac", "", "/a%20b%0Ac"},
    };
    for (const Case& c : cases) {
        const httplib::Headers headers = {{"Cookie", cookie}, {"X-Forwarded-For", "198.51.100.7"}};
        const auto res = std::string(c.method) == "GET"
                             ? portal_->client->Get(c.path, headers)
                             : portal_->client->Post(c.path, headers, c.body, formType);
        ASSERT_TRUE(res);
    }
    portal_.reset(); // stopped: every line is written
    std::ifstream in(log_);
    const std::regex fields(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) (\S+) (GET|POST) (\S+))"
                            R"( ([1-5]\d\d) (\d+) (\d+\.\d{3}))");
    std::string line;
    std::size_t n = 0;
    while (std::getline(in, line)) {
        SCOPED_TRACE(line);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, fields));
        ASSERT_LT(n, std::size(cases));
        EXPECT_EQ(m[2], "198.51.100.7");
        EXPECT_EQ(m[3], cases[n].method);
        EXPECT_EQ(m[4], cases[n].logged);
        for (const std::string& secret :
             {token, std::string(64, 'd'), std::string("hemligt1"), std::string("example")}) {
            EXPECT_EQ(line.find(secret), std::string::npos);
        }
        ++n;
    }
    EXPECT_EQ(n, std::size(cases));
    // Created 0640 (less under a stricter umask): never for others to read.
    EXPECT_EQ(std::filesystem::status(log_).permissions() & std::filesystem::perms::others_all,
              std::filesystem::perms::none);
}

} // namespace
