// The portal's access log: one line per answered request,
//   TIME CLIENT METHOD PATH STATUS BYTES MILLISECONDS
// e.g. "2026-12-07T17:05:00.123Z 203.0.113.9 GET /bekrafta/?t 200 2311 4.210": the time in
// UTC, the client (the one a trusted proxy names), the path without the values of its query
// (which may be tokens or addresses; only short parameter names stay), the reply's status
// and body bytes and the time it took. No password, token, cookie or e-mail address is
// written: a request's body, headers and query values never are. Bytes outside printable
// ASCII, blanks and % are written as %XX, so a line is always one line of seven fields.
//
// A request's line is formatted on the thread that ends it and appended to a buffer of at
// most 1 MiB; a thread of the log's own writes the buffer out, so a slow standard error (a
// busy journal) never holds the server. When the buffer is full, lines are dropped and
// counted, and the count is written once the log keeps up again.
#pragma once

#include "portal/http_server.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// The access log line for a request (with its line feed), ended at `at`.
std::string accessLogLine(const HttpEnded& request, std::chrono::system_clock::time_point at);

class AccessLog {
  public:
    AccessLog() = default; // writes nothing until told where
    ~AccessLog();          // writes out what is buffered
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    // Before the first line: to standard error, or appended to the file `path` (created
    // readable by its owner and group, 0640). False, with errno set, when the file cannot be
    // opened.
    void toStandardError();
    bool toFile(const std::string& path);
    // Opens the file again under its name, for a log rotated away (SIGHUP); lines written
    // from then on go there. True when the log is no file; false, with errno set, when the
    // file cannot be opened (lines then still go to the one open before).
    bool reopen();

    void write(const HttpEnded& request);
    std::uint64_t dropped() const;

    static constexpr std::size_t bufferLimit = 1024 * 1024;

  private:
    void start(int fd);
    void run();

    std::string path_; // empty: standard error
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::string buffer_;
    std::uint64_t dropped_ = 0, unreported_ = 0;
    int pending_ = -1; // a file opened again, for the writer to take up
    bool stopping_ = false;
    int fd_ = -1; // the writer's
    std::thread writer_;
};
