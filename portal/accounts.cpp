// The members' pages; see accounts.h.
#include "portal/accounts.h"

#include "net/url.h"
#include "portal/clock.h"
#include "portal/competition.h"
#include "portal/pages.h"
#include "portal/password.h"
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

std::string notice(std::string_view text, bool alert = true) {
    return std::string("<p class=\"notice\"") + (alert ? " role=\"alert\"" : "") + ">" +
           htmlEscape(text) + "</p>\n";
}

class AccountPages : public std::enable_shared_from_this<AccountPages> {
  public:
    AccountPages(Storage& storage, const Mailer& mailer, const AccountSettings& settings)
        : storage_(storage), mailer_(mailer), settings_(settings),
          secure_(settings.publicUrl.starts_with("https://")), cookies_{secure_} {}

    void add(http::Routes& routes);

  private:
    // Log in and out.
    std::string loginForm(const http::Request& req, http::Response& res, const std::string& email,
                          const std::string& back, const std::string& message);
    void loginPost(const http::Request& req, http::Response& res);
    void logoutPost(const http::Request& req, http::Response& res);
    // A forgotten password.
    std::string getpassForm(const http::Request& req, http::Response& res, const std::string& email,
                            const FieldErrors& errors);
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
    std::string unconfirmedNotice(const Visitor& visitor) const;
    // The member's own pages.
    void ownPage(const http::Request& req, http::Response& res);
    std::string challengeBody(const Visitor& visitor, const std::string& friendAddress,
                              const FieldErrors& errors, const std::string& message);
    void challengeGet(const http::Request& req, http::Response& res);
    void challengePost(const http::Request& req, http::Response& res);
    // The visitor when logged in; else a redirect to the login page and back.
    std::optional<Visitor> member(const http::Request& req, http::Response& res, const char* back);

    Storage& storage_;
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

std::string AccountPages::loginForm(const http::Request& req, http::Response& res,
                                    const std::string& email, const std::string& back,
                                    const std::string& message) {
    std::string html = message.empty() ? "" : notice(message);
    html += "<form method=\"post\" action=\"/logga-in/\">\n" +
            hiddenToken(formToken(req, res, cookies_)) +
            "<input type=\"hidden\" name=\"tillbaka\" value=\"" + htmlEscape(back) + "\">\n";
    html += field({}, "epost", "E-postadress", "email", email, nullptr, "username");
    html += field({}, "losenord", "L\xC3\xB6senord", "password", "", nullptr, "current-password");
    html += "<button type=\"submit\">Logga in</button>\n</form>\n"
            "<p><a href=\"/getpass.asp?mail=" +
            htmlEscape(percentEncoded(email)) +
            "\">Gl\xC3\xB6mt l\xC3\xB6senordet?</a> Inget konto? <a href=\"/registrera/\">Bli "
            "medlem</a>.</p>\n";
    return html;
}

void AccountPages::loginPost(const http::Request& req, http::Response& res) {
    const std::string email = trimmed(req.param("epost")).substr(0, 254);
    const std::string back = localReturnPath(req.param("tillbaka"));
    const std::string title = "Logga in";
    const std::int64_t now = unixNow();
    if (!storage_.admit("login-from:" + req.client, settings_.loginsPerClient, now - hourSeconds,
                        now)) {
        sendPage(res, title,
                 loginForm(req, res, email, back,
                           "F\xC3\xB6r m\xC3\xA5nga inloggningar h\xC3\xA4rifr\xC3\xA5n. "
                           "V\xC3\xA4nta en stund och f\xC3\xB6rs\xC3\xB6k igen."),
                 429);
        return;
    }
    // An unknown address is checked like a wrong password, at the same cost.
    const auto check =
        checkLogin(storage_, email, req.param("losenord"), req.client, now, settings_.login, true);
    if (check.outcome == LoginOutcome::Busy) {
        throw PasswordQueueFull(); // answered 503 with Retry-After, as for every page
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
    sendPage(res, title,
             loginForm(req, res, email, back,
                       throttled ? "F\xC3\xB6r m\xC3\xA5nga misslyckade f\xC3\xB6rs\xC3\xB6k. "
                                   "V\xC3\xA4nta en stund (h\xC3\xB6gst 15 minuter) och "
                                   "f\xC3\xB6rs\xC3\xB6k igen."
                                 : "Fel e-postadress eller l\xC3\xB6senord."),
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
                                      const std::string& email, const FieldErrors& errors) {
    return "<p>Skriv e-postadressen som du \xC3\xA4r medlem med. Vi skickar en l\xC3\xA4nk "
           "dit som du v\xC3\xA4ljer ett nytt l\xC3\xB6senord med. L\xC3\xA4nken fungerar en "
           "g\xC3\xA5ng, i en timme.</p>\n<form method=\"post\" action=\"/getpass.asp\">\n" +
           hiddenToken(formToken(req, res, cookies_)) +
           field(errors, "mail", "E-postadress", "email", email, nullptr, "email") +
           "<button type=\"submit\">Skicka l\xC3\xA4nken</button>\n</form>\n";
}

void AccountPages::getpassPost(const http::Request& req, http::Response& res) {
    const std::string email = trimmed(req.param("mail")).substr(0, 254);
    const std::string title = "Gl\xC3\xB6mt l\xC3\xB6senord";
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
        sendPage(res, title,
                 notice("Det har beg\xC3\xA4rts m\xC3\xA5nga l\xC3\xA4nkar p\xC3\xA5 kort tid. "
                        "V\xC3\xA4nta en timme och f\xC3\xB6rs\xC3\xB6k igen.") +
                     getpassForm(req, res, email, {}),
                 429);
        return;
    }
    // A stranger's address gets a note instead, so that both answers cost the same.
    if (const auto member = storage_.findMember(email)) {
        sendResetLink(*member);
    } else {
        mailer_.send({email, "Nytt l\xC3\xB6senord till spelia",
                      "Hej!\n\nN\xC3\xA5gon (f\xC3\xB6rhoppningsvis du) bad om ett nytt "
                      "l\xC3\xB6senord p\xC3\xA5 spelia f\xC3\xB6r den h\xC3\xA4r "
                      "adressen, men ingen medlem har den. Har du kanske blivit medlem med en "
                      "annan adress? Vill du bli medlem g\xC3\xA5r det h\xC3\xA4r:\n\n" +
                          settings_.publicUrl +
                          "/registrera/\n\nBad du inte om n\xC3\xA5got kan du strunta i det "
                          "h\xC3\xA4r brevet.\n\nspelia\n"});
    }
    sendPage(res, title,
             notice("Om adressen h\xC3\xB6r till en medlem har vi nu skickat en l\xC3\xA4nk dit. "
                    "Den fungerar i en timme. Titta i din inkorg (och skr\xC3\xA4ppost).",
                    false) +
                 "<p><a href=\"/logga-in/\">Till inloggningen</a></p>\n");
}

void AccountPages::sendResetLink(const Member& member) {
    const std::int64_t now = unixNow();
    const std::string token = randomToken();
    storage_.createResetToken(tokenDigest(token), member.id, now + settings_.resetSeconds, now);
    const std::string minutes = std::to_string(settings_.resetSeconds / 60);
    // A failed send is the operator's to see in the log; the page must not tell a stranger
    // that this address is a member's.
    mailer_.send(
        {member.email, "Nytt l\xC3\xB6senord till spelia",
         "Hej " + member.nickname +
             "!\n\nN\xC3\xA5gon (f\xC3\xB6rhoppningsvis du) bad om ett nytt l\xC3\xB6senord "
             "till ditt konto p\xC3\xA5 spelia. \xC3\x96ppna l\xC3\xA4nken inom " +
             minutes + " minuter och v\xC3\xA4lj ett nytt l\xC3\xB6senord:\n\n" +
             settings_.publicUrl + "/nytt-losenord/?t=" + token +
             "\n\nL\xC3\xA4nken fungerar en g\xC3\xA5ng. Bad du inte om ett nytt "
             "l\xC3\xB6senord kan du strunta i det h\xC3\xA4r brevet; ditt l\xC3\xB6senord "
             "\xC3\xA4r of\xC3\xB6r\xC3\xA4ndrat.\n\nspelia\n"});
}

std::string AccountPages::resetForm(const http::Request& req, http::Response& res,
                                    const std::string& token, const FieldErrors& errors) {
    return "<form method=\"post\" action=\"/nytt-losenord/\">\n" +
           hiddenToken(formToken(req, res, cookies_)) +
           "<input type=\"hidden\" name=\"t\" value=\"" + htmlEscape(token) + "\">\n" +
           field(errors, "losenord", "Nytt l\xC3\xB6senord", "password", "",
                 "8 till 16 tecken, s\xC3\xA5"
                 "dana som spelet kan skicka.",
                 "new-password") +
           field(errors, "losenord2", "L\xC3\xB6senordet igen", "password", "", nullptr,
                 "new-password") +
           "<button type=\"submit\">Byt l\xC3\xB6senord</button>\n</form>\n";
}

void AccountPages::badResetToken(http::Response& res, ResetTokenState state) {
    const char* text =
        state == ResetTokenState::Used
            ? "L\xC3\xA4nken \xC3\xA4r redan anv\xC3\xA4nd. Varje l\xC3\xA4nk fungerar bara "
              "en g\xC3\xA5ng."
        : state == ResetTokenState::Expired
            ? "L\xC3\xA4nken har g\xC3\xA5tt ut. Den fungerar bara en begr\xC3\xA4nsad tid."
            : "L\xC3\xA4nken \xC3\xA4r ok\xC3\xA4nd. Kontrollera att hela l\xC3\xA4nken "
              "kom med fr\xC3\xA5n brevet.";
    sendPage(res, "Nytt l\xC3\xB6senord",
             notice(text) + "<p><a class=\"button\" href=\"/getpass.asp\">Be om en ny "
                            "l\xC3\xA4nk</a></p>\n",
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
    sendPage(res, "Nytt l\xC3\xB6senord", resetForm(req, res, token, {}));
}

void AccountPages::resetPost(const http::Request& req, http::Response& res) {
    noStore(res);
    const std::string token = req.param("t");
    const std::string password = req.param("losenord");
    const std::string title = "Nytt l\xC3\xB6senord";
    if (!looksLikeToken(token)) {
        badResetToken(res, ResetTokenState::Unknown);
        return;
    }
    // Cheap checks first: nothing is hashed for a client past its limit or for a link
    // that does not work.
    std::int64_t now = unixNow();
    if (!storage_.admit("new-password-from:" + req.client, settings_.newPasswordsPerClient,
                        now - hourSeconds, now)) {
        sendPage(res, title,
                 notice("F\xC3\xB6r m\xC3\xA5nga f\xC3\xB6rs\xC3\xB6k h\xC3\xA4rifr\xC3\xA5n. "
                        "V\xC3\xA4nta en timme och f\xC3\xB6rs\xC3\xB6k igen."),
                 429);
        return;
    }
    const std::string digest = tokenDigest(token);
    if (const auto state = storage_.resetTokenState(digest, now); state != ResetTokenState::Valid) {
        badResetToken(res, state);
        return;
    }
    FieldErrors errors;
    if (!acceptablePassword(password)) {
        errors["losenord"] = "L\xC3\xB6senordet ska ha 8 till 16 tecken, s\xC3\xA5"
                             "dana som spelet kan skicka.";
    } else if (req.param("losenord2") != password) {
        errors["losenord2"] = "L\xC3\xB6senorden \xC3\xA4r inte lika.";
    }
    if (!errors.empty()) {
        sendPage(res, title, resetForm(req, res, token, errors), 422);
        return;
    }
    // May throw PasswordQueueFull: answered 503 with Retry-After, the link still unused.
    const std::string hash = hashPassword(password);
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
    sendPage(res, title,
             notice("Ditt l\xC3\xB6senord \xC3\xA4r bytt. Anv\xC3\xA4nd det n\xC3\xA4r du "
                    "loggar in och n\xC3\xA4r du skickar po\xC3\xA4ng fr\xC3\xA5n spelet.",
                    false) +
                 "<p><a class=\"button\" href=\"/logga-in/\">Logga in</a></p>\n");
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
        sendPage(res, title,
                 notice("F\xC3\xB6r m\xC3\xA5nga registreringar h\xC3\xA4rifr\xC3\xA5n. "
                        "V\xC3\xA4nta en timme och f\xC3\xB6rs\xC3\xB6k igen."),
                 429);
        return;
    }
    checkRegistration(storage_, form);
    now = unixNow();
    // Mail to one address is bounded, for members and strangers alike.
    if (form.errors.empty() &&
        !storage_.admit("confirm-mail:" + emailKey(form.email), settings_.confirmMailsPerAddress,
                        now - hourSeconds, now)) {
        sendPage(res, title,
                 registrationForm(form, formToken(req, res, cookies_),
                                  "Vi har redan skickat flera brev till den adressen nyss. Titta "
                                  "i inkorgen (och skr\xC3\xA4ppost), eller v\xC3\xA4nta en "
                                  "timme och f\xC3\xB6rs\xC3\xB6k igen."),
                 429);
        return;
    }
    bool sent = false;
    if (form.errors.empty()) {
        // Hashed for a member's address too, so both answers cost the same. May throw
        // PasswordQueueFull: answered 503 with Retry-After, nothing stored.
        const std::string hash = hashPassword(form.password);
        now = unixNow();
        const Joining joining = storage_.join(form.email, form.nickname, hash, now, form.recruiter);
        if (joining.outcome == JoinOutcome::NicknameTaken) {
            // Someone took the nickname between the check and now.
            form.errors["smeknamn"] = "Smeknamnet \xC3\xA4r upptaget. V\xC3\xA4lj ett annat.";
        } else if (const auto member = joining.outcome == JoinOutcome::Joined
                                           ? storage_.memberById(joining.memberId)
                                           : storage_.findMember(form.email)) {
            sent = joining.outcome == JoinOutcome::Joined ? sendConfirmLink(*member, now)
                                                          : sendAlreadyMember(*member);
        }
    }
    if (!form.errors.empty()) {
        sendPage(res, title,
                 registrationForm(form, formToken(req, res, cookies_),
                                  "N\xC3\xA5got beh\xC3\xB6ver r\xC3\xA4ttas, se nedan."),
                 422);
        return;
    }
    const std::string hours = std::to_string(settings_.confirmSeconds / 3600);
    sendPage(res, "V\xC3\xA4lkommen!",
             "<p>V\xC3\xA4lkommen till spelia, <strong>" + htmlEscape(form.nickname) +
                 "</strong>!</p>\n" +
                 (sent ? notice("Vi har skickat ett brev till " + form.email +
                                    ". \xC3\x96ppna l\xC3\xA4nken i brevet inom " + hours +
                                    " timmar f\xC3\xB6r att bekr\xC3\xA4"
                                    "fta din "
                                    "e-postadress. Titta i inkorgen (och skr\xC3\xA4ppost).",
                                false)
                       : notice("Brevet kunde inte skickas just nu. Logga in om en stund och be "
                                "om en ny l\xC3\xA4nk p\xC3\xA5 din sida.")) +
                 "<p>Tills adressen \xC3\xA4r bekr\xC3\xA4"
                 "ftad sparas dina po\xC3\xA4ng, "
                 "men de kommer med p\xC3\xA5 topplistorna f\xC3\xB6rst n\xC3\xA4r du har "
                 "bekr\xC3\xA4"
                 "ftat den.</p>\n"
                 "<p>I spelet skickar du dina po\xC3\xA4ng med din e-postadress och ditt "
                 "l\xC3\xB6senord. Lycka till!</p>\n"
                 "<p><a class=\"button\" href=\"/logga-in/\">Logga in</a></p>\n");
}

bool AccountPages::sendConfirmLink(const Member& member, std::int64_t now) {
    const std::string token = randomToken();
    storage_.createConfirmToken(tokenDigest(token), member.id, now + settings_.confirmSeconds, now);
    const std::string hours = std::to_string(settings_.confirmSeconds / 3600);
    return mailer_.send(
        {member.email,
         "Bekr\xC3\xA4"
         "fta din adress p\xC3\xA5 spelia",
         "Hej " + member.nickname +
             "!\n\nV\xC3\xA4lkommen till spelia. \xC3\x96ppna l\xC3\xA4nken inom " + hours +
             " timmar och bekr\xC3\xA4"
             "fta att adressen \xC3\xA4r din:\n\n" +
             settings_.publicUrl + confirmPage + "?t=" + token +
             "\n\nF\xC3\xB6rst d\xC3\xA5 kommer dina po\xC3\xA4ng med p\xC3\xA5 "
             "topplistorna och i t\xC3\xA4vlingarna. Blev du inte medlem sj\xC3\xA4lv kan du "
             "strunta i det h\xC3\xA4r brevet.\n\nspelia\n"});
}

bool AccountPages::sendAlreadyMember(const Member& member) {
    // The account stays as it was; the page said what it says to anyone.
    return mailer_.send(
        {member.email, "Du \xC3\xA4r redan medlem p\xC3\xA5 spelia",
         "Hej " + member.nickname +
             "!\n\nN\xC3\xA5gon (f\xC3\xB6rhoppningsvis du) f\xC3\xB6rs\xC3\xB6kte just "
             "bli medlem p\xC3\xA5 spelia med den h\xC3\xA4r adressen, men du \xC3\xA4r redan "
             "medlem, med smeknamnet " +
             member.nickname +
             ". Ditt konto \xC3\xA4r of\xC3\xB6r\xC3\xA4ndrat.\n\nHar du gl\xC3\xB6mt "
             "ditt l\xC3\xB6senord kan du v\xC3\xA4lja ett nytt h\xC3\xA4r:\n\n" +
             settings_.publicUrl + "/getpass.asp?mail=" + percentEncoded(member.email) +
             "\n\nVar det inte du kan du strunta i det h\xC3\xA4r brevet.\n\nspelia\n"});
}

void AccountPages::badConfirmToken(http::Response& res, ResetTokenState state) {
    const char* text =
        state == ResetTokenState::Used
            ? "L\xC3\xA4nken \xC3\xA4r redan anv\xC3\xA4nd: adressen \xC3\xA4r "
              "bekr\xC3\xA4"
              "ftad."
        : state == ResetTokenState::Expired
            ? "L\xC3\xA4nken har g\xC3\xA5tt ut. Logga in och be om en ny l\xC3\xA4nk "
              "p\xC3\xA5 din sida."
            : "L\xC3\xA4nken \xC3\xA4r ok\xC3\xA4nd. Kontrollera att hela l\xC3\xA4nken "
              "kom med fr\xC3\xA5n brevet, eller logga in och be om en ny p\xC3\xA5 din sida.";
    sendPage(res,
             "Bekr\xC3\xA4"
             "fta din adress",
             notice(text) + "<p><a class=\"button\" href=\"/logga-in/\">Logga in</a></p>\n",
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
    sendPage(res,
             "Bekr\xC3\xA4"
             "fta din adress",
             "<p>Tryck p\xC3\xA5 knappen f\xC3\xB6r att bekr\xC3\xA4"
             "fta att "
             "e-postadressen \xC3\xA4r din. Sedan kommer dina po\xC3\xA4ng med p\xC3\xA5 "
             "topplistorna.</p>\n<form method=\"post\" action=\"/bekrafta/\">\n" +
                 hiddenToken(formToken(req, res, cookies_)) +
                 "<input type=\"hidden\" name=\"t\" value=\"" + htmlEscape(token) +
                 "\">\n<button type=\"submit\">Bekr\xC3\xA4"
                 "fta adressen</button>\n</form>\n");
}

void AccountPages::confirmPost(const http::Request& req, http::Response& res) {
    noStore(res);
    const std::string token = req.param("t");
    const std::string title = "Bekr\xC3\xA4"
                              "fta din adress";
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
    sendPage(res, title,
             notice("Tack! Din e-postadress \xC3\xA4r bekr\xC3\xA4"
                    "ftad. Nu kommer dina "
                    "po\xC3\xA4ng med p\xC3\xA5 topplistorna, och du kan utmana dina "
                    "v\xC3\xA4nner.",
                    false) +
                 "<p><a class=\"button\" href=\"/\">Till topplistorna</a></p>\n",
             200, visitorOf(storage_, req, res, cookies_));
}

void AccountPages::newConfirmLinkPost(const http::Request& req, http::Response& res) {
    const auto visitor = member(req, res, memberPage);
    if (!visitor) {
        return;
    }
    noStore(res);
    const std::string title = "Bekr\xC3\xA4"
                              "fta din adress";
    if (visitor->confirmed) {
        res.redirect(memberPage, 303);
        return;
    }
    const std::int64_t now = unixNow();
    if (!storage_.admit("confirm-mail:" + emailKey(visitor->email),
                        settings_.confirmMailsPerAddress, now - hourSeconds, now)) {
        sendPage(res, title,
                 notice("Vi har redan skickat flera brev till din adress nyss. Titta i inkorgen "
                        "(och skr\xC3\xA4ppost), eller v\xC3\xA4nta en timme och "
                        "f\xC3\xB6rs\xC3\xB6k igen."),
                 429, *visitor);
        return;
    }
    const auto member = storage_.memberById(visitor->memberId);
    if (!member || !sendConfirmLink(*member, now)) {
        sendPage(res, title,
                 notice("Brevet kunde inte skickas just nu. F\xC3\xB6rs\xC3\xB6k igen "
                        "senare."),
                 503, *visitor);
        return;
    }
    sendPage(res, title,
             notice("Vi har skickat en ny l\xC3\xA4nk till " + visitor->email +
                        ". Den fungerar i " + std::to_string(settings_.confirmSeconds / 3600) +
                        " timmar.",
                    false) +
                 "<p><a href=\"/useradm/\">Till ditt konto</a></p>\n",
             200, *visitor);
}

std::string AccountPages::unconfirmedNotice(const Visitor& visitor) const {
    if (visitor.confirmed) {
        return "";
    }
    return "<section class=\"notice\">\n<h2>Bekr\xC3\xA4"
           "fta din e-postadress</h2>\n"
           "<p>Din adress \xC3\xA4r inte bekr\xC3\xA4"
           "ftad \xC3\xA4n. Tills du har "
           "\xC3\xB6ppnat l\xC3\xA4nken i brevet vi skickade sparas dina po\xC3\xA4ng men "
           "kommer inte med p\xC3\xA5 topplistorna, du kan inte utmana v\xC3\xA4nner och du "
           "r\xC3\xA4knas inte som n\xC3\xA5gons rekryt.</p>\n"
           "<form method=\"post\" action=\"/bekrafta/ny/\">\n" +
           hiddenToken(visitor.csrf) +
           "<button type=\"submit\">Skicka en ny l\xC3\xA4nk</button>\n</form>\n</section>\n";
}

// --- the member's own pages -----------------------------------------------------------

void AccountPages::ownPage(const http::Request& req, http::Response& res) {
    const auto visitor = member(req, res, memberPage);
    if (!visitor) {
        return;
    }
    noStore(res);
    const std::size_t points = bonusRecruits(storage_, visitor->memberId).size();
    sendPage(res, "Mitt konto",
             unconfirmedNotice(*visitor) + "<table>\n<tr><th>Smeknamn</th><td>" +
                 htmlEscape(visitor->nickname) + "</td></tr>\n<tr><th>E-postadress</th><td>" +
                 htmlEscape(visitor->email) + "</td></tr>\n<tr><th>Bonuspo\xC3\xA4ng</th><td>" +
                 std::to_string(points) +
                 "</td></tr>\n</table>\n<p class=\"hint\">Din e-postadress syns bara "
                 "h\xC3\xA4r, f\xC3\xB6r dig.</p>\n"
                 "<p><a class=\"button\" href=\"/useradm/challenge/\">Utmana en "
                 "v\xC3\xA4n</a></p>\n<p><a href=\"/getpass.asp?mail=" +
                 htmlEscape(percentEncoded(visitor->email)) + "\">Byt l\xC3\xB6senord</a></p>\n",
             200, *visitor);
}

std::string AccountPages::challengeBody(const Visitor& visitor, const std::string& friendAddress,
                                        const FieldErrors& errors, const std::string& message) {
    std::string html =
        "<p>Utmana en v\xC3\xA4n att sl\xC3\xA5 dina po\xC3\xA4ng! Din v\xC3\xA4n f\xC3\xA5r "
        "ett brev med en l\xC3\xA4nk till spelia. Blir v\xC3\xA4nnen medlem genom "
        "l\xC3\xA4nken st\xC3\xA5r du som tipsare och f\xC3\xA5r en bonuspo\xC3\xA4ng.</p>\n";
    if (!message.empty()) {
        html += notice(message, false);
    }
    html += "<form method=\"post\" action=\"/useradm/challenge/\">\n" + hiddenToken(visitor.csrf) +
            field(errors, "epost", "V\xC3\xA4nnens e-postadress", "email", friendAddress, nullptr,
                  "off") +
            "<button type=\"submit\">Skicka utmaningen</button>\n</form>\n";
    const auto recruits = bonusRecruits(storage_, visitor.memberId);
    html += "<h2>Dina rekryter</h2>\n";
    if (recruits.empty()) {
        html += "<p>Ingen har blivit medlem med dig som tipsare \xC3\xA4nnu.</p>\n";
    } else {
        html += "<table>\n<tr><th>Smeknamn</th><th>Medlem sedan</th></tr>\n";
        for (const Recruit& r : recruits) {
            html += "<tr><td>" + htmlEscape(r.nickname) + "</td><td>" +
                    formatDate(localDate(r.joinedAt)) + "</td></tr>\n";
        }
        html += "</table>\n";
    }
    html += "<p><strong>Dina bonuspo\xC3\xA4ng: " + std::to_string(recruits.size()) +
            "</strong> (en f\xC3\xB6r varje rekryt).</p>\n";
    return html;
}

void AccountPages::challengeGet(const http::Request& req, http::Response& res) {
    if (const auto visitor = member(req, res, challengePage)) {
        noStore(res);
        sendPage(res, "Utmana dina v\xC3\xA4nner",
                 visitor->confirmed ? challengeBody(*visitor, "", {}, "")
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
    const std::string title = "Utmana dina v\xC3\xA4nner";
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
        errors["epost"] = "Du kan inte utmana dig sj\xC3\xA4lv.";
    } else if (storage_.failuresSince(key, now - daySeconds) >= settings_.challengesPerDay) {
        errors["epost"] = "Du har skickat " + std::to_string(settings_.challengesPerDay) +
                          " utmaningar det senaste dygnet. F\xC3\xB6rs\xC3\xB6k igen i morgon.";
        status = 429;
    }
    if (errors.empty()) {
        storage_.recordFailure(key, now);
        const std::string& nick = visitor->nickname;
        // Swedish genitive: "Annas", but "Jonas" stays "Jonas".
        const std::string nicks =
            nick.ends_with('s') || nick.ends_with('x') || nick.ends_with('z') ? nick : nick + "s";
        const bool sent = mailer_.send(
            {address, nick + " utmanar dig p\xC3\xA5 spelia",
             "Hej!\n\n" + nick + " spelar p\xC3\xA5 spelia och utmanar dig: kan du sl\xC3\xA5 " +
                 nicks +
                 " po\xC3\xA4ng?\n\nBli medlem h\xC3\xA4r, s\xC3\xA5 kommer dina "
                 "po\xC3\xA4ng med p\xC3\xA5 topplistorna:\n\n" +
                 settings_.publicUrl + "/registrera/?tipsare=" + percentEncoded(visitor->email) +
                 "\n\nBlir du medlem genom l\xC3\xA4nken st\xC3\xA5r " + nick +
                 " som din tipsare.\nDu kan ocks\xC3\xA5 spela direkt i "
                 "webbl\xC3\xA4saren: " +
                 settings_.publicUrl + "/spela/\n\nspelia\n"});
        if (sent) {
            sendPage(res, title, challengeBody(*visitor, "", {}, "Utmaningen \xC3\xA4r skickad!"),
                     200, *visitor);
            return;
        }
        errors["epost"] = "Brevet kunde inte skickas just nu. F\xC3\xB6rs\xC3\xB6k igen senare.";
        status = 503;
    }
    sendPage(res, title, challengeBody(*visitor, address, errors, ""), status, *visitor);
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
        sendPage(res, "Gl\xC3\xB6mt l\xC3\xB6senord", self->getpassForm(req, res, email, {}), 200,
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

void addAccountPages(http::Routes& routes, Storage& storage, const Mailer& mailer,
                     const AccountSettings& settings) {
    std::make_shared<AccountPages>(storage, mailer, settings)->add(routes);
}
