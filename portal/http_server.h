// The portal's HTTP server on libmicrohttpd, which owns the connections: several event
// loops accept, read and write every socket without blocking, parse the requests within
// their limits and close a connection that moves no byte for a while. A request whose head
// and body have arrived whole goes to a handler from the route table (http.h): on a fixed
// pool of the portal's own workers, with a bounded queue, while its connection waits
// suspended; the reply is then written by the event loop as the client takes it. So a
// client that trickles, idles, stops reading or reads slowly holds a socket and a bounded
// amount of memory, never a worker, and one address (an IPv6 /64) holds at most a bounded
// share of the connections.
#pragma once

#include "portal/http.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct HttpLimits {
    std::size_t connections = 2048; // open at once
    std::size_t perAddress = 64;    // open at once from one address (IPv6: one /64)
    unsigned idleSeconds = 10;      // a connection moving no byte this long is closed
    // The head of a request and the library's buffers, per connection; a longer head is
    // refused (431 or 414).
    std::size_t connectionMemory = 32 * 1024;
    // Bodies being gathered hold at most this much together; a request whose body would
    // pass it is refused with 503.
    std::size_t gathering = 64 * 1024 * 1024;
    unsigned eventLoops = 0; // 0: one per core, at least two
    // The workers that run handlers. More than the password checks that may run or wait
    // at once (password.h), so a request that needs none always finds a worker.
    std::size_t workers = 64;
    std::size_t waiting = 4096; // requests waiting for a worker; beyond, 503
};

// The client that an X-Forwarded-For header names last (the one the nearest proxy added),
// when that is an IPv4 or IPv6 address; nothing otherwise.
std::optional<std::string> forwardedClient(std::string_view header);
// The key under which an address's connections are counted: an IPv4 address as it is,
// an IPv6 address by its /64 (an IPv4-mapped one as the IPv4 address).
std::string addressShare(std::string_view address);
// An IPv4 or IPv6 address in its one usual text (an IPv4-mapped one as IPv4), so that two
// spellings of an address compare equal; nothing when the text is no address.
std::optional<std::string> canonicalAddress(std::string_view text);

// A request answered: its reply's status and body bytes, and the time from the arrival of
// its head to its reply handed to the connection (what the client then takes to read it
// is not counted).
struct HttpEnded {
    const http::Request& request;
    const http::Route* route; // nullptr when no route took it
    int status;
    std::size_t bytes;
    std::chrono::microseconds took;
};

class HttpServer {
  public:
    explicit HttpServer(HttpLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // The routes, filled in before serve().
    http::Routes& routes() { return routes_; }
    // Called on every reply before it is sent, whatever made it (a handler, a refusal of
    // this server's): the portal's headers, a text for an empty error.
    std::function<void(const http::Request&, http::Response&)> finish;
    // A handler threw: the reply to send instead.
    std::function<void(const http::Request&, http::Response&, std::exception_ptr)> failed;
    // Called once for every request answered, as its reply is queued (before the client can
    // see it), on the thread of the connection's event loop: it must be quick and must not
    // block.
    std::function<void(const HttpEnded&)> ended;

    // A request that comes from `proxy` (an IP address, such as a TLS proxy on this host)
    // counts as coming from the client its X-Forwarded-For names last; the proxy's own
    // connections are not held to the share of one address. Before open().
    void trustProxy(const std::string& proxy) { proxies_.push_back(proxy); }
    bool trusts(const std::string& address) const;
    // Binds and listens; port 0 picks a free port. False when the address cannot be used.
    bool open(const std::string& host, int port);
    int port() const { return port_; }
    // Serves until halt(), then answers the requests in progress and closes.
    void serve();
    // From any thread.
    void halt();
    // Connections open now, and requests begun and not yet ended (from any thread).
    std::size_t openConnections() const;
    std::size_t requestsInProgress() const;

    struct Impl;

  private:
    HttpLimits limits_;
    http::Routes routes_;
    std::vector<std::string> proxies_;
    int port_ = 0;
    std::unique_ptr<Impl> impl_;
};
