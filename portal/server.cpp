// The portal's HTTP server; see server.h.
#include "portal/server.h"

#include "net/highscore_submission.h"
#include "portal/clock.h"
#include "portal/competition.h"
#include "portal/pages.h"
#include "portal/password.h"
#include "portal/site.h"
#include "portal/text.h"

#include <algorithm>
#include <chrono>
#include <iostream>

namespace {

constexpr std::size_t requestBodyLimit = 16 * 1024;
constexpr const char* latin1Text = "text/plain; charset=ISO-8859-1";
constexpr const char* pagePolicy = "default-src 'none'; style-src 'self'; img-src 'self'; "
                                   "form-action 'self'; base-uri 'none'; frame-ancestors 'none'";
// What a page refused for a full password queue asks the browser to wait.
constexpr int busyRetrySeconds = 5;

const char* const monthNames[] = {"januari",   "februari", "mars",     "april",
                                  "maj",       "juni",     "juli",     "augusti",
                                  "september", "oktober",  "november", "december"};
const char* const weekdayNames[] = {"m\xC3\xA5ndag", "tisdag",        "onsdag",       "torsdag",
                                    "fredag",        "l\xC3\xB6rdag", "s\xC3\xB6ndag"};

// "8 december 2026", or "8 december" without the year.
std::string spokenDate(LocalDate d, bool withYear = true) {
    std::string text = std::to_string(d.day) + " " + monthNames[d.month - 1];
    return withYear ? text + " " + std::to_string(d.year) : text;
}

std::string localClock(std::int64_t at) {
    return localTimestamp(at).substr(11, 5);
}

std::string listDate(std::int64_t at) {
    return formatDate(localDate(at));
}

// A top list; `when` writes each score's time.
std::string topList(const std::vector<ListedScore>& scores, const std::string& caption,
                    const char* timeHeading, std::string (*when)(std::int64_t)) {
    std::string rows;
    int place = 0;
    for (const auto& entry : scores) {
        // A proven score is marked and can be watched in the browser version.
        const std::string game =
            entry.proven ? "<span class=\"proven\" role=\"img\" aria-label=\"bevisad\" "
                           "title=\"Bevisad: portalen har spelat upp spelet och f\xC3\xA5tt "
                           "samma po\xC3\xA4ng\">\xE2\x9C\x93</span> <a href=\"/spela/?spel=" +
                               std::to_string(entry.id) + "\">Se spelet</a>"
                         : "<span class=\"unproven\">ej bevisad</span>";
        rows += "<tr><td>" + std::to_string(++place) + "</td><td>" + htmlEscape(entry.nickname) +
                "</td><td>" + std::to_string(entry.score) + "</td><td>" + when(entry.at) +
                "</td><td>" + game + "</td></tr>\n";
    }
    if (rows.empty()) {
        rows = "<tr><td colspan=\"5\">Inga po\xC3\xA4ng \xC3\xA4nnu.</td></tr>\n";
    }
    return "<table class=\"toplist\">\n<caption>" + caption +
           "</caption>\n<tr><th>Plats</th><th>Smeknamn</th><th>" + "Po\xC3\xA4ng</th><th>" +
           timeHeading + "</th><th>Spelet</th></tr>\n" + rows + "</table>\n";
}

std::string competitionSection(const CompetitionSettings& settings, std::int64_t now) {
    std::string status;
    if (!settings.period) {
        status =
            "<p>Just nu p\xC3\xA5g\xC3\xA5r ingen t\xC3\xA4vling. Topplistorna r\xC3\xA4knas "
            "\xC3\xA4nd\xC3\xA5, och n\xC3\xA4sta t\xC3\xA4vlingsperiod visas h\xC3\xA4r.</p>\n";
    } else {
        const CompetitionPeriod& p = *settings.period;
        const TimeSpan span = p.span();
        const std::string state = now < span.from    ? "B\xC3\xB6rjar snart."
                                  : now < span.until ? "P\xC3\xA5g\xC3\xA5r nu."
                                                     : "Avslutad: vinnarna utses och meddelas.";
        status = "<p>T\xC3\xA4vlingsperiod: <strong>" +
                 spokenDate(p.first, p.first.year != p.last.year) + " \xE2\x80\x93 " +
                 spokenDate(p.last) + "</strong>. " + state + "</p>\n";
    }
    return "<section class=\"notice\">\n<h2>T\xC3\xA4vlingen</h2>\n" + status +
           "<ul>\n<li><strong>Dagst\xC3\xA4vlingen:</strong> dagens h\xC3\xB6gsta po\xC3\xA4ng "
           "vinner, varje dag under perioden.</li>\n"
           "<li><strong>Veckot\xC3\xA4vlingen:</strong> veckans h\xC3\xB6gsta po\xC3\xA4ng "
           "vinner, varje vecka (m\xC3\xA5ndag till s\xC3\xB6ndag).</li>\n"
           "<li><strong>Bonust\xC3\xA4vlingen:</strong> en po\xC3\xA4ng f\xC3\xB6r varje "
           "v\xC3\xA4n som blir medlem och anger din e-postadress som tipsare. Flest "
           "po\xC3\xA4ng under perioden vinner. <a href=\"/useradm/challenge/\">Utmana dina "
           "v\xC3\xA4nner</a>.</li>\n</ul>\n"
           "<p class=\"hint\">Bara godk\xC3\xA4nda po\xC3\xA4ng som medlemmar skickat fr\xC3\xA5n "
           "spelet r\xC3\xA4knas: spelet skickar med hela omg\xC3\xA5ngen, och bara po\xC3\xA4ng "
           "som portalen kunnat spela upp och f\xC3\xA5tt samma resultat r\xC3\xA4knas. "
           "Ett spel r\xC3\xA4knas bara f\xC3\xB6r den som skickade det f\xC3\xB6rst. Vid lika "
           "po\xC3\xA4ng vinner den som skickade "
           "f\xC3\xB6rst. Dagar och veckor r\xC3\xA4knas i tidszonen " +
           htmlEscape(settings.timeZone) +
           ". Vinnarna utses n\xC3\xA4r perioden \xC3\xA4r slut.</p>\n</section>\n";
}

// What every reply carries, whatever answered it (a page, a file, an error, a refusal):
// no framing by other sites, no guessing of types, no full address sent on to other
// sites, and a Content-Security-Policy (a handler may have set a wider one, as the game's
// folder does). A page loads only the portal's style sheet: no script, no inline style.
void securityHeaders(http::Response& res) {
    if (!res.hasHeader("Content-Security-Policy")) {
        res.setHeader("Content-Security-Policy", pagePolicy);
    }
    if (!res.hasHeader("Referrer-Policy")) {
        res.setHeader("Referrer-Policy", "same-origin");
    }
    res.replaceHeader("X-Frame-Options", "DENY");
    if (!res.hasHeader("X-Content-Type-Options")) {
        res.setHeader("X-Content-Type-Options", "nosniff");
    }
}

} // namespace

std::string homePage(Storage& storage, std::int64_t now, const Visitor& visitor) {
    static const std::string strangerLine =
        "<p>Inget konto? <a href=\"/registrera/\">Bli medlem</a> och skicka dina "
        "po\xC3\xA4ng till topplistan. <a href=\"/dll/\">Vad spelet beh\xC3\xB6ver</a> "
        "f\xC3\xB6r att skicka po\xC3\xA4ng. <a href=\"/getpass.asp\">Gl\xC3\xB6mt "
        "l\xC3\xB6senordet?</a></p>\n";
    static const std::string memberLine =
        "<p><a href=\"/useradm/challenge/\">Utmana dina v\xC3\xA4nner</a> och samla "
        "bonuspo\xC3\xA4ng. <a href=\"/dll/\">Vad spelet beh\xC3\xB6ver</a> "
        "f\xC3\xB6r att skicka po\xC3\xA4ng.</p>\n";
    CompetitionSettings settings = loadCompetitionSettings(storage);
    // Days and weeks are counted in the zone this process runs in (set at its start).
    if (const std::string zone = activeTimeZone(); !zone.empty()) {
        settings.timeZone = zone;
    }
    const TimeSpan day = dayAround(now), week = weekAround(now);
    const LocalDate today = localDate(now), monday = localDate(week.from);
    const std::string dayCaption =
        weekdayNames[isoWeekday(today) - 1] + std::string(" ") + spokenDate(today, false);
    const std::string weekCaption = "vecka " + isoWeekName(monday).substr(6) + ", " +
                                    spokenDate(monday, false) + " \xE2\x80\x93 " +
                                    spokenDate(addDays(monday, 6), false);
    return pageFrame(
        "Topplistor och t\xC3\xA4vlingar",
        "<p><a class=\"button\" href=\"/spela/\">Spela i webbl\xC3\xA4saren</a></p>\n" +
            (visitor.memberId != 0 ? memberLine : strangerLine) +
            competitionSection(settings, now) + "<h2>Dagens topplista</h2>\n" +
            topList(storage.topScores(day.from, day.until, 10), dayCaption, "Tid", localClock) +
            "<h2>Veckans topplista</h2>\n" +
            topList(storage.topScores(week.from, week.until, 10), weekCaption, "Datum", listDate) +
            "<h2>Topplistan, alla tider</h2>\n" +
            topList(storage.topScores(0, 10), "sedan starten", "Datum", listDate),
        visitor);
}

PortalServer::PortalServer(Storage& storage, ThrottleRules rules, HttpLimits limits)
    : storage_(storage), rules_(rules), http_(std::make_unique<HttpServer>(limits)) {
    scoring_.resources = &resources_;
    auto& routes = http_->routes();
    // The game's endpoint: the member's password in the body is its authentication, and a
    // highscore may carry a replay of up to replay::maxBytes.
    routes.postOpen(std::string(highscoreObject), "the game's own form, with the password",
                    submissionBodyLimit, [this](const http::Request& req, http::Response& res) {
                        const auto reply =
                            answerSubmission(storage_, req.body, req.header("Content-Type"),
                                             req.client, unixNow(), rules_, scoring_);
                        res.status = reply.status;
                        res.setContent(reply.text, latin1Text);
                    });
    routes.get("/", [this](const http::Request& req, http::Response& res) {
        res.setHeader("Cache-Control", "no-cache");
        res.setContent(homePage(storage_, unixNow(), web::visitorOf(storage_, req, res, cookies_)),
                       "text/html; charset=utf-8");
    });
    // A proven score's replay, for the browser version to play back. Only decimal ids.
    routes.getPrefix("/spel/", [this](const http::Request& req, http::Response& res) {
        const std::string& id = req.rest;
        const bool decimal =
            !id.empty() && id.size() <= 18 &&
            std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
        const auto stored = decimal ? storage_.replayOf(std::stoll(id)) : std::nullopt;
        if (!stored || !stored->proven || stored->replay.empty()) {
            res.status = 404;
            res.setContent("404 Inget s\xE5"
                           "dant spel",
                           latin1Text);
            return;
        }
        res.setHeader("Cache-Control", "public, max-age=86400");
        res.setContent(stored->replay, "application/octet-stream");
    });
    addPages(routes, storage_, cookies_);
    routes.formGuard = [this](const http::Request& req, http::Response& res) {
        return web::formGuard(req, res, cookies_);
    };
    // Every refusal carries a short text; none begins with 0 or 1, which the game would
    // take as accepted. A body too large for the endpoint is a bad submission like any.
    http_->finish = [](const http::Request& req, http::Response& res) {
        if (req.path == highscoreObject && res.status == 413) {
            res.status = 400;
        }
        if (res.status >= 400 && res.bodySize() == 0) {
            res.setContent(std::to_string(res.status) + " Fel", latin1Text);
        }
        securityHeaders(res);
    };
    http_->failed = [](const http::Request&, http::Response& res, std::exception_ptr ep) {
        try {
            std::rethrow_exception(ep);
        } catch (const PasswordQueueFull&) {
            // Too many are checking or choosing passwords just now: a page that would
            // hash one asks to be tried again shortly.
            res.setHeader("Retry-After", std::to_string(busyRetrySeconds));
            web::sendPage(res, "Upptaget",
                          "<p class=\"notice\" role=\"alert\">Portalen \xC3\xA4r "
                          "upptagen just nu. F\xC3\xB6rs\xC3\xB6k igen om en "
                          "stund.</p>\n",
                          503);
            return;
        } catch (const std::exception& e) {
            std::cerr << "pingel-portal: " << e.what() << '\n';
        } catch (...) {
        }
        res.status = 503;
        res.setContent("503 Tillf\xE4lligt fel, f\xF6rs\xF6k igen senare", latin1Text);
    };
}

PortalServer::~PortalServer() = default;

bool PortalServer::bind(const std::string& host, int port) {
    return http_->open(host, port);
}

int PortalServer::port() const {
    return http_->port();
}

void PortalServer::trustProxy(const std::string& proxy) {
    http_->trustProxy(proxy);
}

void PortalServer::serveSite(const std::string& folder) {
    addSite(http_->routes(), folder);
}

void PortalServer::serveAccounts(const MailSettings& mail, const AccountSettings& settings) {
    cookies_.secure = settings.publicUrl.starts_with("https://");
    mailer_ = std::make_unique<Mailer>(mail);
    // The pages' password checks and registrations go by the game's rules.
    AccountSettings withRules = settings;
    withRules.login = rules_;
    addAccountPages(http_->routes(), storage_, *mailer_, withRules);
}

void PortalServer::rankUnproven() {
    scoring_.rankUnproven = true;
    storage_.listUnproven(true);
}

void PortalServer::run() {
    http_->serve();
}

void PortalServer::stop() {
    http_->halt();
}
