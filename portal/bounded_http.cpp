// The portal's bounded HTTP connection loop; see bounded_http.h.
#include "portal/bounded_http.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A connection's reads, each request's before its own deadline, through a buffer (the
// library reads a request's head a byte at a time); each write within its own time.
class DeadlineStream final : public httplib::Stream {
  public:
    DeadlineStream(int fd, std::chrono::milliseconds write) : fd_(fd), write_(write) {}

    void setDeadline(Clock::time_point deadline) { deadline_ = deadline; }
    bool buffered() const { return pos_ < len_; }
    // A read waited in vain: the request did not arrive in time.
    bool timedOut() const { return timedOut_; }

    bool is_readable() const override {
        if (buffered() || ready(fd_, POLLIN, deadline_)) {
            return true;
        }
        timedOut_ = true;
        return false;
    }
    bool is_writable() const override { return ready(fd_, POLLOUT, Clock::now() + write_); }
    ssize_t read(char* ptr, size_t size) override {
        if (!buffered()) {
            if (!is_readable()) {
                return -1;
            }
            const ssize_t n = receive(buffer_, sizeof buffer_);
            if (n <= 0) {
                return n;
            }
            pos_ = 0;
            len_ = static_cast<std::size_t>(n);
        }
        const std::size_t n = std::min(size, len_ - pos_);
        std::memcpy(ptr, buffer_ + pos_, n);
        pos_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) {
            return -1;
        }
        ssize_t n;
        do {
            n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        return n;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, false, ip, port);
    }
    socket_t socket() const override { return fd_; }

  private:
    ssize_t receive(char* into, std::size_t size) {
        ssize_t n;
        do {
            n = ::recv(fd_, into, size, 0);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    int fd_;
    std::chrono::milliseconds write_;
    Clock::time_point deadline_ = Clock::now();
    mutable bool timedOut_ = false;
    char buffer_[4096];
    std::size_t pos_ = 0, len_ = 0;
};

} // namespace

BoundedHttpServer::~BoundedHttpServer() {
    if (listener_ >= 0) {
        ::close(listener_);
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
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 128) == 0) {
            listener_ = fd;
        } else {
            ::close(fd);
        }
    }
    freeaddrinfo(found);
    if (listener_ < 0) {
        return false;
    }
    std::string ip;
    addressOf(listener_, false, ip, port_);
    return true;
}

void BoundedHttpServer::serve() {
    httplib::ThreadPool pool(bounds_.workers);
    while (!halted_ && listener_ >= 0) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) {
            continue;
        }
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        pool.enqueue([this, fd] { serveConnection(fd); });
    }
    pool.shutdown();
}

void BoundedHttpServer::serveConnection(int fd) {
    DeadlineStream stream(fd, bounds_.write);
    for (std::size_t served = 0; served < bounds_.requestsPerConnection && !halted_; ++served) {
        if (served > 0 && !stream.buffered()) {
            // Waiting for the next request, in short steps so that a halt is seen.
            const auto until = Clock::now() + bounds_.keepAlive;
            bool more = false;
            while (!more && !halted_ && Clock::now() < until) {
                more = ready(fd, POLLIN,
                             std::min(until, Clock::now() + std::chrono::milliseconds(200)));
            }
            if (!more) {
                break;
            }
        }
        stream.setDeadline(Clock::now() + bounds_.request);
        const bool last = served + 1 == bounds_.requestsPerConnection || halted_;
        bool closed = false;
        if (!process_request(stream, last, closed, [](httplib::Request&) {}) || closed || last ||
            stream.timedOut()) {
            break;
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}
