// The portal's access log; see access_log.h.
#include "portal/access_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// Longest path and method written; the rest is cut.
constexpr std::size_t pathLimit = 256, methodLimit = 16;
// A parameter name is kept when it looks like one of the portal's (t, gameid, tillbaka):
// short, of letters, digits, - and _. Any other is written as "-", for a client may send
// a token or an address as a name.
constexpr std::size_t nameLimit = 16;

void escapeInto(std::string& out, std::string_view text, std::size_t limit) {
    static const char hex[] = "0123456789ABCDEF";
    for (const unsigned char c : text.substr(0, limit)) {
        if (c > 0x20 && c < 0x7f && c != '%') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
}

bool plainName(std::string_view name) {
    if (name.empty() || name.size() > nameLimit) {
        return false;
    }
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

// Writes all of `text`, as far as the file takes it.
void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // nowhere to write: the lines are lost, the server goes on
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

int openLog(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0640);
}

} // namespace

std::string accessLogLine(const HttpEnded& request, std::chrono::system_clock::time_point at) {
    // By the calendar of <chrono>, which takes no lock (gmtime_r takes glibc's time zone lock).
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(at);
    const auto day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss clock(ms - day);
    char stamp[80];
    std::snprintf(
        stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    const http::Request& req = request.request;
    std::string line = stamp;
    line += ' ';
    if (req.client.empty()) {
        line += '-';
    } else {
        escapeInto(line, req.client, 64);
    }
    line += ' ';
    escapeInto(line, req.method, methodLimit);
    line += ' ';
    escapeInto(line, req.path.empty() ? "/" : req.path, pathLimit);
    char separator = '?';
    for (const auto& [name, value] : req.query) {
        line += separator;
        line += plainName(name) ? name : "-";
        separator = '&';
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, " %d %zu %lld.%03lld\n", request.status, request.bytes,
                  static_cast<long long>(request.took.count() / 1000),
                  static_cast<long long>(request.took.count() % 1000));
    line += tail;
    return line;
}

AccessLog::~AccessLog() {
    if (!writer_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_one();
    writer_.join();
    if (!path_.empty()) {
        ::close(fd_);
    }
    if (pending_ >= 0) {
        ::close(pending_);
    }
}

void AccessLog::toStandardError() {
    path_.clear();
    start(STDERR_FILENO);
}

bool AccessLog::toFile(const std::string& path) {
    const int fd = openLog(path);
    if (fd < 0) {
        return false;
    }
    path_ = path;
    start(fd);
    return true;
}

void AccessLog::start(int fd) {
    fd_ = fd;
    writer_ = std::thread([this] { run(); });
}

bool AccessLog::reopen() {
    if (path_.empty() || !writer_.joinable()) {
        return true;
    }
    const int fd = openLog(path_);
    if (fd < 0) {
        return false;
    }
    int old = -1;
    {
        std::lock_guard lock(mutex_);
        old = pending_; // opened again twice before the writer took the first up
        pending_ = fd;
    }
    ready_.notify_one();
    if (old >= 0) {
        ::close(old);
    }
    return true;
}

void AccessLog::write(const HttpEnded& request) {
    if (!writer_.joinable()) {
        return;
    }
    const std::string line = accessLogLine(request, std::chrono::system_clock::now());
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (buffer_.size() + line.size() > bufferLimit) {
            ++dropped_;
            ++unreported_;
            return;
        }
        wake = buffer_.empty();
        buffer_ += line;
    }
    if (wake) {
        ready_.notify_one();
    }
}

std::uint64_t AccessLog::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void AccessLog::run() {
    std::string out;
    for (;;) {
        int reopened = -1;
        std::uint64_t lost = 0;
        bool last = false;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return stopping_ || !buffer_.empty() || pending_ >= 0; });
            out.clear();
            out.swap(buffer_);
            std::swap(reopened, pending_);
            std::swap(lost, unreported_);
            last = stopping_;
        }
        if (reopened >= 0) {
            ::close(fd_);
            fd_ = reopened;
        }
        writeAll(fd_, out);
        if (lost > 0) {
            writeAll(fd_, "pingel-portal: " + std::to_string(lost) +
                              " access log lines dropped: the log could not keep up\n");
        }
        if (last) {
            return;
        }
    }
}
