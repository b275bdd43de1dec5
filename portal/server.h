// The portal's HTTP server: the game's highscore endpoint and the home page, on a bounded
// server (request line, headers and body limited in size, every read and write limited in
// time, a fixed pool of worker threads), so a slow or huge client cannot hold it.
#pragma once

#include "portal/storage.h"
#include "portal/submission.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
}

class PortalServer {
  public:
    explicit PortalServer(Storage& storage, ThrottleRules rules = {});
    ~PortalServer();
    PortalServer(const PortalServer&) = delete;
    PortalServer& operator=(const PortalServer&) = delete;

    // Binds the address; port 0 picks a free port. False when the address is taken.
    bool bind(const std::string& host, int port);
    int port() const { return port_; }
    // Serves until stop() (from any thread).
    bool run();
    void stop();

  private:
    Storage& storage_;
    ThrottleRules rules_;
    std::unique_ptr<httplib::Server> http_;
    int port_ = 0;
};

// The portal's home page: the all-time top list (nickname, score, date), HTML-escaped.
std::string homePage(Storage& storage);
