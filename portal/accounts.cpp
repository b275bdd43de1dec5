// The members' pages; see accounts.h.
#include "portal/accounts.h"

#include "net/url.h"
#include "portal/clock.h"
#include "portal/competition.h"
#include "portal/pages.h"
#include "portal/password.h"
#include "portal/templates.h"
#include "portal/text.h"

#include <ctime>
#include <iostream>
#include <memory>

using namespace web;

namespace {

// The recruits that earn bonus points: those who joined during the competition period, or
// all of them while no period is set.
std::vector<Recruit> bonusRecruits(Storage& storage, std::int64_t memberId) {
    const auto period = loadCompetitionSettings(storage).period;
    if (!period) {
        return storage.recruits(memberId);
    }
    const TimeSpan span = period->span();
    return storage.recruits(memberId, span.from, span.until);
}

constexpr std::int64_t hourSeconds = 3600;
constexpr std::int64_t daySeconds = 24 * hourSeconds;
constexpr const char* memberPage = "/useradm/";
constexpr const char* challengePage = "/useradm/challenge/";
constexpr const char* confirmPage = "/bekrafta/";
constexpr const char* newConfirmLinkPath = "/bekrafta/ny/";

void noStore(http::Response& res) {
    // These pages carry tokens or personal data: kept out of caches and referrers.
    res.setHeader("Cache-Control", "no-store");
    res.setHeader("Referrer-Policy", "no-referrer");
}

// A page's data with its form token.
Data withToken(const std::string& token) {
    Data data;
    data.set("csrf", token);
    return data;
}

// A link's token or a bad link's state, for the templates that tell which.
Data linkState(ResetTokenState state) {
    Data data;
    data.set("used", state == ResetTokenState::Used);
    data.set("expired", state == ResetTokenState::Expired);
    data.set("unknown", state != ResetTokenState::Used && state != ResetTokenState::Expired);
    return data;
}

class AccountPages : public std::enable_shared_from_this<AccountPages> {
  public:
    AccountPages(Storage& storage, PasswordChecks& passwords, const Mailer& mailer,
                 const AccountSettings& settings)
        : storage_(storage), passwords_(passwords), mailer_(mailer), settings_(settings),
          secure_(settings.publicUrl.starts_with("https://")), cookies_{secure_} {}

    void add(http::Routes& routes);

  private:
    // Log in and out.
    std::string loginForm(const http::Request& req, http::Response& res, const std::string& email,
                          const std::string& back, std::string_view notice);
    void loginPost(const http::Request& req, http::Response& res);
    void logoutPost(const http::Request& req, http::Response& res);
    // A forgotten password.
    std::string getpassForm(const http::Request& req, http::Response& res, const std::string& email,
                            const FieldErrors& errors, bool tooMany = false);
    void getpassPost(const http::Request& req, http::Response& res);
    void sendResetLink(const Member& member);
    std::string resetForm(const http::Request& req, http::Response& res, const std::string& token,
                          const FieldErrors& errors);
    void resetGet(const http::Request& req, http::Response& res);
    void resetPost(const http::Request& req, http::Response& res);
    void badResetToken(http::Response& res, ResetTokenState state);
    // Becoming a member and confirming the address.
    void registrationPost(const http::Request& req, http::Response& res);
    bool sendConfirmLink(const Member& member, std::int64_t now);
    bool sendAlreadyMember(const Member& member);
    void badConfirmToken(http::Response& res, ResetTokenState state);
    void confirmGet(const http::Request& req, http::Response& res);
    void confirmPost(const http::Request& req, http::Response& res);
    void newConfirmLinkPost(const http::Request& req, http::Response& res);
    // What an unconfirmed member is told on his pages, with the button for a new link.
    static std::string unconfirmedNotice(const Visitor& visitor);
    // The member's own pages.
    void ownPage(const http::Request& req, http::Response& res);
    std::string challengeBody(const Visitor& visitor, const std::string& friendAddress,
                              const FieldErrors& errors, bool sent);
    void challengeGet(const http::Request& req, http::Response& res);
    void challengePost(const http::Request& req, http::Response& res);
    // The visitor when logged in; else a redirect to the login page and back.
    std::optional<Visitor> member(const http::Request& req, http::Response& res, const char* back);

    Storage& storage_;
    PasswordChecks& passwords_;
    const Mailer& mailer_;
    const AccountSettings settings_;
    bool secure_;
    Cookies cookies_;
};

std::optional<Visitor> AccountPages::member(const http::Request& req, http::Response& res,
                                            const char* back) {
    Visitor visitor = visitorOf(storage_, req, res, cookies_);
    if (visitor.memberId == 0) {
        res.redirect("/logga-in/?tillbaka=" + percentEncoded(back), 303);
        return std::nullopt;
    }
    return visitor;
}

// --- log in and out -------------------------------------------------------------------

// `notice` names what the page says above the form ("tooMany", "throttled", "wrong"), if
// anything.
std::string AccountPages::loginForm(const http::Request& req, http::Response& res,
                                    const std::string& email, const std::string& back,
                                    std::string_view notice) {
    Data data = withToken(formToken(req, res, cookies_));
    if (!notice.empty()) {
        data.set(std::string(notice), true);
    }
    data.set("back", back);
    data.set("epost", input({}, "epost", "email", email, "username"));
    data.set("losenord", input({}, "losenord", "password", "", "current-password"));
    data.set("mail", percentEncoded(email));
    return render("login", data);
}

void AccountPages::loginPost(const http::Request& req, http::Response& res) {
    const std::string email = trimmed(req.param("epost")).substr(0, 254);
    const std::string back = localReturnPath(req.param("tillbaka"));
    const std::string title = "Logga in";
    const std::int64_t now = unixNow();
    if (!storage_.admit("login-from:" + req.client, settings_.loginsPerClient, now - hourSeconds,
                        now)) {
        sendPage(res, title, loginForm(req, res, email, back, "tooMany"), 429);
        return;
    }
    // An unknown address is checked like a wrong password, at the same cost.
    const auto check = checkLogin(storage_, passwords_, email, req.param("losenord"), req.client,
                                  now, settings_.login, true);
    if (check.outcome == LoginOutcome::Busy) {
        throw PasswordQueueFull(); // answered 503 with Retry-After, as for every page
    }
    if (check.outcome == LoginOutcome::Right && check.member->banned) {
        // Said only to one who knows the password; no session is made.
        sendPage(res, "Kontot är avstängt", render("banned", {}), 403);
        return;
    }
    if (check.outcome == LoginOutcome::Right) {
        const std::string token = randomToken();
        storage_.removeExpiredSessions(now);
        storage_.createSession(tokenDigest(token), check.member->id,
                               now + settings_.sessionSeconds);
        res.setHeader("Set-Cookie", sessionCookieHeader(token, settings_.sessionSeconds, secure_));
        res.redirect(back, 303);
        return;
    }
    const bool throttled = check.outcome == LoginOutcome::Throttled;
    sendPage(res, title, loginForm(req, res, email, back, throttled ? "throttled" : "wrong"),
             throttled ? 429 : 422);
}

void AccountPages::logoutPost(const http::Request& req, http::Response& res) {
    const std::string token = cookieValue(req, cookies_.session());
    if (looksLikeToken(token)) {
        storage_.removeSession(tokenDigest(token));
    }
    res.setHeader("Set-Cookie", sessionCookieHeader("", 0, secure_));
    res.redirect("/", 303);
}

// --- a forgotten password -------------------------------------------------------------

std::string AccountPages::getpassForm(const http::Request& req, http::Response& res,
                                      const std::string& email, const FieldErrors& errors,
                                      bool tooMany) {
    Data data = withToken(formToken(req, res, cookies_));
    data.set("tooMany", tooMany);
    data.set("mail", input(errors, "mail", "email", email, "email"));
    return render("getpass", data);
}

void AccountPages::getpassPost(const http::Request& req, http::Response& res) {
    const std::string email = trimmed(req.param("mail")).substr(0, 254);
    const std::string title = "Glömt lösenord";
    noStore(res);
    if (!plausibleAddress(email)) {
        sendPage(res, title,
                 getpassForm(req, res, email, {{"mail", "Det ser inte ut som en e-postadress."}}),
                 422);
        return;
    }
    // Counted for members and strangers alike, so the answer tells nothing of who is one.
    const std::int64_t now = unixNow();
    const std::string addressKey = "reset:" + emailKey(email);
    const std::string clientKey = "reset-from:" + req.client;
    if (!storage_.admit(clientKey, settings_.resetsPerClient, now - hourSeconds, now) ||
        !storage_.admit(addressKey, settings_.resetsPerAddress, now - hourSeconds, now)) {
        sendPage(res, title, getpassForm(req, res, email, {}, true), 429);
        return;
    }
    // A stranger's address gets a note instead, so that both answers cost the same.
    if (const auto member = storage_.findMember(email)) {
        sendResetLink(*member);
    } else {
        mailer_.send({email, "Nytt lösenord till spelia",
                      "Hej!\n\nNågon (förhoppningsvis du) bad om ett nytt "
                      "lösenord på spelia för den här "
                      "adressen, men ingen medlem har den. Har du kanske blivit medlem med en "
                      "annan adress? Vill du bli medlem går det här:\n\n" +
                          settings_.publicUrl +
                          "/registrera/\n\nBad du inte om något kan du strunta i det "
                          "här brevet.\n\nspelia\n"});
    }
    sendPage(res, title, render("getpass_sent", {}));
}

void AccountPages::sendResetLink(const Member& member) {
    const std::int64_t now = unixNow();
    const std::string token = randomToken();
    storage_.createResetToken(tokenDigest(token), member.id, now + settings_.resetSeconds, now);
    const std::string minutes = std::to_string(settings_.resetSeconds / 60);
    // A failed send is the operator's to see in the log; the page must not tell a stranger
    // that this address is a member's.
    mailer_.send({member.email, "Nytt lösenord till spelia",
                  "Hej " + member.nickname +
                      "!\n\nNågon (förhoppningsvis du) bad om ett nytt lösenord "
                      "till ditt konto på spelia. Öppna länken inom " +
                      minutes + " minuter och välj ett nytt lösenord:\n\n" + settings_.publicUrl +
                      "/nytt-losenord/?t=" + token +
                      "\n\nLänken fungerar en gång. Bad du inte om ett nytt "
                      "lösenord kan du strunta i det här brevet; ditt lösenord "
                      "är oförändrat.\n\nspelia\n"});
}

std::string AccountPages::resetForm(const http::Request& req, http::Response& res,
                                    const std::string& token, const FieldErrors& errors) {
    Data data = withToken(formToken(req, res, cookies_));
    data.set("token", token);
    data.set("losenord", input(errors, "losenord", "password", "", "new-password", true));
    data.set("losenord2", input(errors, "losenord2", "password", "", "new-password"));
    return render("reset", data);
}

void AccountPages::badResetToken(http::Response& res, ResetTokenState state) {
    sendPage(res, "Nytt lösenord", render("reset_bad", linkState(state)),
             state == ResetTokenState::Unknown ? 404 : 410);
}

void AccountPages::resetGet(const http::Request& req, http::Response& res) {
    noStore(res);
    const std::string token = req.param("t");
    const auto state = looksLikeToken(token)
                           ? storage_.resetTokenState(tokenDigest(token), unixNow())
                           : ResetTokenState::Unknown;
    if (state != ResetTokenState::Valid) {
        badResetToken(res, state);
        return;
    }
    sendPage(res, "Nytt lösenord", resetForm(req, res, token, {}));
}

void AccountPages::resetPost(const http::Request& req, http::Response& res) {
    noStore(res);
    const std::string token = req.param("t");
    const std::string password = req.param("losenord");
    const std::string title = "Nytt lösenord";
    if (!looksLikeToken(token)) {
        badResetToken(res, ResetTokenState::Unknown);
        return;
    }
    // Cheap checks first: nothing is hashed for a client past its limit or for a link
    // that does not work.
    std::int64_t now = unixNow();
    if (!storage_.admit("new-password-from:" + req.client, settings_.newPasswordsPerClient,
                        now - hourSeconds, now)) {
        sendPage(res, title, render("reset_limit", {}), 429);
        return;
    }
    const std::string digest = tokenDigest(token);
    if (const auto state = storage_.resetTokenState(digest, now); state != ResetTokenState::Valid) {
        badResetToken(res, state);
        return;
    }
    FieldErrors errors;
    if (!acceptablePassword(password)) {
        errors["losenord"] = "Lösenordet ska ha 8 till 16 tecken, sådana som spelet kan skicka.";
    } else if (req.param("losenord2") != password) {
        errors["losenord2"] = "Lösenorden är inte lika.";
    }
    if (!errors.empty()) {
        sendPage(res, title, resetForm(req, res, token, errors), 422);
        return;
    }
    // May throw PasswordQueueFull: answered 503 with Retry-After, the link still unused.
    const std::string hash = passwords_.hash(password);
    now = unixNow();
    const auto memberId = storage_.useResetToken(digest, now);
    if (!memberId) {
        badResetToken(res, storage_.resetTokenState(digest, now));
        return;
    }
    storage_.setPassword(*memberId, hash);
    // The link came by mail: the address is his.
    storage_.confirmMember(*memberId, now);
    storage_.removeSessions(*memberId);
    storage_.clearFailures("account:" + std::to_string(*memberId));
    res.setHeader("Set-Cookie", sessionCookieHeader("", 0, secure_));
    sendPage(res, title, render("reset_done", {}));
}

// --- becoming a member and confirming the address -----------------------------------

void AccountPages::registrationPost(const http::Request& req, http::Response& res) {
    Registration form{trimmed(req.param("epost")),   trimmed(req.param("smeknamn")),
                      req.param("losenord"),         req.param("losenord2"),
                      trimmed(req.param("tipsare")), {}};
    const std::string title = "Bli medlem";
    noStore(res);
    // Every registration hashes a password: a client tries only so many an hour.
    std::int64_t now = unixNow();
    if (!storage_.admit("register-from:" + req.client, settings_.login.registrationsPerClient,
                        now - hourSeconds, now)) {
        sendPage(res, title, render("register_limit", {}), 429);
        return;
    }
    checkRegistration(storage_, form);
    now = unixNow();
    // Mail to one address is bounded, for members and strangers alike.
    if (form.errors.empty() &&
        !storage_.admit("confirm-mail:" + emailKey(form.email), settings_.confirmMailsPerAddress,
                        now - hourSeconds, now)) {
        sendPage(
            res, title,
            registrationForm(form, formToken(req, res, cookies_), RegistrationNotice::TooManyMails),
            429);
        return;
    }
    bool sent = false;
    if (form.errors.empty()) {
        // Hashed for a member's address too, so both answers cost the same. May throw
        // PasswordQueueFull: answered 503 with Retry-After, nothing stored.
        const std::string hash = passwords_.hash(form.password);
        now = unixNow();
        const Joining joining = storage_.join(form.email, form.nickname, hash, now, form.recruiter);
        if (joining.outcome == JoinOutcome::NicknameTaken) {
            // Someone took the nickname between the check and now.
            form.errors["smeknamn"] = "Smeknamnet är upptaget. Välj ett annat.";
        } else if (const auto member = joining.outcome == JoinOutcome::Joined
                                           ? storage_.memberById(joining.memberId)
                                           : storage_.findMember(form.email)) {
            sent = joining.outcome == JoinOutcome::Joined ? sendConfirmLink(*member, now)
                                                          : sendAlreadyMember(*member);
        }
    }
    if (!form.errors.empty()) {
        sendPage(
            res, title,
            registrationForm(form, formToken(req, res, cookies_), RegistrationNotice::Mistakes),
            422);
        return;
    }
    Data data;
    data.set("nickname", form.nickname);
    data.set("sent", sent);
    data.set("email", form.email);
    data.set("hours", std::to_string(settings_.confirmSeconds / 3600));
    sendPage(res, "Välkommen!", render("welcome", data));
}

bool AccountPages::sendConfirmLink(const Member& member, std::int64_t now) {
    const std::string token = randomToken();
    storage_.createConfirmToken(tokenDigest(token), member.id, now + settings_.confirmSeconds, now);
    const std::string hours = std::to_string(settings_.confirmSeconds / 3600);
    return mailer_.send({member.email, "Bekräfta din adress på spelia",
                         "Hej " + member.nickname +
                             "!\n\nVälkommen till spelia. Öppna länken inom " + hours +
                             " timmar och bekräfta att adressen är din:\n\n" + settings_.publicUrl +
                             confirmPage + "?t=" + token +
                             "\n\nFörst då kommer dina poäng med på "
                             "topplistorna och i tävlingarna. Blev du inte medlem själv kan du "
                             "strunta i det här brevet.\n\nspelia\n"});
}

bool AccountPages::sendAlreadyMember(const Member& member) {
    // The account stays as it was; the page said what it says to anyone.
    return mailer_.send({member.email, "Du är redan medlem på spelia",
                         "Hej " + member.nickname +
                             "!\n\nNågon (förhoppningsvis du) försökte just "
                             "bli medlem på spelia med den här adressen, men du är redan "
                             "medlem, med smeknamnet " +
                             member.nickname +
                             ". Ditt konto är oförändrat.\n\nHar du glömt "
                             "ditt lösenord kan du välja ett nytt här:\n\n" +
                             settings_.publicUrl +
                             "/getpass.asp?mail=" + percentEncoded(member.email) +
                             "\n\nVar det inte du kan du strunta i det här brevet.\n\nspelia\n"});
}

void AccountPages::badConfirmToken(http::Response& res, ResetTokenState state) {
    sendPage(res, "Bekräfta din adress", render("confirm_bad", linkState(state)),
             state == ResetTokenState::Unknown ? 404 : 410);
}

void AccountPages::confirmGet(const http::Request& req, http::Response& res) {
    // Only shows the button: opening a link changes nothing (mail scanners open links).
    noStore(res);
    const std::string token = req.param("t");
    const auto state = looksLikeToken(token)
                           ? storage_.confirmTokenState(tokenDigest(token), unixNow())
                           : ResetTokenState::Unknown;
    if (state != ResetTokenState::Valid) {
        badConfirmToken(res, state);
        return;
    }
    Data data = withToken(formToken(req, res, cookies_));
    data.set("token", token);
    sendPage(res, "Bekräfta din adress", render("confirm", data));
}

void AccountPages::confirmPost(const http::Request& req, http::Response& res) {
    noStore(res);
    const std::string token = req.param("t");
    const std::string title = "Bekräfta din adress";
    if (!looksLikeToken(token)) {
        badConfirmToken(res, ResetTokenState::Unknown);
        return;
    }
    const std::int64_t now = unixNow();
    const std::string digest = tokenDigest(token);
    if (!storage_.useConfirmToken(digest, now)) {
        badConfirmToken(res, storage_.confirmTokenState(digest, now));
        return;
    }
    sendPage(res, title, render("confirmed", {}), 200, visitorOf(storage_, req, res, cookies_));
}

void AccountPages::newConfirmLinkPost(const http::Request& req, http::Response& res) {
    const auto visitor = member(req, res, memberPage);
    if (!visitor) {
        return;
    }
    noStore(res);
    const std::string title = "Bekräfta din adress";
    if (visitor->confirmed) {
        res.redirect(memberPage, 303);
        return;
    }
    const std::int64_t now = unixNow();
    if (!storage_.admit("confirm-mail:" + emailKey(visitor->email),
                        settings_.confirmMailsPerAddress, now - hourSeconds, now)) {
        Data data;
        data.set("tooMany", true);
        sendPage(res, title, render("confirm_new", data), 429, *visitor);
        return;
    }
    const auto member = storage_.memberById(visitor->memberId);
    if (!member || !sendConfirmLink(*member, now)) {
        Data data;
        data.set("failed", true);
        sendPage(res, title, render("confirm_new", data), 503, *visitor);
        return;
    }
    Data data;
    data.set("sent", true);
    data.set("email", visitor->email);
    data.set("hours", std::to_string(settings_.confirmSeconds / 3600));
    sendPage(res, title, render("confirm_new", data), 200, *visitor);
}

std::string AccountPages::unconfirmedNotice(const Visitor& visitor) {
    return render("unconfirmed", withToken(visitor.csrf));
}

// --- the member's own pages -----------------------------------------------------------

void AccountPages::ownPage(const http::Request& req, http::Response& res) {
    const auto visitor = member(req, res, memberPage);
    if (!visitor) {
        return;
    }
    noStore(res);
    Data data = withToken(visitor->csrf);
    data.set("unconfirmed", !visitor->confirmed);
    data.set("nickname", visitor->nickname);
    data.set("email", visitor->email);
    data.set("points", std::to_string(bonusRecruits(storage_, visitor->memberId).size()));
    data.set("mail", percentEncoded(visitor->email));
    sendPage(res, "Mitt konto", render("member", data), 200, *visitor);
}

std::string AccountPages::challengeBody(const Visitor& visitor, const std::string& friendAddress,
                                        const FieldErrors& errors, bool sent) {
    Data data = withToken(visitor.csrf);
    data.set("sent", sent);
    data.set("epost", input(errors, "epost", "email", friendAddress, "off"));
    const auto recruits = bonusRecruits(storage_, visitor.memberId);
    List rows;
    for (const Recruit& r : recruits) {
        Data row;
        row.set("nickname", r.nickname);
        row.set("joined", formatDate(localDate(r.joinedAt)));
        rows.push_back(std::move(row));
    }
    data.set("recruits", rows);
    data.set("hasRecruits", !recruits.empty());
    data.set("points", std::to_string(recruits.size()));
    return render("challenge", data);
}

void AccountPages::challengeGet(const http::Request& req, http::Response& res) {
    if (const auto visitor = member(req, res, challengePage)) {
        noStore(res);
        sendPage(res, "Utmana dina vänner",
                 visitor->confirmed ? challengeBody(*visitor, "", {}, false)
                                    : unconfirmedNotice(*visitor),
                 200, *visitor);
    }
}

void AccountPages::challengePost(const http::Request& req, http::Response& res) {
    const auto visitor = member(req, res, challengePage);
    if (!visitor) {
        return;
    }
    noStore(res);
    const std::string title = "Utmana dina vänner";
    if (!visitor->confirmed) {
        sendPage(res, title, unconfirmedNotice(*visitor), 403, *visitor);
        return;
    }
    const std::string address = trimmed(req.param("epost")).substr(0, 254);
    FieldErrors errors;
    int status = 422;
    const std::int64_t now = unixNow();
    const std::string key = "challenge:" + std::to_string(visitor->memberId);
    if (!plausibleAddress(address)) {
        errors["epost"] = "Det ser inte ut som en e-postadress.";
    } else if (emailKey(address) == emailKey(visitor->email)) {
        errors["epost"] = "Du kan inte utmana dig själv.";
    } else if (storage_.failuresSince(key, now - daySeconds) >= settings_.challengesPerDay) {
        errors["epost"] = "Du har skickat " + std::to_string(settings_.challengesPerDay) +
                          " utmaningar det senaste dygnet. Försök igen i morgon.";
        status = 429;
    }
    if (errors.empty()) {
        storage_.recordFailure(key, now);
        const std::string& nick = visitor->nickname;
        // Swedish genitive: "Annas", but "Jonas" stays "Jonas".
        const std::string nicks =
            nick.ends_with('s') || nick.ends_with('x') || nick.ends_with('z') ? nick : nick + "s";
        const bool sent = mailer_.send(
            {address, nick + " utmanar dig på spelia",
             "Hej!\n\n" + nick + " spelar på spelia och utmanar dig: kan du slå " + nicks +
                 " poäng?\n\nBli medlem här, så kommer dina "
                 "poäng med på topplistorna:\n\n" +
                 settings_.publicUrl + "/registrera/?tipsare=" + percentEncoded(visitor->email) +
                 "\n\nBlir du medlem genom länken står " + nick +
                 " som din tipsare.\nDu kan också spela direkt i "
                 "webbläsaren: " +
                 settings_.publicUrl + "/spela/\n\nspelia\n"});
        if (sent) {
            sendPage(res, title, challengeBody(*visitor, "", {}, true), 200, *visitor);
            return;
        }
        errors["epost"] = "Brevet kunde inte skickas just nu. Försök igen senare.";
        status = 503;
    }
    sendPage(res, title, challengeBody(*visitor, address, errors, false), status, *visitor);
}

void AccountPages::add(http::Routes& routes) {
    // The routes share this object and keep it alive as long as the server.
    auto self = shared_from_this();
    for (const char* path :
         {"/logga-in", "/useradm", "/useradm/challenge", "/nytt-losenord", "/bekrafta"}) {
        routes.get(
            path,
            [path](const http::Request& req, http::Response& res) {
                res.redirect(std::string(path) + "/" + req.queryString(), 301);
            },
            http::Runs::AtOnce);
    }
    routes.get("/logga-in/", [self](const http::Request& req, http::Response& res) {
        const Visitor visitor = visitorOf(self->storage_, req, res, self->cookies_);
        const std::string back = localReturnPath(req.param("tillbaka"));
        if (visitor.memberId != 0) {
            res.redirect(back, 303);
            return;
        }
        sendPage(res, "Logga in", self->loginForm(req, res, "", back, ""));
    });
    routes.post("/logga-in/", [self](const http::Request& req, http::Response& res) {
        self->loginPost(req, res);
    });
    routes.post("/logga-ut/", [self](const http::Request& req, http::Response& res) {
        self->logoutPost(req, res);
    });
    routes.get("/getpass.asp", [self](const http::Request& req, http::Response& res) {
        noStore(res);
        const std::string email = trimmed(req.param("mail")).substr(0, 254);
        sendPage(res, "Glömt lösenord", self->getpassForm(req, res, email, {}), 200,
                 visitorOf(self->storage_, req, res, self->cookies_));
    });
    routes.post("/getpass.asp", [self](const http::Request& req, http::Response& res) {
        self->getpassPost(req, res);
    });
    routes.get("/nytt-losenord/",
               [self](const http::Request& req, http::Response& res) { self->resetGet(req, res); });
    routes.post("/nytt-losenord/", [self](const http::Request& req, http::Response& res) {
        self->resetPost(req, res);
    });
    routes.post("/registrera/", [self](const http::Request& req, http::Response& res) {
        self->registrationPost(req, res);
    });
    routes.get(confirmPage, [self](const http::Request& req, http::Response& res) {
        self->confirmGet(req, res);
    });
    routes.post(confirmPage, [self](const http::Request& req, http::Response& res) {
        self->confirmPost(req, res);
    });
    routes.post(newConfirmLinkPath, [self](const http::Request& req, http::Response& res) {
        self->newConfirmLinkPost(req, res);
    });
    routes.get(memberPage,
               [self](const http::Request& req, http::Response& res) { self->ownPage(req, res); });
    routes.get(challengePage, [self](const http::Request& req, http::Response& res) {
        self->challengeGet(req, res);
    });
    routes.post(challengePage, [self](const http::Request& req, http::Response& res) {
        self->challengePost(req, res);
    });
}

} // namespace

std::string sessionCookieHeader(std::string_view token, std::int64_t maxAgeSeconds, bool secure) {
    const Cookies cookies{secure};
    return std::string(cookies.session()) + "=" + std::string(token) +
           "; Max-Age=" + std::to_string(maxAgeSeconds) + "; Path=/; HttpOnly; SameSite=Lax" +
           (secure ? "; Secure" : "");
}

std::string percentEncoded(std::string_view text) {
    return percentEncode(text, [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~';
    });
}

std::string localReturnPath(std::string_view path) {
    const bool local = !path.empty() && path.size() <= 200 && path[0] == '/' &&
                       !path.starts_with("//") &&
                       path.find_first_of("\\\r\n\t ") == std::string_view::npos;
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) {
            return memberPage;
        }
    }
    return local ? std::string(path) : std::string(memberPage);
}

void addAccountPages(http::Routes& routes, Storage& storage, PasswordChecks& passwords,
                     const Mailer& mailer, const AccountSettings& settings) {
    std::make_shared<AccountPages>(storage, passwords, mailer, settings)->add(routes);
}
