// The portal's counts for a Prometheus scraper, written in its text format (version 0.0.4):
// requests by route (the route table's pattern, so the set of labels stays bounded
// whatever paths clients send) and status, how long they took by route, the game's
// submissions by verdict, database errors, and a few figures read at the moment (open
// connections, password checks). Counting costs a few relaxed atomic additions per request
// and takes no lock; the server owns one and hands it to whatever counts.
#pragma once

#include "portal/http.h"
#include "portal/http_server.h"
#include "portal/submission.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PortalMetrics {
  public:
    PortalMetrics();
    ~PortalMetrics();
    PortalMetrics(const PortalMetrics&) = delete;
    PortalMetrics& operator=(const PortalMetrics&) = delete;

    // Sized for `routes`, once every route is added and before the first request; the
    // routes then stay where they are.
    void prepare(const http::Routes& routes);
    // A request whose reply went out (from the server's event loops).
    void ended(const HttpEnded& request);
    // A submission's verdict; `failed` when answering it threw (its reply was 503).
    void submission(SubmissionVerdict verdict);
    void submissionFailed();
    void databaseError();

    // What is read at the moment of a scrape rather than counted.
    struct Now {
        std::size_t connections = 0;
        std::size_t requestsInProgress = 0;
        std::size_t passwordChecksRunning = 0;
        std::size_t passwordChecksWaiting = 0;
        std::uint64_t accessLogDropped = 0;
    };
    // Every metric in the text format, with its HELP and TYPE lines.
    std::string exposition(const Now& now) const;

    // The upper bounds of the latency histograms' buckets, in seconds (+Inf besides).
    static constexpr std::array<double, 13> bounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                      0.25,  0.5,    1,     2.5,  5,     10};

  private:
    struct Key;
    std::size_t keyOf(const HttpEnded& request) const;

    const http::Route* firstRoute_ = nullptr;
    std::vector<Key> keys_; // one per route, then one per method of requests without one
    static constexpr std::size_t verdicts = 9;
    std::array<std::atomic<std::uint64_t>, verdicts> submissions_{};
    std::atomic<std::uint64_t> databaseErrors_{0};
};

// A label's value as the text format writes it: backslash, double quote and line feed
// escaped.
std::string metricLabelValue(std::string_view text);
