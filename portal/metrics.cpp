// The portal's counts for a Prometheus scraper; see metrics.h.
#include "portal/metrics.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

constexpr int lowestStatus = 100, statuses = 500; // 100 to 599
constexpr std::size_t buckets = PortalMetrics::bounds.size() + 1;

// The verdicts' labels, in the order of SubmissionVerdict, then that of a failure.
constexpr const char* verdictNames[] = {"ranked",    "unranked", "unknown_member", "wrong_password",
                                        "throttled", "busy",     "too_often",      "banned",
                                        "malformed", "failed"};
constexpr std::size_t failedVerdict = 9;

// Requests that no route took, by method: GET (and HEAD), POST, any other.
constexpr std::size_t unmatchedKeys = 3;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

void describe(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void sample(std::string& out, const std::string& name, const std::string& labels,
            std::uint64_t value) {
    out += name;
    if (!labels.empty()) {
        out += '{' + labels + '}';
    }
    out += ' ' + std::to_string(value) + '\n';
}

} // namespace

struct PortalMetrics::Key {
    struct Counts {
        std::array<std::atomic<std::uint64_t>, statuses> byStatus{};
        std::array<std::atomic<std::uint64_t>, buckets> byBucket{}; // not cumulative
        std::atomic<std::uint64_t> micros{0};
    };
    std::string labels; // method="GET",route="/"
    std::unique_ptr<Counts> counts = std::make_unique<Counts>();
};

static_assert(sizeof verdictNames / sizeof *verdictNames == failedVerdict + 1);

PortalMetrics::PortalMetrics() = default;
PortalMetrics::~PortalMetrics() = default;

std::string metricLabelValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

void PortalMetrics::prepare(const http::Routes& routes) {
    const auto& all = routes.all();
    firstRoute_ = all.empty() ? nullptr : all.data();
    keys_.clear();
    keys_.resize(all.size() + unmatchedKeys);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const http::Route& r = all[i];
        keys_[i].labels = std::string("method=\"") +
                          (r.method == http::Route::Method::Get ? "GET" : "POST") + "\",route=\"" +
                          metricLabelValue(r.path + (r.prefix ? "*" : "")) + '"';
    }
    const char* methods[unmatchedKeys] = {"GET", "POST", "other"};
    for (std::size_t i = 0; i < unmatchedKeys; ++i) {
        keys_[all.size() + i].labels =
            std::string("method=\"") + methods[i] + "\",route=\"unmatched\"";
    }
}

std::size_t PortalMetrics::keyOf(const HttpEnded& request) const {
    const std::size_t routes = keys_.size() - unmatchedKeys;
    if (request.route && firstRoute_) {
        const auto index = static_cast<std::size_t>(request.route - firstRoute_);
        if (index < routes) {
            return index;
        }
    }
    const std::string& method = request.request.method;
    return routes + (method == "GET" || method == "HEAD" ? 0 : method == "POST" ? 1 : 2);
}

void PortalMetrics::ended(const HttpEnded& request) {
    if (keys_.empty()) {
        return;
    }
    auto& counts = *keys_[keyOf(request)].counts;
    const int status = std::clamp(request.status, lowestStatus, lowestStatus + statuses - 1);
    counts.byStatus[static_cast<std::size_t>(status - lowestStatus)].fetch_add(
        1, std::memory_order_relaxed);
    const double seconds = static_cast<double>(request.took.count()) / 1e6;
    std::size_t bucket = 0;
    while (bucket < bounds.size() && seconds > bounds[bucket]) {
        ++bucket;
    }
    counts.byBucket[bucket].fetch_add(1, std::memory_order_relaxed);
    counts.micros.fetch_add(static_cast<std::uint64_t>(request.took.count()),
                            std::memory_order_relaxed);
}

void PortalMetrics::submission(SubmissionVerdict verdict) {
    submissions_[static_cast<std::size_t>(verdict)].fetch_add(1, std::memory_order_relaxed);
}

void PortalMetrics::submissionFailed() {
    submissions_[failedVerdict].fetch_add(1, std::memory_order_relaxed);
}

void PortalMetrics::databaseError() {
    databaseErrors_.fetch_add(1, std::memory_order_relaxed);
}

std::string PortalMetrics::exposition(const Now& now) const {
    std::string out;
    out.reserve(16 * 1024);
    describe(out, "pingel_http_requests_total", "counter",
             "Requests answered, by method and route (the pattern of the portal's route that "
             "took them; unmatched for none) and status.");
    for (const Key& key : keys_) {
        for (int i = 0; i < statuses; ++i) {
            if (const auto n = key.counts->byStatus[static_cast<std::size_t>(i)].load(
                    std::memory_order_relaxed)) {
                sample(out, "pingel_http_requests_total",
                       key.labels + ",status=\"" + std::to_string(lowestStatus + i) + '"', n);
            }
        }
    }
    describe(out, "pingel_http_request_duration_seconds", "histogram",
             "Time from the arrival of a request's head to its reply handed to the "
             "connection, by method and route.");
    for (const Key& key : keys_) {
        std::array<std::uint64_t, buckets> counts{};
        std::uint64_t total = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            counts[b] = key.counts->byBucket[b].load(std::memory_order_relaxed);
            total += counts[b];
        }
        if (total == 0) {
            continue; // a route never asked for
        }
        std::uint64_t below = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            below += counts[b];
            sample(out, "pingel_http_request_duration_seconds_bucket",
                   key.labels + ",le=\"" + (b < bounds.size() ? number(bounds[b]) : "+Inf") + '"',
                   below);
        }
        const double seconds =
            static_cast<double>(key.counts->micros.load(std::memory_order_relaxed)) / 1e6;
        out += "pingel_http_request_duration_seconds_sum{" + key.labels + "} " + number(seconds) +
               '\n';
        sample(out, "pingel_http_request_duration_seconds_count", key.labels, total);
    }
    describe(out, "pingel_submissions_total", "counter",
             "The game's score submissions, by verdict: the reply's code (ranked 0, unranked 1, "
             "unknown_member 2, wrong_password 3; throttled, busy, too_often 7), malformed "
             "(400) or failed (503).");
    for (std::size_t v = 0; v < verdicts; ++v) {
        sample(out, "pingel_submissions_total", std::string("verdict=\"") + verdictNames[v] + '"',
               submissions_[v].load(std::memory_order_relaxed));
    }
    describe(out, "pingel_database_errors_total", "counter",
             "Requests whose database statement failed (answered 503).");
    sample(out, "pingel_database_errors_total", "",
           databaseErrors_.load(std::memory_order_relaxed));
    describe(out, "pingel_http_connections_open", "gauge", "Client connections open.");
    sample(out, "pingel_http_connections_open", "", now.connections);
    describe(out, "pingel_http_requests_in_progress", "gauge",
             "Requests begun and not yet answered to the end.");
    sample(out, "pingel_http_requests_in_progress", "", now.requestsInProgress);
    describe(out, "pingel_password_checks_running", "gauge", "Argon2id password checks running.");
    sample(out, "pingel_password_checks_running", "", now.passwordChecksRunning);
    describe(out, "pingel_password_checks_waiting", "gauge",
             "Password checks waiting for their turn at Argon2id.");
    sample(out, "pingel_password_checks_waiting", "", now.passwordChecksWaiting);
    describe(out, "pingel_access_log_dropped_lines_total", "counter",
             "Access log lines dropped because the log could not keep up.");
    sample(out, "pingel_access_log_dropped_lines_total", "", now.accessLogDropped);
    return out;
}
