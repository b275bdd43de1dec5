// The portal's HTTP server: the game's highscore endpoint, the web pages and the browser
// version of the game, in one route table on a server that owns its connections
// (http_server.h), so a slow or huge client cannot hold it.
#pragma once

#include "platform/resources.h"
#include "portal/access_log.h"
#include "portal/accounts.h"
#include "portal/http_server.h"
#include "portal/mail.h"
#include "portal/metrics.h"
#include "portal/pages.h"
#include "portal/storage.h"
#include "portal/submission.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PortalServer {
  public:
    explicit PortalServer(Storage& storage, ThrottleRules rules = {}, HttpLimits limits = {});
    ~PortalServer();
    PortalServer(const PortalServer&) = delete;
    PortalServer& operator=(const PortalServer&) = delete;

    // Binds the address; port 0 picks a free port. False when the address is taken.
    bool bind(const std::string& host, int port);
    int port() const;
    // Serves the browser version of the game from `folder` under "/spela/"; before run().
    // Takes the client's address from X-Forwarded-For on requests from `proxy`; before run().
    void trustProxy(const std::string& proxy);
    void serveSite(const std::string& folder);
    // Serves the members' pages (log in and out, a forgotten password, challenges), whose
    // mail goes out through `mail`; before run(). An https:// public address makes every
    // cookie of the portal a Secure "__Host-" one.
    void serveAccounts(const MailSettings& mail, const AccountSettings& settings);
    // Ranks scores sent without a replay (when they pass the older checks) and lists
    // unproven scores, as before games sent their replays; before run().
    void rankUnproven();
    // GET /metrics (metrics.h) answers the clients at these addresses (by default loopback:
    // 127.0.0.1 and ::1) and is missing (404) to anyone else. Behind a trusted proxy the
    // client it names counts; a request it relays naming no usable client reaches no one's
    // metrics. False when one is no IP address. Before run().
    bool metricsFrom(const std::vector<std::string>& addresses);
    // One line per request (access_log.h) to standard error, or appended to `file`; none by
    // default. False, with errno set, when the file cannot be opened. Before run().
    bool logAccess(const std::string& file = "");
    // Opens the access log's file again under its name (after logrotate moved it away),
    // from any thread; false, with errno set, when it cannot.
    bool reopenAccessLog();
    // Serves until stop() (from any thread).
    void run();
    void stop();
    PasswordChecks& passwords() { return passwords_; }
    // Every route, for the tests that walk them.
    const http::Routes& routes() const { return http_->routes(); }

  private:
    bool metricsClient(const http::Request& req) const;

    Storage& storage_;
    ThrottleRules rules_;
    PasswordChecks passwords_;    // every password checked or chosen through this server
    EmbeddedResources resources_; // the game's own pictures, for running replays
    ScoringRules scoring_;
    web::Cookies cookies_; // secure once serveAccounts() names an https:// public address
    PortalMetrics metrics_;
    AccessLog accessLog_;
    std::vector<std::string> metricsFrom_{"127.0.0.1", "::1"};
    std::unique_ptr<HttpServer> http_; // goes first: its requests end in the two above
    std::unique_ptr<Mailer> mailer_;
};

// The portal's home page: the competition period and its rules, today's, this week's and
// the all-time top lists (nickname, score, time in the portal's time zone, whether a
// replay proved it and a link to watch it; never an address), HTML-escaped. Days and weeks as in
// competition.h.
std::string homePage(Storage& storage, std::int64_t now, const Visitor& visitor = {});
