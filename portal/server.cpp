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

constexpr const char* latin1Text = "text/plain; charset=ISO-8859-1";
constexpr const char* pagePolicy = "default-src 'none'; style-src 'self'; img-src 'self'; "
                                   "form-action 'self'; base-uri 'none'; frame-ancestors 'none'";
// Plain replies in Latin-1 (the game's character set, so bytes such as \xE5 for "å"), not
// pages: the game and the browser version read them as they are.
constexpr const char* noSuchReplay = "404 Inget s\xE5"
                                     "dant spel";
constexpr const char* failedReply = "503 Tillf\xE4lligt fel, f\xF6rs\xF6k igen senare";
// What a page refused for a full password queue asks the browser to wait.
constexpr int busyRetrySeconds = 5;

const char* const monthNames[] = {"januari",   "februari", "mars",     "april",
                                  "maj",       "juni",     "juli",     "augusti",
                                  "september", "oktober",  "november", "december"};
const char* const weekdayNames[] = {"måndag", "tisdag", "onsdag", "torsdag",
                                    "fredag", "lördag", "söndag"};

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

// A top list for the partial "toplist"; `when` writes each score's time.
web::Data topList(const std::vector<ListedScore>& scores, const std::string& caption,
                  const char* timeHeading, std::string (*when)(std::int64_t)) {
    web::List rows;
    int place = 0;
    for (const auto& entry : scores) {
        // A proven score is marked and can be watched in the browser version.
        web::Data row;
        row.set("place", std::to_string(++place));
        row.set("nickname", entry.nickname);
        row.set("score", std::to_string(entry.score));
        row.set("when", when(entry.at));
        row.set("proven", entry.proven);
        row.set("id", std::to_string(entry.id));
        rows.push_back(std::move(row));
    }
    web::Data list;
    list.set("caption", caption);
    list.set("heading", timeHeading);
    list.set("rows", rows);
    return list;
}

// The partial "competition": the period, if any, and the rules.
web::Data competitionSection(const CompetitionSettings& settings, std::int64_t now) {
    web::Data data;
    data.set("timeZone", settings.timeZone);
    if (!settings.period) {
        data.set("period", false);
        return data;
    }
    const CompetitionPeriod& p = *settings.period;
    const TimeSpan span = p.span();
    web::Data period;
    period.set("first", spokenDate(p.first, p.first.year != p.last.year));
    period.set("last", spokenDate(p.last));
    period.set("soon", now < span.from);
    period.set("running", now >= span.from && now < span.until);
    period.set("over", now >= span.until);
    data.set("period", period);
    return data;
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
                                    spokenDate(monday, false) + " – " +
                                    spokenDate(addDays(monday, 6), false);
    web::Data data;
    data.set("member", visitor.memberId != 0);
    data.set("competition", competitionSection(settings, now));
    data.set("day",
             topList(storage.topScores(day.from, day.until, 10), dayCaption, "Tid", localClock));
    data.set("week",
             topList(storage.topScores(week.from, week.until, 10), weekCaption, "Datum", listDate));
    data.set("ever", topList(storage.topScores(0, 10), "sedan starten", "Datum", listDate));
    return pageFrame("Topplistor och tävlingar", web::render("home", data), visitor);
}

PortalServer::PortalServer(Storage& storage, ThrottleRules rules, HttpLimits limits)
    : storage_(storage), rules_(rules), http_(std::make_unique<HttpServer>(limits)) {
    scoring_.resources = &resources_;
    auto& routes = http_->routes();
    // The game's endpoint: the member's password in the body is its authentication, and a
    // highscore may carry a replay of up to replay::maxBytes.
    routes.postOpen(std::string(highscoreObject), "the game's own form, with the password",
                    submissionBodyLimit, [this](const http::Request& req, http::Response& res) {
                        SubmissionReply reply;
                        try {
                            reply = answerSubmission(storage_, passwords_, req.body,
                                                     req.header("Content-Type"), req.client,
                                                     unixNow(), rules_, scoring_);
                        } catch (...) {
                            metrics_.submissionFailed();
                            throw;
                        }
                        metrics_.submission(reply.verdict);
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
        // A score the operator hid is gone from the pages, its replay with it.
        if (!stored || !stored->proven || stored->hidden || stored->replay.empty()) {
            res.status = 404;
            res.setContent(noSuchReplay, latin1Text);
            return;
        }
        res.setHeader("Cache-Control", "public, max-age=86400");
        res.setContent(stored->replay, "application/octet-stream");
    });
    // The counts for a Prometheus scraper, from memory; missing to other clients.
    routes.get(
        "/metrics",
        [this](const http::Request&, http::Response& res) {
            PortalMetrics::Now now;
            now.connections = http_->openConnections();
            now.requestsInProgress = http_->requestsInProgress();
            now.passwordChecksRunning = passwords_.running();
            now.passwordChecksWaiting = passwords_.waiting();
            now.accessLogDropped = accessLog_.dropped();
            res.setHeader("Cache-Control", "no-store");
            res.setContent(metrics_.exposition(now), "text/plain; version=0.0.4; charset=utf-8");
        },
        http::Runs::AtOnce);
    routes.added().shownTo = [this](const http::Request& req) { return metricsClient(req); };
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
    http_->failed = [this](const http::Request&, http::Response& res, std::exception_ptr ep) {
        try {
            std::rethrow_exception(ep);
        } catch (const PasswordQueueFull&) {
            // Too many are checking or choosing passwords just now: a page that would
            // hash one asks to be tried again shortly.
            res.setHeader("Retry-After", std::to_string(busyRetrySeconds));
            web::sendPage(res, "Upptaget", web::render("busy", {}), 503);
            return;
        } catch (const SqlError& e) {
            metrics_.databaseError();
            std::cerr << "pingel-portal: " << e.what() << '\n';
        } catch (const std::exception& e) {
            std::cerr << "pingel-portal: " << e.what() << '\n';
        } catch (...) {
        }
        res.status = 503;
        res.setContent(failedReply, latin1Text);
    };
}

PortalServer::~PortalServer() = default;

bool PortalServer::metricsClient(const http::Request& req) const {
    // A request relayed by a trusted proxy whose X-Forwarded-For names no usable client
    // comes from someone unknown; one without the header is the proxy's host's own.
    if (http_->trusts(req.peer) && req.hasHeader("X-Forwarded-For") &&
        !forwardedClient(req.header("X-Forwarded-For"))) {
        return false;
    }
    const auto client = canonicalAddress(req.client);
    return client &&
           std::find(metricsFrom_.begin(), metricsFrom_.end(), *client) != metricsFrom_.end();
}

bool PortalServer::metricsFrom(const std::vector<std::string>& addresses) {
    std::vector<std::string> canonical;
    for (const std::string& address : addresses) {
        const auto text = canonicalAddress(address);
        if (!text) {
            return false;
        }
        canonical.push_back(*text);
    }
    metricsFrom_ = std::move(canonical);
    return true;
}

bool PortalServer::logAccess(const std::string& file) {
    if (file.empty()) {
        accessLog_.toStandardError();
        return true;
    }
    return accessLog_.toFile(file);
}

bool PortalServer::reopenAccessLog() {
    return accessLog_.reopen();
}

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
    addAccountPages(http_->routes(), storage_, passwords_, *mailer_, withRules);
}

void PortalServer::rankUnproven() {
    scoring_.rankUnproven = true;
    storage_.listUnproven(true);
}

void PortalServer::run() {
    metrics_.prepare(http_->routes());
    http_->ended = [this](const HttpEnded& request) {
        metrics_.ended(request);
        accessLog_.write(request);
    };
    http_->serve();
}

void PortalServer::stop() {
    http_->halt();
}
