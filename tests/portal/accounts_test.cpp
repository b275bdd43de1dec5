// The members' pages through a real server on loopback: the session cookie and its end
// (Secure "__Host-" cookies behind TLS),
// the login throttle shared with the game's endpoint, the one-time reset link, a new
// member's confirmation link, and challenges with their daily bound.
#include "net/highscore_submission.h"
#include "portal/password.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace {

TEST(Accounts, CookiesAndReturnPaths) {
    EXPECT_EQ(sessionCookieHeader("ab", 60, false),
              "pingel_session=ab; Max-Age=60; Path=/; HttpOnly; SameSite=Lax");
    EXPECT_EQ(sessionCookieHeader("", 0, true),
              "__Host-pingel_session=; Max-Age=0; Path=/; HttpOnly; SameSite=Lax; Secure");
    EXPECT_EQ(localReturnPath("/useradm/challenge/?a=1"), "/useradm/challenge/?a=1");
    for (const char* elsewhere :
         {"", "//evil.example/", "https://evil.example/", "/\\evil.example", "/a b", "x"}) {
        EXPECT_EQ(localReturnPath(elsewhere), "/useradm/") << elsewhere;
    }
    EXPECT_EQ(percentEncoded("anna+spel@example.se"), "anna%2Bspel%40example.se");
}

class AccountsTest : public testing::Test, protected PortalFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(open("sqlite"));
        AccountSettings settings;
        settings.publicUrl = "http://portal.example";
        settings.challengesPerDay = 2;
        ASSERT_TRUE(start(settings));
    }
};

TEST_F(AccountsTest, ASessionLastsUntilLogoutWithTheFormsToken) {
    const auto res = post("/logga-in/", {{"epost", "ANNA@example.se"},
                                         {"losenord", "hemligt1"},
                                         {"tillbaka", "/useradm/challenge/"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 303);
    EXPECT_EQ(res->get_header_value("Location"), "/useradm/challenge/");
    const std::string session = res->get_header_value("Set-Cookie").substr(15, 64);
    EXPECT_EQ(storage_->sessionMember(tokenDigest(session), 0), anna_);
    EXPECT_FALSE(storage_->sessionMember(session, 0)); // stored as a digest only

    const auto own = get("/useradm/", session);
    ASSERT_TRUE(own && own->status == 200);
    EXPECT_NE(own->body.find("anna@example.se"), std::string::npos);
    EXPECT_NE(own->body.find("Logga ut"), std::string::npos);
    // Every other page shows the nickname, never the address.
    for (const char* page : {"/", "/dll/", "/registrera/", "/useradm/challenge/"}) {
        const auto other = get(page, session);
        ASSERT_TRUE(other);
        EXPECT_NE(other->body.find(">Anna</a>"), std::string::npos) << page;
        EXPECT_EQ(other->body.find("anna@example.se"), std::string::npos) << page;
    }

    const auto out = post("/logga-ut/", {}, session);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->status, 303);
    EXPECT_EQ(out->get_header_value("Set-Cookie").substr(0, 26), "pingel_session=; Max-Age=0");
    EXPECT_FALSE(storage_->sessionMember(tokenDigest(session), 0));
    const auto after = get("/useradm/", session);
    EXPECT_EQ(after->status, 303);
    EXPECT_TRUE(after->get_header_value("Location").starts_with("/logga-in/?tillbaka="));
}

// Every state-changing form, walked from the route table: without the form's token (none,
// the cookie's without the field, an empty one, or a well-formed one that is not the
// form's) each is refused before it acts, whoever is logged in: no session ended, no mail,
// no member, no password changed. The refusal offers to try again, with a fresh token when
// the visitor had none. Only the game's endpoint takes no token.
TEST_F(AccountsTest, EveryFormRefusesARequestWithoutItsToken) {
    const std::string session = login("anna@example.se", "hemligt1");
    ASSERT_FALSE(session.empty());
    const std::string hash = storage_->findMember("anna@example.se")->passwordHash;
    const httplib::Params fields = {{"epost", "ny@example.se"},  {"smeknamn", "Ny"},
                                    {"losenord", "hemligt12"},   {"losenord2", "hemligt12"},
                                    {"t", std::string(64, 'a')}, {"mail", "anna@example.se"}};
    const std::pair<std::string, bool> cookies[] = {
        // and whether the field is sent
        {"", true},
        {"; pingel_csrf=" + csrf_, false},
        {"; pingel_csrf=", true},
        {"; pingel_csrf=" + std::string(64, '0'), true}};
    std::vector<std::string> open;
    for (const http::Route& route : portal_->server.routes().all()) {
        if (route.method != http::Route::Method::Post) {
            continue;
        }
        if (!route.guarded) {
            open.push_back(route.path);
            continue;
        }
        for (const auto& [cookie, field] : cookies) {
            SCOPED_TRACE(route.path + " " + cookie);
            httplib::Params form = fields;
            if (field) {
                form.emplace("csrf", csrf_);
            }
            const auto res = portal_->client->Post(
                route.path, {{"Cookie", "pingel_session=" + session + cookie}}, form);
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, 403);
            EXPECT_NE(
                res->body.find("<a href=\"" + route.path + "\">F\xC3\xB6rs\xC3\xB6k igen</a>"),
                std::string::npos);
            EXPECT_EQ(res->has_header("Set-Cookie"), cookie.size() < 20);
        }
    }
    EXPECT_EQ(open, std::vector<std::string>{std::string(highscoreObject)});
    EXPECT_TRUE(storage_->sessionMember(tokenDigest(session), 0));
    EXPECT_TRUE(mail().empty());
    EXPECT_FALSE(storage_->findMember("ny@example.se"));
    EXPECT_EQ(storage_->findMember("anna@example.se")->passwordHash, hash);
}

TEST_F(AccountsTest, LoginFailuresGoThroughTheGamesThrottle) {
    EXPECT_EQ(login("anna@example.se", "fel"), "");
    EXPECT_EQ(login("ingen@example.se", "fel"), "");
    // The game's endpoint and the form count in one place, per account and per address.
    EXPECT_EQ(storage_->failuresSince("account:" + std::to_string(anna_), 0), 1);
    EXPECT_EQ(storage_->failuresSince("address:127.0.0.1", 0), 2);
    for (int i = 0; i < ThrottleRules{}.perAccount - 1; ++i) {
        login("anna@example.se", "fel");
    }
    const auto res = post("/logga-in/", {{"epost", "anna@example.se"}, {"losenord", "hemligt1"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 429);
    EXPECT_EQ(res->body.find("hemligt1"), std::string::npos);
}

TEST_F(AccountsTest, AResetLinkWorksOnceAndTellsWhyItDoesNot) {
    const std::string session = login("anna@example.se", "hemligt1");
    ASSERT_FALSE(session.empty());
    // The same answer for a member and a stranger; only the member gets a link, the
    // stranger a note.
    const auto member = post("/getpass.asp", {{"mail", "Anna@example.se"}});
    const auto stranger = post("/getpass.asp", {{"mail", "ingen@example.se"}});
    ASSERT_TRUE(member && stranger);
    EXPECT_EQ(member->status, 200);
    EXPECT_EQ(member->body, stranger->body);
    auto sent = mail();
    ASSERT_EQ(sent.size(), 2u);
    if (sent[0].find("To: anna@example.se\n") == std::string::npos) {
        std::swap(sent[0], sent[1]);
    }
    EXPECT_NE(sent[1].find("To: ingen@example.se\n"), std::string::npos);
    EXPECT_EQ(sent[1].find("?t="), std::string::npos);
    std::smatch link;
    ASSERT_TRUE(std::regex_search(
        sent[0], link, std::regex("http://portal\\.example/nytt-losenord/\\?t=([0-9a-f]{64})")));
    const std::string token = link[1];

    EXPECT_EQ(portal_->client->Get("/nytt-losenord/?t=" + token)->status, 200);
    const httplib::Params twice = {
        {"t", token}, {"losenord", "nytt-ord"}, {"losenord2", "nytt-ord"}};
    const auto mismatch =
        post("/nytt-losenord/", {{"t", token}, {"losenord", "nytt-ord"}, {"losenord2", "annat"}});
    EXPECT_EQ(mismatch->status, 422); // the token is still good after a typing error
    EXPECT_EQ(post("/nytt-losenord/", twice)->status, 200);
    EXPECT_TRUE(verifyPassword(storage_->findMember("anna@example.se")->passwordHash, "nytt-ord"));
    EXPECT_FALSE(storage_->sessionMember(tokenDigest(session), 0)); // logged out everywhere

    const std::string expired = randomToken();
    storage_->createResetToken(tokenDigest(expired), anna_, 1, 0);
    struct Case {
        std::string target;
        int status;
        const char* says;
    };
    for (const Case& c : {Case{"/nytt-losenord/?t=" + token, 410, "redan anv\xC3\xA4nd"},
                          Case{"/nytt-losenord/?t=" + expired, 410, "g\xC3\xA5tt ut"},
                          Case{"/nytt-losenord/?t=" + std::string(64, 'a'), 404, "ok\xC3\xA4nd"},
                          Case{"/nytt-losenord/?t=%3Cb%3E", 404, "ok\xC3\xA4nd"}}) {
        const auto res = portal_->client->Get(c.target);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status) << c.target;
        EXPECT_NE(res->body.find(c.says), std::string::npos) << c.target;
    }
    EXPECT_EQ(post("/nytt-losenord/", twice)->status, 410);

    // Bounded per address, whoever asks.
    for (int i = 0; i < AccountSettings{}.resetsPerAddress; ++i) {
        post("/getpass.asp", {{"mail", "ingen@example.se"}});
    }
    EXPECT_EQ(post("/getpass.asp", {{"mail", "INGEN@example.se"}})->status, 429);
}

// Ny registers (not logged in by it), confirms by the first of two links, and may then
// challenge; opening a link changes nothing by itself.
TEST_F(AccountsTest, ANewMemberConfirmsHisAddressByAMailedLink) {
    const httplib::Params form = {{"epost", "ny@example.se"},
                                  {"smeknamn", "Ny"},
                                  {"losenord", "hemligt2"},
                                  {"losenord2", "hemligt2"}};
    const auto joined = post("/registrera/", form);
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->status, 200);
    EXPECT_FALSE(joined->has_header("Set-Cookie") &&
                 joined->get_header_value("Set-Cookie").starts_with("pingel_session"));
    const auto ny = storage_->findMember("ny@example.se").value().id;
    const auto links = [&] {
        std::vector<std::string> tokens;
        const std::regex link("http://portal\\.example/bekrafta/\\?t=([0-9a-f]{64})");
        for (const std::string& message : mail()) {
            std::smatch found;
            if (std::regex_search(message, found, link)) {
                tokens.push_back(found[1]);
            }
        }
        return tokens;
    };
    ASSERT_EQ(links().size(), 1u);
    const std::string first = links()[0];
    const std::string session = login("ny@example.se", "hemligt2");
    ASSERT_FALSE(session.empty());
    const auto confirmed = [&] { return storage_->memberById(ny)->confirmed; };
    const std::string unconfirmed = "inte bekr\xC3\xA4"
                                    "ftad";

    struct Step {
        const char* what;
        std::function<httplib::Result()> request;
        int status;
        const char* says; // "" for nothing in particular
        bool confirmedAfter;
    };
    using Request = std::function<httplib::Result()>;
    const auto getting = [&](std::string path) -> Request {
        return [&, path] { return get(path, session); };
    };
    const auto posting = [&](std::string path, httplib::Params form) -> Request {
        return [&, path, form] { return post(path, form, session); };
    };
    const httplib::Params challenge = {{"epost", "v@example.org"}}, link = {{"t", first}};
    const Step steps[] = {
        {"the link opened", getting("/bekrafta/?t=" + first), 200,
         "Bekr\xC3\xA4"
         "fta adressen</button>",
         false},
        {"his page", getting("/useradm/"), 200, unconfirmed.c_str(), false},
        {"the challenge page", getting("/useradm/challenge/"), 200, unconfirmed.c_str(), false},
        {"a challenge", posting("/useradm/challenge/", challenge), 403, unconfirmed.c_str(), false},
        {"a new link", posting("/bekrafta/ny/", {}), 200,
         "Vi har skickat en ny l\xC3\xA4nk till ny@example.se", false},
        {"the link sent without the form's token",
         [&] { return portal_->client->Post("/bekrafta/", link); }, 403, "", false},
        {"the first link sent", posting("/bekrafta/", link), 200,
         "Din e-postadress \xC3\xA4r bekr\xC3\xA4"
         "ftad",
         true},
        {"sent again", posting("/bekrafta/", link), 410, "redan anv", true},
        {"the second link, forgotten",
         [&] {
             // The outbox keeps no order within a second: the link that is not the first.
             const auto all = links();
             return get("/bekrafta/?t=" + (all.at(0) == first ? all.at(1) : all.at(0)), "");
         },
         404, "ok\xC3\xA4nd", true},
        {"his page now", getting("/useradm/"), 200, "Bonuspo\xC3\xA4ng", true},
        {"a challenge now", posting("/useradm/challenge/", challenge), 200,
         "Utmaningen \xC3\xA4r skickad", true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const auto res = step.request();
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, step.status);
        EXPECT_NE(res->body.find(step.says), std::string::npos);
        EXPECT_EQ(confirmed(), step.confirmedAfter);
        if (step.confirmedAfter) {
            EXPECT_EQ(res->body.find(unconfirmed), std::string::npos);
        }
    }
    EXPECT_EQ(mail().size(), 3u); // two links and one challenge
}

TEST_F(AccountsTest, AChallengeNamesTheMemberAsTipsareAndIsBoundedADay) {
    const auto away = portal_->client->Get("/useradm/challenge/");
    ASSERT_TRUE(away);
    EXPECT_EQ(away->status, 303);
    // (The client shows the Location with its %-escapes decoded.)
    EXPECT_EQ(away->get_header_value("Location"), "/logga-in/?tillbaka=/useradm/challenge/");

    const std::string session = login("anna@example.se", "hemligt1");
    ASSERT_TRUE(storage_->addMember("bo@example.se", "<Bo>", "h", 86400, "anna@example.se"));
    struct Case {
        const char* to;
        int status;
    };
    for (const Case& c :
         {Case{"van@example.org", 200}, Case{"ANNA@example.se", 422}, Case{"inte en adress", 422},
          Case{"van2@example.org", 200}, Case{"van3@example.org", 429}}) {
        const auto res = post("/useradm/challenge/", {{"epost", c.to}}, session);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status) << c.to;
        EXPECT_NE(res->body.find("<td>&lt;Bo&gt;</td><td>1970-01-02</td>"), std::string::npos);
        EXPECT_NE(res->body.find("bonuspo\xC3\xA4ng: 1<"), std::string::npos);
        EXPECT_EQ(res->body.find("bo@example.se"), std::string::npos);
    }
    const auto sent = mail();
    ASSERT_EQ(sent.size(), 2u);
    const std::string& first = sent[0].find("To: van@") != std::string::npos ? sent[0] : sent[1];
    EXPECT_NE(first.find("To: van@example.org\n"), std::string::npos);
    EXPECT_NE(first.find("http://portal.example/registrera/?tipsare=anna%40example.se\n"),
              std::string::npos);
    // The link fills in the tipsare on the registration form.
    const auto form = portal_->client->Get("/registrera/?tipsare=anna%40example.se");
    EXPECT_NE(form->body.find("name=\"tipsare\" type=\"email\" value=\"anna@example.se\""),
              std::string::npos);
}

// Behind TLS every cookie is a Secure "__Host-" one, and only such a cookie is believed: a
// plain one (planted over HTTP, or by a sibling domain) counts for nothing.
class AccountsBehindTls : public testing::Test, protected PortalFixture {};

TEST_F(AccountsBehindTls, CookiesAreSecureHostCookies) {
    ASSERT_TRUE(open("sqlite"));
    AccountSettings settings;
    settings.publicUrl = "https://portal.example";
    ASSERT_TRUE(start(settings));
    const std::string set = portal_->client->Get("/logga-in/")->get_header_value("Set-Cookie");
    ASSERT_TRUE(set.starts_with("__Host-pingel_csrf=")) << set;
    EXPECT_NE(set.find("; Path=/; Secure; HttpOnly; SameSite=Strict"), std::string::npos) << set;
    const std::string csrf = set.substr(19, 64);
    const auto attempt = [&](const std::string& cookie) {
        return portal_->client->Post("/logga-in/", {{"Cookie", cookie + "pingel_csrf=" + csrf}},
                                     httplib::Params{{"csrf", csrf},
                                                     {"epost", "anna@example.se"},
                                                     {"losenord", "hemligt1"}});
    };
    EXPECT_EQ(attempt("")->status, 403);
    const auto in = attempt("__Host-");
    ASSERT_TRUE(in && in->status == 303);
    const std::string session = in->get_header_value("Set-Cookie");
    ASSERT_TRUE(session.starts_with("__Host-pingel_session=")) << session;
    EXPECT_NE(session.find("; Path=/; HttpOnly; SameSite=Lax; Secure"), std::string::npos);
    const std::string token = session.substr(22, 64);
    EXPECT_EQ(
        portal_->client->Get("/useradm/", {{"Cookie", "__Host-pingel_session=" + token}})->status,
        200);
    EXPECT_EQ(get("/useradm/", token)->status, 303);
}

} // namespace
