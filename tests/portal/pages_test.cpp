// The portal's web pages and the browser version's files, through a real server on
// loopback with a fresh SQLite database: paths and symbolic links that try to leave the
// site's folder, the content types and revalidation of the files, the security headers of
// every reply, the redirects, and becoming a member (each refusal beside its field with
// what was typed kept, success with its confirmation mail).
#include "portal/password.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class PagesTest : public testing::Test, protected PortalFixture {
  protected:
    void SetUp() override {
        root_ = freshFolder("pages");
        fs::create_directories(root_ / "site");
        writeFile(root_ / "secret.txt", "SECRET");
        writeFile(root_ / "site" / ".hidden", "SECRET");
        writeFile(root_ / "site" / "index.html", "<!DOCTYPE html><p>spel</p>");
        writeFile(root_ / "site" / "pingel.js", "let a = 1;");
        writeFile(root_ / "site" / "pingel.css", "p{}");
        writeFile(root_ / "site" / "pingel.wasm", std::string(5000, '\0'));
        // Links out of the folder, and one within it.
        fs::create_symlink(root_ / "secret.txt", root_ / "site" / "leak.txt");
        fs::create_symlink("../secret.txt", root_ / "site" / "up.txt");
        fs::create_directory_symlink(root_, root_ / "site" / "root");
        fs::create_symlink("pingel.js", root_ / "site" / "alias.js");
        ThrottleRules rules;
        rules.registrationsPerClient = 100; // the table below is longer than a client's hour
        ASSERT_TRUE(open("sqlite", rules));
        ASSERT_TRUE(storage_->addMember("tipsare@example.se", "Tipsaren", hashPassword("x"), 0));
        portal_->server.serveSite((root_ / "site").string());
        ASSERT_TRUE(start(AccountSettings{}));
    }
    void TearDown() override { fs::remove_all(root_); }

    // The whole reply to a request line sent as it is (no client tidies the path).
    std::string raw(const std::string& target) {
        return exchange(portal_->server.port(),
                        "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    }

    fs::path root_;
};

// Every reply, a file's or a page's, found or not, forbids framing and sniffing and has
// its policy (the game's under /spela/); nothing outside the site's folder is served.
TEST_F(PagesTest, ServesTheSiteWithItsTypesAndHeadersAndNothingOutsideIt) {
    const std::string pagePolicy = "Content-Security-Policy: default-src 'none'; style-src "
                                   "'self'; img-src 'self'; form-action 'self'; base-uri 'none'; "
                                   "frame-ancestors 'none'\r\n";
    const std::string gamePolicy = "Content-Security-Policy: default-src 'none'; script-src "
                                   "'self' 'wasm-unsafe-eval'; style-src 'self'; ";
    struct Case {
        std::string target; // GET, or a whole request
        const char* head;   // lines expected in the status line and headers
    };
    const Case cases[] = {
        {"/", "200"},
        {"/registrera/", "200"},
        {"/dll/", "200"},
        {"/portal.css", "200"},
        {"/spel/1", "404"},
        {"/nowhere", "404"},
        {"POST /registrera/ HTTP/1.1\r\nHost: x\r\n\r\n", "403"}, // no form token
        {"POST /registrera/ HTTP/1.1\r\nHost: x\r\nContent-Length: 99999\r\n\r\n",
         "413"}, // refused unread
        {"/spela", "301 Moved Permanently\r\nLocation: /spela/\r\n"},
        {"/spela/", "Cache-Control: no-cache\r\nContent-Type: text/html; charset=utf-8\r\n"},
        {"/spela/index.html", "Content-Type: text/html; charset=utf-8\r\n"},
        {"/spela/pingel.js", "Content-Type: text/javascript\r\n"},
        {"/spela/pingel.css", "Content-Type: text/css; charset=utf-8\r\n"},
        {"/spela/pingel.wasm", "Content-Type: application/wasm\r\n"},
        {"/spela/../secret.txt", "404"},
        {"/spela/%2e%2e/secret.txt", "404"},
        {"/spela/%2E%2E%2Fsecret.txt", "404"},
        {"/spela/x/../../secret.txt", "404"},
        {"/spela//secret.txt", "404"},
        {"/spela/%2Fetc%2Fpasswd", "404"},
        {"/spela/.hidden", "404"},
        {"/spela/%00index.html", "404"},
        {"/spela/missing.js", "404"},
        {"/spela/leak.txt", "404"},
        {"/spela/up.txt", "404"},
        {"/spela/root/secret.txt", "404"},
        {"/spela/alias.js",
         "200 OK\r\nCache-Control: no-cache\r\nContent-Type: text/javascript\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const std::string reply =
            c.target.starts_with("/") ? raw(c.target) : exchange(portal_->server.port(), c.target);
        const std::string head = reply.substr(0, reply.find("\r\n\r\n") + 2);
        if (std::isdigit(static_cast<unsigned char>(c.head[0]))) {
            EXPECT_EQ(head.substr(9, 3), std::string(c.head, 3)) << head;
        }
        std::istringstream lines(c.head);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_NE(head.find(line), std::string::npos) << line << head;
        }
        const bool game = c.target.starts_with("/spela/");
        for (const std::string& line :
             {game ? gamePolicy : pagePolicy, std::string("X-Frame-Options: DENY\r\n"),
              std::string("X-Content-Type-Options: nosniff\r\n"),
              std::string("Referrer-Policy: same-origin\r\n")}) {
            EXPECT_NE(head.find(line), std::string::npos) << line << head;
        }
        EXPECT_NE(head.find("frame-ancestors 'none'"), std::string::npos);
        EXPECT_EQ(reply.find("SECRET"), std::string::npos);
    }
    EXPECT_NE(raw("/").find("href=\"/spela/\">Spela i webbl\xC3\xA4saren"), std::string::npos);
}

TEST_F(PagesTest, PagesHoldNoInlineScriptOrStyle) {
    // The pages hold nothing the policy refuses: no script and no style of their own.
    for (const char* page : {"/", "/registrera/", "/dll/", "/version.asp?gameid=3"}) {
        const auto res = portal_->client->Get(page);
        ASSERT_TRUE(res);
        for (const char* inline_ : {"<script", "<style", " style="}) {
            EXPECT_EQ(res->body.find(inline_), std::string::npos) << page << " " << inline_;
        }
        EXPECT_FALSE(std::regex_search(res->body, std::regex(" on[a-z]+=")));
        EXPECT_NE(res->body.find("<link rel=\"stylesheet\" href=\"/portal.css\">"),
                  std::string::npos);
    }
    const auto style = portal_->client->Get("/portal.css");
    ASSERT_TRUE(style && style->status == 200);
    EXPECT_EQ(style->get_header_value("Content-Type"), "text/css; charset=utf-8");
    EXPECT_EQ(
        portal_->client->Get("/portal.css", {{"If-None-Match", style->get_header_value("ETag")}})
            ->status,
        304);
}

TEST_F(PagesTest, ARebuiltFileIsNeverServedStale) {
    const auto first = portal_->client->Get("/spela/pingel.wasm");
    ASSERT_TRUE(first && first->status == 200);
    const std::string tag = first->get_header_value("ETag");
    ASSERT_FALSE(tag.empty());
    EXPECT_EQ(portal_->client->Get("/spela/pingel.wasm", {{"If-None-Match", tag}})->status, 304);
    writeFile(root_ / "site" / "pingel.wasm", std::string(6000, '\1'));
    const auto rebuilt = portal_->client->Get("/spela/pingel.wasm", {{"If-None-Match", tag}});
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(rebuilt->status, 200);
    EXPECT_EQ(rebuilt->body, std::string(6000, '\1'));
    // Compressed for a client that accepts gzip (the client here unpacks it).
    portal_->client->set_decompress(true);
    const auto packed = portal_->client->Get("/spela/pingel.wasm", {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(packed);
    EXPECT_EQ(packed->get_header_value("Content-Encoding"), "gzip");
    EXPECT_EQ(packed->body, std::string(6000, '\1'));
}

TEST_F(PagesTest, InformationPagesEscapeWhatTheyShow) {
    const auto dll = portal_->client->Get("/dll/");
    ASSERT_TRUE(dll && dll->status == 200);
    for (const char* needed : {"WinInet", "libcurl4", "libcurl3-gnutls", "name=\"viewport\""}) {
        EXPECT_NE(dll->body.find(needed), std::string::npos) << needed;
    }
    const auto version = portal_->client->Get("/version.asp?gameid=%3Cscript%3E");
    ASSERT_TRUE(version && version->status == 200);
    EXPECT_EQ(version->body.find("<script>"), std::string::npos);
    EXPECT_NE(version->body.find("href=\"/spela/\""), std::string::npos);
    EXPECT_EQ(portal_->client->Get("/registrera")->get_header_value("Location"), "/registrera/");
}

TEST_F(PagesTest, RegistrationShowsEachErrorBesideItsFieldAndKeepsWhatWasTyped) {
    const httplib::Params good = {{"epost", "ny@example.se"},
                                  {"smeknamn", "<O\xCC\x88rjan>"}, // decomposed: NFC stored
                                  {"losenord", "hemligt1"},
                                  {"losenord2", "hemligt1"},
                                  {"tipsare", "TIPSARE@example.se"}};
    auto with = [&](const char* name, const char* value) {
        httplib::Params form = good;
        form.erase(name);
        form.emplace(name, value);
        return form;
    };
    struct Case {
        httplib::Params form;
        const char* field;
        const char* error;
    };
    const Case cases[] = {
        {with("epost", ""), "epost", "Skriv din e-postadress."},
        {with("epost", "ingen-snabel-a"), "epost", "Det ser inte ut som en e-postadress"},
        // Nothing that could add a recipient or a header to a mail.
        {with("epost", "ny@example.se,tipsare@example.se"), "epost", "kommatecken"},
        {with("epost", "ny@example.se\r\nBcc: x@example.se"), "epost", "radbrytningar"},
        {with("epost", "ny@exa\nmple.se"), "epost", "radbrytningar"},
        {with("epost", "ny\t@example.se"), "epost", "styrtecken"},
        {with("epost", "ny\x7F@example.se"), "epost", "styrtecken"},
        {with("epost", "ny\xC2\x85@example.se"), "epost", "styrtecken"}, // NEL, a C1 control
        {with("tipsare", "tipsare@example.se,x@example.se"), "tipsare", "Det ser inte ut som"},
        {with("smeknamn", " "), "smeknamn", "V\xC3\xA4lj ett smeknamn."},
        {with("smeknamn", "a\x01"), "smeknamn", "styrtecken"},
        {with("smeknamn", "a\xC2\x85"), "smeknamn", "styrtecken"},                   // NEL
        {with("smeknamn", "a\xED\xA0\x80"), "smeknamn", "inte g\xC3\xA5r att visa"}, // a surrogate
        {with("smeknamn", "a\xE2\x80\xAE"
                          "b"),
         "smeknamn", "skrivriktningen"},                                // right-to-left override
        {with("smeknamn", "a\xEE\x80\x80"), "smeknamn", "privat bruk"}, // U+E000
        {with("smeknamn", std::string(33, 'a').c_str()), "smeknamn", "h\xC3\xB6gst 32 tecken"},
        {with("smeknamn", "TIPSAREN"), "smeknamn", "upptaget"},
        {with("losenord", "12345678901234567"), "losenord", "ska ha 8 till 16 tecken"},
        {with("losenord", "1234567"), "losenord", "ska ha 8 till 16 tecken"},
        {with("losenord2", "hemligT1"), "losenord2", "L\xC3\xB6senorden \xC3\xA4r inte lika."},
        {with("tipsare", "NY@example.se"), "tipsare", "Du kan inte vara din egen tipsare."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const auto res = post("/registrera/", c.form);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 422);
        const auto input = res->body.find(std::string("id=\"") + c.field + "\" name=");
        const auto error = res->body.find(c.error);
        // The error follows its own field's input, before the next field's label.
        EXPECT_NE(error, std::string::npos);
        EXPECT_LT(input, error);
        EXPECT_EQ(res->body.find("<label", input), res->body.find("<label", error));
        EXPECT_EQ(res->body.find("hemligt1"), std::string::npos);
        if (std::string(c.field) != "smeknamn") {
            EXPECT_NE(res->body.find("value=\"&lt;\xC3\x96rjan&gt;\""), std::string::npos);
        }
    }
    EXPECT_FALSE(storage_->findMember("ny@example.se"));

    const auto res = post("/registrera/", good);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("&lt;\xC3\x96rjan&gt;"), std::string::npos);
    EXPECT_NE(res->body.find("bekr\xC3\xA4"
                             "fta"),
              std::string::npos);
    const auto member = storage_->findMember("NY@example.se");
    ASSERT_TRUE(member);
    EXPECT_EQ(member->nickname, "<\xC3\x96rjan>");
    EXPECT_EQ(member->recruiterKey, "tipsare@example.se");
    EXPECT_FALSE(member->confirmed);
    EXPECT_TRUE(verifyPassword(member->passwordHash, "hemligt1"));
    // The nickname is his now. A recruiter who is no member is kept as typed: refusing it
    // would tell who is one.
    EXPECT_EQ(post("/registrera/", with("epost", "nu@example.se"))->status, 422);
    EXPECT_EQ(post("/registrera/", {{"epost", "tre@example.se"},
                                    {"smeknamn", "Tre"},
                                    {"losenord", "hemligt1"},
                                    {"losenord2", "hemligt1"},
                                    {"tipsare", "ingen@example.se"}})
                  ->status,
              200);
    EXPECT_EQ(storage_->findMember("tre@example.se")->recruiterKey, "ingen@example.se");
    EXPECT_EQ(portal_->client->Get("/")->body.find("ny@example.se"), std::string::npos);
}

} // namespace
