// The portal's HTTP server: cpp-httplib's request handling, under the portal's own
// connection handling, which bounds each request as a whole. One thread waits on every
// open connection and gathers each request, head and body, until it is complete; only
// then does a worker from a fixed pool handle it. A client that trickles a byte now and
// then, or connects and sends nothing, costs a buffer and a socket for at most a fixed
// time, never a worker, so slow clients cannot keep the others waiting. A keep-alive
// connection waits for its next request in the same way. A reply, too, is written by the
// waiting thread as the client takes it: the worker leaves what the socket would not take
// at once in memory (within a cap per reply and one for all replies together) and is free
// for the next request, so a client that reads slowly or not at all holds no worker either.
// Replies from a content provider are not for this server: the library writes those only
// under its own listen loop, so their bodies would stay empty here.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct HttpBounds {
    std::chrono::milliseconds request{10000};  // a whole request, head and body
    std::chrono::milliseconds keepAlive{5000}; // waiting for the next request
    std::chrono::milliseconds write{5000};     // each write of the reply
    std::chrono::milliseconds reply{60000};    // the whole reply, for a client that reads slowly
    std::size_t requestsPerConnection = 1000;
    std::size_t workers = 32;
    std::size_t headLimit = 16 * 1024;   // the request line and the headers together
    std::size_t bodyLimit = 1024 * 1024; // besides the library's payload limit
    std::size_t connections = 1024;      // open at once; the oldest wait gives way beyond
    // A reply that the client does not take at once waits in memory, at most this much of
    // one reply and of all of them together; beyond either, the worker writes the rest
    // itself, within the write and reply bounds above.
    std::size_t replyBuffer = 8 * 1024 * 1024;
    std::size_t replyBuffers = 64 * 1024 * 1024;
    // Requests being gathered hold at most this much memory together: past it, a request
    // that has grown beyond 32 KiB (a large body, such as a highscore's replay) is refused
    // with 503, so a crowd of clients sending large bodies cannot exhaust the memory.
    std::size_t gathering = 64 * 1024 * 1024;
};

// The client that an X-Forwarded-For header names last (the one the nearest proxy added),
// when that is an IPv4 or IPv6 address; nothing otherwise.
std::optional<std::string> forwardedClient(std::string_view header);

class BoundedHttpServer : public httplib::Server {
  public:
    explicit BoundedHttpServer(HttpBounds bounds = {}) : bounds_(bounds) {}
    ~BoundedHttpServer() override;

    // Binds and listens; port 0 picks a free port. False when the address cannot be used.
    bool open(const std::string& host, int port);
    int boundPort() const { return port_; }
    // Serves until halt(), then waits for the requests in progress.
    void serve();
    // From any thread.
    void halt() { halted_ = true; }
    // A request that comes from `proxy` (an IP address, such as a TLS proxy on this host)
    // counts as coming from the client its X-Forwarded-For names last: the address the
    // proxy itself added. Before serve().
    void trustProxy(const std::string& proxy) { proxies_.push_back(proxy); }
    // Lets requests to `path` (as it stands in the request line, in lower case, without a
    // query) carry bodies of up to `limit` bytes; every other path keeps the payload limit
    // set before this call. Before serve().
    void allowBody(const std::string& path, std::size_t limit);

  private:
    struct Waiting {
        int fd = -1;
        std::string in; // what has arrived of the next request
        std::chrono::steady_clock::time_point deadline;
        bool started = false;   // a byte of the request has arrived
        bool continued = false; // "100 Continue" was sent for this request
        bool closing = false;   // refused: read to its end, then closed
        std::size_t served = 0; // requests answered on this connection
        // The rest of a reply, written as the client takes it; then the connection is
        // closed, or closed after a linger (`closing`), or waits for its next request.
        std::string out;
        std::size_t outAt = 0;
        bool closeAfter = false;
        bool writing() const { return outAt < out.size(); }
    };
    enum class Verdict { Incomplete, Complete, CutShort, Refuse };

    Verdict judge(Waiting& w, std::string& refusal) const;
    void handle(Waiting w, bool cutShort);
    void giveBack(Waiting w);
    // Sends what the socket takes of a connection's pending reply; false when the client
    // is gone.
    bool sendOut(Waiting& w);

    HttpBounds bounds_;
    std::vector<std::string> proxies_;
    std::vector<std::pair<std::string, std::size_t>> largeBodies_; // by path
    std::size_t otherBodies_ = 0; // the limit of every other path, once set
    int listener_ = -1;
    int wake_ = -1; // an eventfd: a connection was given back, or halt
    int port_ = 0;
    std::atomic<bool> halted_{false};
    std::atomic<std::size_t> busy_{0}; // connections with a worker or on their way back
    std::atomic<std::size_t> held_{0}; // bytes of replies waiting in memory
    std::mutex returnedMutex_;
    std::deque<Waiting> returned_;
};
