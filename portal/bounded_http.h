// The portal's HTTP server: cpp-httplib's request handling, under the portal's own
// connection loop, which bounds each request as a whole. The library bounds each single
// read in time and the request line and each header line in size, but a client that
// trickles a byte now and then would hold a worker for ever; here every request must
// arrive complete within a fixed time from its first wait, and an idle connection is
// closed after a short keep-alive.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

struct HttpBounds {
    std::chrono::milliseconds request{10000};  // a whole request, head and body
    std::chrono::milliseconds keepAlive{5000}; // waiting for the next request
    std::chrono::milliseconds write{5000};     // each write of the reply
    std::size_t requestsPerConnection = 1000;
    std::size_t workers = 32;
};

class BoundedHttpServer : public httplib::Server {
  public:
    explicit BoundedHttpServer(HttpBounds bounds = {}) : bounds_(bounds) {}
    ~BoundedHttpServer() override;

    // Binds and listens; port 0 picks a free port. False when the address cannot be used.
    bool open(const std::string& host, int port);
    int boundPort() const { return port_; }
    // Serves until halt(), then waits for the connections in progress.
    void serve();
    // From any thread.
    void halt() { halted_ = true; }

  private:
    void serveConnection(int fd);

    HttpBounds bounds_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> halted_{false};
};
