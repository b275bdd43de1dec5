// A stand-in for the online portal, for tests: a small HTTP server on 127.0.0.1, on a
// port the system picks, that serves one connection per entry of its script (a reply
// with a status, a late reply, a reply trickled byte by byte, a closed connection) and keeps every
// raw request it received. It runs in a thread of its own and stops with its owner. POSIX sockets.
//
// Beside it: a headless platform whose libraries are real (dlopen), for the tests that
// send through the real HTTP client library.
#pragma once

#include "backends/headless/headless.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class LoopbackPortal {
  public:
    struct Answer {
        enum Kind { Reply, Close, Trickle } kind = Reply;
        int status = 200;
        std::string body;
        int delayMs = 0; // waits this long after the request before it answers; a trickle
                         // waits this long before each byte of the answer, head included
    };
    static Answer reply(std::string body, int status = 200, int delayMs = 0) {
        return {Answer::Reply, status, std::move(body), delayMs};
    }
    static Answer closeAtOnce() { return {Answer::Close, 0, {}, 0}; }
    static Answer trickle(std::string body, int gapMs) {
        return {Answer::Trickle, 200, std::move(body), gapMs};
    }

    explicit LoopbackPortal(std::vector<Answer> script);
    ~LoopbackPortal();
    LoopbackPortal(const LoopbackPortal&) = delete;
    LoopbackPortal& operator=(const LoopbackPortal&) = delete;

    int port() const { return port_; }
    // True once every entry of the script has been served.
    bool finished() const { return finished_; }
    // The raw requests received so far, head and body.
    std::vector<std::string> requests() const;

    // A port on 127.0.0.1 where nothing listens.
    static int unusedPort();
    // The body of a raw request.
    static std::string bodyOf(const std::string& request);
    // The form fields of a highscore body, each value decoded with the field key (all but
    // f2, which travels in plain).
    static std::map<std::string, std::string> decodeFields(std::string_view body);

  private:
    void serve();
    void answer(int fd, const Answer& a);

    int listener_ = -1;
    int port_ = 0;
    std::vector<Answer> script_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// The headless platform with the system's run-time libraries.
class RealLibraryPlatform : public HeadlessPlatform {
  public:
    void* loadLibrary(const std::string& name) override;
    void* findFunction(void* library, const std::string& name) override;
};
