// The portal's bounded HTTP connection loop; see bounded_http.h.
#include "portal/bounded_http.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the socket to be ready, until the deadline; false when it was not.
bool ready(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
}

void addressOf(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* a = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(fd, a, &length) : getsockname(fd, a, &length)) != 0) {
        return;
    }
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (getnameinfo(a, length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

// One request, read from what the waiting thread gathered (the socket is not read here).
// The reply goes to the socket as far as it takes it at once; the rest is kept, for the
// waiting thread to write as the client reads, within a cap for this reply and one for all
// kept replies together (`held`). Past either cap the rest is written from here, each
// write within its own time and all of them within the reply's.
class GatheredStream final : public httplib::Stream {
  public:
    GatheredStream(int fd, std::string gathered, std::chrono::milliseconds write,
                   Clock::time_point replyDeadline, std::atomic<std::size_t>& held,
                   std::size_t replyCap, std::size_t heldCap)
        : fd_(fd), in_(std::move(gathered)), write_(write), replyDeadline_(replyDeadline),
          held_(held), replyCap_(replyCap), heldCap_(heldCap) {}
    ~GatheredStream() override { held_ -= out_.size(); }
    GatheredStream(const GatheredStream&) = delete;
    GatheredStream& operator=(const GatheredStream&) = delete;

    std::string rest() const { return in_.substr(pos_); }
    Clock::time_point replyDeadline() const { return replyDeadline_; }
    // What the socket has not taken yet; its bytes stay counted in `held` for the taker.
    std::string takeOut() { return std::exchange(out_, {}); }

    bool is_readable() const override { return pos_ < in_.size(); }
    bool is_writable() const override {
        return !direct_ || ready(fd_, POLLOUT, std::min(Clock::now() + write_, replyDeadline_));
    }
    ssize_t read(char* ptr, size_t size) override {
        const std::size_t n = std::min(size, in_.size() - pos_);
        std::memcpy(ptr, in_.data() + pos_, n);
        pos_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!direct_) {
            std::size_t sent = 0;
            if (out_.empty()) {
                const ssize_t n = sendSome(ptr, size, MSG_DONTWAIT);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    return -1;
                }
                sent = n > 0 ? static_cast<std::size_t>(n) : 0;
            }
            const std::size_t rest = size - sent;
            if (rest == 0 || (out_.size() + rest <= replyCap_ && hold(rest))) {
                out_.append(ptr + sent, rest);
                return static_cast<ssize_t>(size);
            }
            direct_ = true;
            if (sent > 0) {
                return static_cast<ssize_t>(sent);
            }
        }
        if (!out_.empty()) {
            bool ok = true;
            for (std::size_t at = 0; ok && at < out_.size();) {
                const ssize_t n = writeNow(out_.data() + at, out_.size() - at);
                ok = n >= 0;
                at += ok ? static_cast<std::size_t>(n) : 0;
            }
            held_ -= out_.size();
            std::string().swap(out_);
            if (!ok) {
                return -1;
            }
        }
        return writeNow(ptr, size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, false, ip, port);
    }
    socket_t socket() const override { return fd_; }

  private:
    ssize_t sendSome(const char* ptr, size_t size, int flags) const {
        ssize_t n;
        do {
            n = ::send(fd_, ptr, size, MSG_NOSIGNAL | flags);
        } while (n < 0 && errno == EINTR);
        return n;
    }
    ssize_t writeNow(const char* ptr, size_t size) const {
        return is_writable() ? sendSome(ptr, size, 0) : -1;
    }
    // Counts `n` more bytes as kept, unless all kept replies would then pass their cap.
    bool hold(std::size_t n) {
        std::size_t now = held_.load();
        do {
            if (now + n > heldCap_) {
                return false;
            }
        } while (!held_.compare_exchange_weak(now, now + n));
        return true;
    }

    int fd_;
    std::string in_;
    std::size_t pos_ = 0;
    std::chrono::milliseconds write_;
    Clock::time_point replyDeadline_;
    std::atomic<std::size_t>& held_;
    std::size_t replyCap_;
    std::size_t heldCap_;
    std::string out_;     // taken from `held_`
    bool direct_ = false; // written from here, as it was before the caps were reached
};

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    return out;
}

// A header's value in a head that was lowered, or nothing when the header is absent.
std::optional<std::string_view> headerIn(std::string_view head, std::string_view name) {
    for (std::size_t at = head.find("\r\n"); at != std::string_view::npos;
         at = head.find("\r\n", at + 2)) {
        const std::string_view line = head.substr(at + 2, head.find("\r\n", at + 2) - at - 2);
        if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == ':') {
            std::string_view value = line.substr(name.size() + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                value.remove_prefix(1);
            }
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
                value.remove_suffix(1);
            }
            return value;
        }
    }
    return std::nullopt;
}

std::string plainReply(const char* status) {
    const std::string text = std::string(status) + "\n";
    return "HTTP/1.1 " + std::string(status) +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
           "\r\nContent-Security-Policy: default-src 'none'; frame-ancestors 'none'"
           "\r\nX-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff"
           "\r\nReferrer-Policy: same-origin" +
           "\r\nConnection: close\r\n\r\n" + text;
}

// A refused client may still be sending: its connection is closed only once it has said
// all (or after this long), since a close with bytes unread would reset the connection and
// the refusal could be lost.
constexpr std::chrono::milliseconds lingerTime{500};

} // namespace

std::optional<std::string> forwardedClient(std::string_view header) {
    const auto comma = header.rfind(',');
    std::string_view last = comma == std::string_view::npos ? header : header.substr(comma + 1);
    while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) {
        last.remove_prefix(1);
    }
    while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) {
        last.remove_suffix(1);
    }
    const std::string text(last);
    unsigned char address[sizeof(in6_addr)];
    if (text.empty() || (inet_pton(AF_INET, text.c_str(), address) != 1 &&
                         inet_pton(AF_INET6, text.c_str(), address) != 1)) {
        return std::nullopt;
    }
    return text;
}

BoundedHttpServer::~BoundedHttpServer() {
    if (listener_ >= 0) {
        ::close(listener_);
    }
    if (wake_ >= 0) {
        ::close(wake_);
    }
}

bool BoundedHttpServer::open(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return false;
    }
    for (addrinfo* a = found; a && listener_ < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 512) == 0) {
            listener_ = fd;
        } else {
            ::close(fd);
        }
    }
    freeaddrinfo(found);
    if (listener_ < 0) {
        return false;
    }
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        return false;
    }
    std::string ip;
    addressOf(listener_, false, ip, port_);
    return true;
}

void BoundedHttpServer::allowBody(const std::string& path, std::size_t limit) {
    if (otherBodies_ == 0) {
        otherBodies_ = payload_max_length_;
    }
    largeBodies_.emplace_back(lowered(path), limit);
    // The library's own check while it reads the body; judge() has applied each path's.
    payload_max_length_ = std::max(payload_max_length_, limit);
}

BoundedHttpServer::Verdict BoundedHttpServer::judge(Waiting& w, std::string& refusal) const {
    const auto headEnd = w.in.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        if (w.in.size() <= bounds_.headLimit) {
            return Verdict::Incomplete;
        }
        refusal = plainReply("431 Request Header Fields Too Large");
        return Verdict::Refuse;
    }
    if (headEnd > bounds_.headLimit) {
        refusal = plainReply("431 Request Header Fields Too Large");
        return Verdict::Refuse;
    }
    const std::string head = lowered(std::string_view(w.in).substr(0, headEnd));
    // The body's end must be known from the head: no chunks, and a length wherever a body
    // is expected (without one the library would read until the client closes).
    const auto length = headerIn(head, "content-length");
    const bool bodyMethod = head.starts_with("post ") || head.starts_with("put ") ||
                            head.starts_with("patch ") || head.starts_with("delete ");
    if (headerIn(head, "transfer-encoding") || (bodyMethod && !length)) {
        refusal = plainReply("411 Length Required");
        return Verdict::Refuse;
    }
    std::size_t bodyLength = 0;
    if (length) {
        const auto [end, error] =
            std::from_chars(length->data(), length->data() + length->size(), bodyLength);
        if (error != std::errc() || end != length->data() + length->size()) {
            refusal = plainReply("400 Bad Request");
            return Verdict::Refuse;
        }
    }
    std::size_t bodyLimit =
        std::min(otherBodies_ != 0 ? otherBodies_ : payload_max_length_, bounds_.bodyLimit);
    if (!largeBodies_.empty()) {
        const auto target = head.find(' ');
        const auto targetEnd = head.find_first_of(" ?\r", target + 1);
        const std::string_view path =
            target == std::string::npos || targetEnd == std::string::npos
                ? std::string_view()
                : std::string_view(head).substr(target + 1, targetEnd - target - 1);
        for (const auto& [large, limit] : largeBodies_) {
            if (path == large) {
                bodyLimit = limit;
            }
        }
    }
    if (bodyLength > bodyLimit) {
        return Verdict::CutShort; // refused from the head, never gathered
    }
    if (w.in.size() - headEnd - 4 >= bodyLength) {
        return Verdict::Complete;
    }
    // A client that waits to be asked for its body is asked here, where the body is read.
    if (!w.continued && headerIn(head, "expect") == "100-continue") {
        constexpr std::string_view go = "HTTP/1.1 100 Continue\r\n\r\n";
        ::send(w.fd, go.data(), go.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        w.continued = true;
    }
    return Verdict::Incomplete;
}

void BoundedHttpServer::handle(Waiting w, bool cutShort) {
    GatheredStream stream(w.fd, std::move(w.in), bounds_.write, Clock::now() + bounds_.reply, held_,
                          bounds_.replyBuffer, bounds_.replyBuffers);
    const bool last = w.served + 1 >= bounds_.requestsPerConnection || halted_;
    bool closed = false;
    const bool ok = process_request(stream, last, closed, [this](httplib::Request& req) {
        if (std::find(proxies_.begin(), proxies_.end(), req.remote_addr) != proxies_.end()) {
            if (auto client = forwardedClient(req.get_header_value("X-Forwarded-For"))) {
                req.remote_addr = *client;
            }
        }
    });
    // What the client has not taken yet goes back with the connection, for the waiting
    // thread to write within the reply's time.
    w.out = stream.takeOut();
    w.outAt = 0;
    w.deadline = stream.replyDeadline();
    if (cutShort) {
        w.closing = true;
    } else if (!ok || closed || last) {
        if (!w.writing()) {
            ::close(w.fd);
            --busy_;
            return;
        }
        w.closeAfter = true;
    } else {
        w.in = stream.rest();
        ++w.served;
    }
    giveBack(std::move(w));
}

bool BoundedHttpServer::sendOut(Waiting& w) {
    while (w.writing()) {
        const ssize_t n = ::send(w.fd, w.out.data() + w.outAt, w.out.size() - w.outAt,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        w.outAt += static_cast<std::size_t>(n);
        held_ -= static_cast<std::size_t>(n);
    }
    return true;
}

void BoundedHttpServer::giveBack(Waiting w) {
    {
        std::lock_guard lock(returnedMutex_);
        returned_.push_back(std::move(w));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
}

void BoundedHttpServer::serve() {
    if (listener_ < 0 || wake_ < 0) {
        return;
    }
    // Every connection is a file: stay well within what this process may open.
    rlimit files{};
    const std::size_t cap =
        getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
            ? std::max<std::size_t>(
                  16, std::min<std::size_t>(bounds_.connections, files.rlim_cur / 4 * 3))
            : bounds_.connections;
    httplib::ThreadPool pool(bounds_.workers);
    std::vector<Waiting> waiting;
    std::vector<pollfd> polled;
    auto drop = [&](std::size_t i) {
        held_ -= waiting[i].out.size() - waiting[i].outAt;
        ::close(waiting[i].fd);
        waiting[i] = std::move(waiting.back());
        waiting.pop_back();
    };
    // A request judged: handed to a worker, refused, or left to wait for more.
    auto settle = [&](std::size_t i) {
        std::string refusal;
        const Verdict verdict = judge(waiting[i], refusal);
        if (verdict == Verdict::Incomplete) {
            return false;
        }
        Waiting& w = waiting[i];
        if (verdict == Verdict::Refuse) {
            ::send(w.fd, refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::shutdown(w.fd, SHUT_WR);
            w.closing = true;
            w.in.clear();
            w.deadline = Clock::now() + lingerTime;
            return true;
        }
        ++busy_;
        pool.enqueue([this, w, cutShort = verdict == Verdict::CutShort] { handle(w, cutShort); });
        waiting[i] = std::move(waiting.back());
        waiting.pop_back();
        return true;
    };
    // A reply written whole: the connection is closed, or lingers after a refusal, or
    // waits for its next request (which may have arrived with the last).
    auto replied = [&](std::size_t i) {
        Waiting& w = waiting[i];
        std::string().swap(w.out);
        w.outAt = 0;
        if (w.closing) {
            ::shutdown(w.fd, SHUT_WR);
            w.in.clear();
            w.deadline = Clock::now() + lingerTime;
        } else if (w.closeAfter) {
            drop(i);
        } else {
            w.started = !w.in.empty();
            w.continued = false;
            w.deadline = Clock::now() + (w.started ? bounds_.request : bounds_.keepAlive);
            if (w.started) {
                settle(i);
            }
        }
    };

    while (!halted_) {
        const auto now = Clock::now();
        // Past their time: cut off, with a word to a client that had begun a request.
        for (std::size_t i = waiting.size(); i-- > 0;) {
            if (waiting[i].deadline <= now) {
                if (waiting[i].started && !waiting[i].closing && !waiting[i].writing()) {
                    const std::string late = plainReply("408 Request Timeout");
                    ::send(waiting[i].fd, late.data(), late.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                }
                drop(i);
            }
        }
        polled.clear();
        polled.push_back({wake_, POLLIN, 0});
        // With every connection at a worker, new ones wait in the listen queue.
        const bool full = waiting.empty() && busy_ >= cap;
        polled.push_back({listener_, static_cast<short>(full ? 0 : POLLIN), 0});
        for (const Waiting& w : waiting) {
            polled.push_back({w.fd, static_cast<short>(w.writing() ? POLLOUT : POLLIN), 0});
        }
        if (::poll(polled.data(), polled.size(), 200) <= 0) {
            continue;
        }
        std::size_t gathered = 0;
        for (const Waiting& w : waiting) {
            gathered += w.in.size();
        }
        // Requests arriving on waiting connections (before the vector changes below).
        for (std::size_t i = waiting.size(); i-- > 0;) {
            if (polled[i + 2].revents == 0) {
                continue;
            }
            if (waiting[i].writing()) {
                if (!sendOut(waiting[i])) {
                    drop(i);
                } else if (!waiting[i].writing()) {
                    replied(i);
                }
                continue;
            }
            char chunk[16384];
            const ssize_t n = ::recv(waiting[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (n <= 0) {
                drop(i);
                continue;
            }
            if (waiting[i].closing) {
                continue; // what a refused client still sends is read and dropped
            }
            if (!waiting[i].started) {
                // A new connection's request is timed from the connect, a kept one's from
                // its first byte.
                waiting[i].started = true;
                if (waiting[i].served > 0) {
                    waiting[i].deadline = Clock::now() + bounds_.request;
                }
            }
            if (gathered + static_cast<std::size_t>(n) > bounds_.gathering &&
                waiting[i].in.size() + static_cast<std::size_t>(n) > 32 * 1024) {
                const std::string busy = plainReply("503 Service Unavailable");
                ::send(waiting[i].fd, busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                drop(i);
                continue;
            }
            gathered += static_cast<std::size_t>(n);
            waiting[i].in.append(chunk, static_cast<std::size_t>(n));
            settle(i);
        }
        if (polled[0].revents != 0) {
            std::uint64_t count;
            [[maybe_unused]] const auto n = ::read(wake_, &count, sizeof count);
            std::deque<Waiting> back;
            {
                std::lock_guard lock(returnedMutex_);
                back.swap(returned_);
            }
            busy_ -= back.size();
            for (Waiting& w : back) {
                // A reply still being written keeps its own deadline.
                waiting.push_back(std::move(w));
                if (!waiting.back().writing()) {
                    replied(waiting.size() - 1);
                }
            }
        }
        if (polled[1].revents != 0) {
            for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                if (waiting.size() + busy_ >= cap) {
                    if (waiting.empty()) {
                        ::close(fd);
                        break;
                    }
                    // The connection waiting longest for little gives way.
                    const auto oldest = std::min_element(
                        waiting.begin(), waiting.end(),
                        [](const Waiting& a, const Waiting& b) { return a.deadline < b.deadline; });
                    drop(static_cast<std::size_t>(oldest - waiting.begin()));
                }
                const int yes = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                Waiting fresh;
                fresh.fd = fd;
                fresh.deadline = Clock::now() + bounds_.request;
                waiting.push_back(std::move(fresh));
            }
            if (errno == EMFILE || errno == ENFILE) {
                // Out of files for now: the listener stays ready, so pause rather than spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    // Halted: replies under way are finished, within their time; nothing new is read.
    for (std::size_t i = waiting.size(); i-- > 0;) {
        if (!waiting[i].writing()) {
            drop(i);
        }
    }
    pool.shutdown();
    {
        std::lock_guard lock(returnedMutex_);
        for (Waiting& w : returned_) {
            waiting.push_back(std::move(w));
        }
        returned_.clear();
        busy_ = 0;
    }
    while (!waiting.empty()) {
        polled.clear();
        for (const Waiting& w : waiting) {
            polled.push_back({w.fd, POLLOUT, 0});
        }
        ::poll(polled.data(), polled.size(), 200);
        const auto now = Clock::now();
        for (std::size_t i = waiting.size(); i-- > 0;) {
            if (!waiting[i].writing() || waiting[i].deadline <= now ||
                (polled[i].revents != 0 && (!sendOut(waiting[i]) || !waiting[i].writing()))) {
                drop(i);
            }
        }
    }
}
