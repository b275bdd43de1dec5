// Hostile clients against a real portal on loopback, all at once: garbage, truncated,
// oversized and unframed requests, clients that trickle their bytes, and many that connect
// and send nothing, and many that ask for a large file and then do not read. Each is
// refused with a 4xx status, cut off by the time bound or answered when it reads at last;
// the game's submissions and the home page are answered while all of them are still held,
// nothing reaches the database and no connection is left open afterwards.
#include "portal/password.h"
#include "portal/sql.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <mutex>
#include <thread>

namespace {

using std::chrono::milliseconds;

// Long enough that the prompt requests below are all answered before it cuts off the
// first client it bounds, even on a loaded machine.
constexpr milliseconds requestBound{10000};

struct Outcome {
    int status = 0;      // of the reply, 0 when the server closed without one
    std::string body;    // after the head
    bool closed = false; // by the server, rather than given up after 20 silent seconds
};

// Sends `parts` with `pause` between them, stopping when the server has answered or closed.
void sendParts(int fd, const std::vector<std::string>& parts, milliseconds pause) {
    for (const auto& part : parts) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(pause.count())) > 0 ||
            ::send(fd, part.data(), part.size(), MSG_NOSIGNAL) < 0) {
            break;
        }
    }
}

// Reads until the server closes, or gives up after 20 seconds without a byte (twice the
// request bound), and closes.
Outcome finish(int fd) {
    std::string reply;
    Outcome o;
    for (char chunk[4096];;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) {
            break;
        }
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            o.closed = true;
            break;
        }
        reply.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    if (const auto head = reply.find("\r\n\r\n"); head != std::string::npos) {
        o.body = reply.substr(head + 4);
    }
    if (reply.starts_with("HTTP/1.1 ") && reply.size() >= 12) {
        o.status = std::stoi(reply.substr(9, 3));
    }
    return o;
}

Outcome send(int port, const std::string& request) {
    const int fd = connectLoopback(port);
    sendParts(fd, {request}, milliseconds(0));
    return finish(fd);
}

std::string post(const std::string& body, const std::string& lengthHeader) {
    return "POST /r0002.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\n" +
           lengthHeader + "\r\n" + body;
}

std::int64_t rowsIn(const std::string& database) {
    const auto rows = openSqlite(database)->run(
        "SELECT (SELECT COUNT(*) FROM scores) + (SELECT COUNT(*) FROM failures)"
        " + (SELECT COUNT(*) FROM members)");
    return std::stoll(rows.at(0).at(0).value_or("-1"));
}

std::size_t openFiles() {
    const std::filesystem::directory_iterator files("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(files), end(files)));
}

TEST(HostileClients, AreRefusedOrCutOffWhileTheGameIsServedAndNothingIsWritten) {
    const std::string database = freshDatabase("sqlite");
    auto storage = openStorage(database);
    ASSERT_TRUE(storage->addMember("anna@example.se", "Anna", hashPassword("hemligt"), 0));
    HttpBounds bounds;
    bounds.request = requestBound;
    // A worker that wrote a reply itself would wait on a late reader until it is let go.
    bounds.write = std::chrono::seconds(60);
    PortalServer server(*storage, {}, bounds);
    // A file larger than the socket buffers on loopback take, for clients that never read
    // it.
    constexpr std::size_t largeFile = 5 * 1024 * 1024;
    const std::filesystem::path site = database + "-site";
    std::filesystem::create_directories(site);
    std::ofstream(site / "pingel.wasm") << std::string(largeFile, 'w');
    server.serveSite(site.string());
    ASSERT_TRUE(server.bind("127.0.0.1", 0));
    std::thread serving([&] { server.run(); });
    const int port = server.port();
    const std::int64_t rowsBefore = rowsIn(database);
    const std::size_t filesBefore = openFiles();

    const std::string good = Fields{}.body();
    const std::string bytewise =
        post(good, "Content-Length: " + std::to_string(good.size()) + "\r\n");
    std::vector<std::string> trickle;
    for (char c : bytewise) {
        trickle.emplace_back(1, c);
    }
    struct Case {
        const char* what;
        int status; // 4xx, or 0: closed without a word
        std::vector<std::string> parts;
        milliseconds pause{0};
        int copies = 1;
        bool readsLate = false;
        // Cut off by the request bound, never earlier.
        bool bounded() const { return status == 408 || status == 0; }
    };
    const std::vector<Case> cases = {
        {"garbage", 400, {std::string("\x16\x03\x01\x02\x00\x01\x00\xff\r\n\r\n", 12)}},
        {"truncated body", 408, {post(good.substr(0, 100), "Content-Length: 500\r\n")}},
        {"oversized body", 400, {post(std::string(20000, 'A'), "Content-Length: 20000\r\n")}},
        {"oversized request line", 431, {"GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n"}},
        {"oversized header", 431, {"GET / HTTP/1.1\r\nX: " + std::string(20000, 'a') + "\r\n\r\n"}},
        {"huge length, no body", 400, {post("", "Content-Length: 99999999999\r\n")}},
        {"bad length", 400, {post(good, "Content-Length: 12x\r\n")}},
        {"no length", 411, {post(good, "")}},
        {"chunked", 411, {post("5\r\nf1=00\r\n0\r\n\r\n", "Transfer-Encoding: chunked\r\n")}},
        {"head never ends", 408, {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"}},
        // More trickling clients than the server has workers, each well within any single
        // read's time, and more connections that say nothing at all.
        {"a byte every 100 ms", 408, trickle, milliseconds(100), 40},
        {"idle connection", 0, {}, milliseconds(0), 200},
        // More than the workers again, each asking for a large reply and reading it only
        // after the prompt requests below are answered.
        {"reads its reply late",
         200,
         {"GET /spela/pingel.wasm HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
         milliseconds(0),
         40,
         true},
    };
    std::size_t clientCount = 0;
    for (const Case& c : cases) {
        clientCount += static_cast<std::size_t>(c.copies);
    }
    // Counted down by each client once connected, by a late reader once its reply has
    // begun to arrive (its worker, if it wrote the reply itself, would now be waiting).
    std::latch underway(static_cast<std::ptrdiff_t>(clientCount));
    std::promise<void> letGo;
    const std::shared_future<void> readLate = letGo.get_future().share();
    std::atomic<int> boundedEnded{0};
    std::vector<std::pair<const Case*, Outcome>> outcomes;
    std::mutex outcomesMutex;
    std::vector<std::thread> clients;
    for (const Case& c : cases) {
        for (int i = 0; i < c.copies; ++i) {
            clients.emplace_back([&, c = &c] {
                const int fd = connectLoopback(port);
                if (!c->readsLate) {
                    underway.count_down();
                }
                sendParts(fd, c->parts, c->pause);
                if (c->readsLate) {
                    pollfd p{fd, POLLIN, 0};
                    poll(&p, 1, 10000);
                    underway.count_down();
                    readLate.wait();
                }
                const Outcome o = finish(fd);
                if (c->bounded()) {
                    ++boundedEnded;
                }
                std::lock_guard lock(outcomesMutex);
                outcomes.emplace_back(c, o);
            });
        }
    }

    // Meanwhile, while every slow client is still held, the game's submissions (from an
    // address that is no member's, so that they write nothing) and the home page are
    // answered.
    underway.wait();
    const std::string unknown = Fields{.email = "bo@example.se"}.body();
    const std::string prompt[] = {
        post(unknown,
             "Content-Length: " + std::to_string(unknown.size()) + "\r\nConnection: close\r\n"),
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(prompt[i % 2].substr(0, 4));
        EXPECT_EQ(send(port, prompt[i % 2]).status, 200);
        EXPECT_EQ(boundedEnded, 0);
    }
    letGo.set_value();

    for (auto& t : clients) {
        t.join();
    }
    for (const auto& [c, o] : outcomes) {
        SCOPED_TRACE(c->what);
        EXPECT_EQ(o.status, c->status);
        EXPECT_TRUE(o.closed);
        if (c->readsLate) {
            EXPECT_EQ(o.body.size(), largeFile);
        }
    }
    EXPECT_EQ(rowsIn(database), rowsBefore);
    // Every connection the clients left is closed on the server's side too.
    for (int i = 0; i < 100 && openFiles() > filesBefore; ++i) {
        std::this_thread::sleep_for(milliseconds(100));
    }
    EXPECT_EQ(openFiles(), filesBefore);
    server.stop();
    serving.join();
    std::filesystem::remove_all(site);
}

TEST(SlowReaders, GetTheirRepliesWholePastTheMemoryCaps) {
    // Caps that one reply's rest fits and two together do not: the others' workers write
    // their replies themselves, as the clients read.
    HttpBounds bounds;
    bounds.replyBuffer = 6 * 1024 * 1024;
    bounds.replyBuffers = 7 * 1024 * 1024;
    BoundedHttpServer server(bounds);
    std::string body(8 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>('a' + i % 23);
    }
    server.Get("/big", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    ASSERT_TRUE(server.open("127.0.0.1", 0));
    std::thread serving([&] { server.serve(); });
    std::vector<Outcome> outcomes(3);
    std::vector<std::thread> clients;
    for (Outcome& o : outcomes) {
        clients.emplace_back([&] {
            const int fd = connectLoopback(server.boundPort());
            sendParts(fd, {"GET /big HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
                      milliseconds(0));
            std::this_thread::sleep_for(milliseconds(500));
            o = finish(fd);
        });
    }
    for (auto& t : clients) {
        t.join();
    }
    for (const Outcome& o : outcomes) {
        EXPECT_EQ(o.status, 200);
        EXPECT_TRUE(o.body == body) << o.body.size();
    }
    server.halt();
    serving.join();
}

} // namespace

namespace {

TEST(LargeBodies, OnlyTheirPathTakesThemAndTogetherTheyStayWithinTheirMemory) {
    HttpBounds bounds;
    bounds.gathering = 100 * 1024;
    BoundedHttpServer server(bounds);
    server.set_payload_max_length(16 * 1024);
    server.allowBody("/large", 80 * 1024);
    for (const char* path : {"/large", "/small"}) {
        server.Post(path, [](const httplib::Request&, httplib::Response& res,
                             const httplib::ContentReader& read) {
            std::size_t size = 0;
            read([&](const char*, std::size_t n) {
                size += n;
                return true;
            });
            res.set_content(std::to_string(size), "text/plain");
        });
    }
    ASSERT_TRUE(server.open("127.0.0.1", 0));
    std::thread serving([&] { server.serve(); });
    const auto head = [](const char* path, std::size_t length) {
        return std::string("POST ") + path +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(length) +
               "\r\nConnection: close\r\n\r\n";
    };
    const std::string body(70 * 1024, 'x');
    // One path takes a large body, the others keep their limit.
    EXPECT_NE(exchange(server.boundPort(), head("/large", body.size()) + body)
                  .find("\r\n\r\n" + std::to_string(body.size())),
              std::string::npos);
    const std::string small = exchange(server.boundPort(), head("/small", body.size()) + body);
    EXPECT_TRUE(small.starts_with("HTTP/1.1 4")) << small.substr(0, 40); // never gathered
    // Two large bodies gathered at once would pass the memory for gathering: the second
    // is refused while the first waits for its end.
    const int first = connectLoopback(server.boundPort());
    const std::string firstPart = head("/large", body.size()) + body.substr(0, 60 * 1024);
    ASSERT_EQ(::send(first, firstPart.data(), firstPart.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(firstPart.size()));
    std::this_thread::sleep_for(milliseconds(300));
    const std::string second = exchange(server.boundPort(), head("/large", body.size()) + body);
    EXPECT_TRUE(second.starts_with("HTTP/1.1 503")) << second.substr(0, 40);
    ::close(first);
    server.halt();
    serving.join();
}

} // namespace
