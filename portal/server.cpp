// The portal's HTTP server; see server.h.
#include "portal/server.h"

#include "net/highscore_submission.h"
#include "portal/pages.h"
#include "portal/site.h"
#include "portal/text.h"

#include <chrono>
#include <ctime>
#include <iostream>

namespace {

constexpr std::size_t requestBodyLimit = 16 * 1024;
constexpr const char* latin1Text = "text/plain; charset=ISO-8859-1";

std::int64_t unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string dateOf(std::int64_t at) {
    const std::time_t t = static_cast<std::time_t>(at);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

} // namespace

std::string homePage(Storage& storage, const Visitor& visitor) {
    std::string rows;
    int place = 0;
    for (const auto& entry : storage.topScores(0, 10)) {
        rows += "<tr><td>" + std::to_string(++place) + "</td><td>" + htmlEscape(entry.nickname) +
                "</td><td>" + std::to_string(entry.score) + "</td><td>" + dateOf(entry.at) +
                "</td></tr>\n";
    }
    if (rows.empty()) {
        rows = "<tr><td colspan=\"4\">Inga po\xC3\xA4ng \xC3\xA4nnu.</td></tr>\n";
    }
    return pageFrame(
        "spelia",
        "<p><a class=\"button\" href=\"/spela/\">Spela i webbl\xC3\xA4saren</a></p>\n"
        "<p>Inget konto? <a href=\"/registrera/\">Bli medlem</a> och skicka dina "
        "po\xC3\xA4ng till topplistan. <a href=\"/dll/\">Vad spelet "
        "beh\xC3\xB6ver</a> f\xC3\xB6r att skicka po\xC3\xA4ng.</p>\n"
        "<h2>Topplistan, alla tider</h2>\n<table>\n"
        "<tr><th>Plats</th><th>Smeknamn</th><th>Po\xC3\xA4ng</th><th>Datum</th></tr>\n" +
            rows + "</table>\n",
        visitor);
}

PortalServer::PortalServer(Storage& storage, ThrottleRules rules, HttpBounds bounds)
    : storage_(storage), rules_(rules), http_(std::make_unique<BoundedHttpServer>(bounds)) {
    auto& http = *http_;
    http.set_payload_max_length(requestBodyLimit);
    http.set_keep_alive_timeout(5);
    http.set_keep_alive_max_count(1000);

    http.Post(std::string(highscoreObject),
              [this](const httplib::Request& req, httplib::Response& res) {
                  const auto reply =
                      answerSubmission(storage_, req.body, req.get_header_value("Content-Type"),
                                       req.remote_addr, unixNow(), rules_);
                  res.status = reply.status;
                  res.set_content(reply.text, latin1Text);
              });
    http.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Cache-Control", "no-cache");
        res.set_content(homePage(storage_, web::visitorOf(storage_, req, res)),
                        "text/html; charset=utf-8");
    });
    addPages(http, storage_);
    // Every refusal carries a short text; none begins with 0 or 1, which the game would
    // take as accepted. A body too large for the endpoint is a bad submission like any.
    http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.path == highscoreObject && res.status == 413) {
            res.status = 400;
        }
        if (res.body.empty()) {
            res.set_content(std::to_string(res.status) + " Fel", latin1Text);
        }
    });
    http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                std::cerr << "pingel-portal: " << e.what() << '\n';
            } catch (...) {
            }
            res.status = 503;
            res.set_content("503 Tillf\xE4lligt fel, f\xF6rs\xF6k igen senare", latin1Text);
        });
}

PortalServer::~PortalServer() = default;

bool PortalServer::bind(const std::string& host, int port) {
    return http_->open(host, port);
}

int PortalServer::port() const {
    return http_->boundPort();
}

void PortalServer::serveSite(const std::string& folder) {
    addSite(*http_, folder);
}

void PortalServer::serveAccounts(const MailSettings& mail, const AccountSettings& settings) {
    mailer_ = std::make_unique<Mailer>(mail);
    addAccountPages(*http_, storage_, *mailer_, settings);
}

void PortalServer::run() {
    http_->serve();
}

void PortalServer::stop() {
    http_->halt();
}
