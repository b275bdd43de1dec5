// Hostile clients against a real portal on loopback, all at once: garbage, truncated,
// oversized and unframed requests, clients that trickle their bytes, and many that connect
// and send nothing, and many that ask for a large file and then do not read, ten times as
// many as the server has workers. Each is refused with a 4xx status, cut off once it has
// moved no byte for the idle bound, or answered when its request is whole or when it reads
// at last; the game's submissions and the home page are answered while all of them are
// still held, nothing of theirs reaches the database and no connection is left open
// afterwards. One address holds only its share of the connections.
#include "net/highscore_submission.h"
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
#include <map>
#include <mutex>
#include <regex>
#include <thread>

namespace {

using std::chrono::milliseconds;

// Long enough that the prompt requests below are all answered before the server cuts off
// the first idle client, even on a loaded machine.
constexpr unsigned idleBound = 10;

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
// idle bound), and closes.
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
    ASSERT_TRUE(storage->addMember("anna@example.se", "Anna", hashPassword("hemligt1"), 0));
    HttpLimits limits;
    limits.idleSeconds = idleBound;
    // Far fewer workers than slow clients, and room for all of them from this one address.
    limits.workers = 4;
    limits.perAddress = 1000;
    PortalServer server(*storage, {}, limits);
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
    // Once a page is answered the server holds all the files it serves with.
    ASSERT_EQ(send(port, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").status, 200);
    const std::int64_t rowsBefore = rowsIn(database);
    const std::size_t filesBefore = openFiles();

    const std::string good = Fields{}.body();
    const std::string page = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    struct Case {
        const char* what;
        int status;          // of the first reply, or 0: closed without a word
        std::string request; // sent whole, or a byte every `pause` when there is one
        milliseconds pause{0};
        int copies = 1;
        bool readsLate = false;
        bool idles = false; // cut off when it has moved no byte for the idle bound, never earlier
    };
    const std::vector<Case> cases = {
        {"garbage", 0, std::string("\x16\x03\x01\x02\x00\x01\x00\xff\r\n\r\n", 12)},
        {"truncated body", 0, post(good.substr(0, 100), "Content-Length: 500\r\n"), milliseconds(0),
         1, false, true},
        {"oversized body", 400, post(std::string(20000, 'A'), "Content-Length: 20000\r\n")},
        {"oversized request line", 414, "GET /" + std::string(40000, 'a') + " HTTP/1.1\r\n\r\n"},
        {"oversized header", 431, "GET / HTTP/1.1\r\nX: " + std::string(40000, 'a') + "\r\n\r\n"},
        {"huge length, no body", 400, post("", "Content-Length: 99999999999\r\n")},
        {"bad length", 400, post(good, "Content-Length: 12x\r\n")},
        {"no length", 400, post(good, "")},
        {"chunked", 400, post("5\r\nf1=00\r\n0\r\n\r\n", "Transfer-Encoding: chunked\r\n")},
        {"head never ends", 0, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n", milliseconds(0), 1, false,
         true},
        // More trickling clients than the server has workers: each holds a socket and its
        // head's bytes until its request is whole, and is then answered.
        {"a byte every 100 ms", 200, page, milliseconds(100), 40},
        {"idle connection", 0, "", milliseconds(0), 200, false, true},
        // Ten times the workers, each asking for a large reply and reading it only after
        // the prompt requests below are answered.
        {"reads its reply late", 200,
         "GET /spela/pingel.wasm HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
         milliseconds(0), 40, true},
    };
    std::size_t clientCount = 0;
    for (const Case& c : cases) {
        clientCount += static_cast<std::size_t>(c.copies);
    }
    // Counted down by each client once connected, by a late reader once its reply has
    // begun to arrive.
    std::latch underway(static_cast<std::ptrdiff_t>(clientCount));
    std::promise<void> letGo;
    const std::shared_future<void> readLate = letGo.get_future().share();
    std::atomic<int> idleEnded{0};
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
                std::vector<std::string> parts = {c->request};
                if (c->pause.count() > 0) { // a byte at a time
                    parts.clear();
                    for (const char ch : c->request) {
                        parts.emplace_back(1, ch);
                    }
                }
                sendParts(fd, parts, c->pause);
                if (c->readsLate) {
                    pollfd p{fd, POLLIN, 0};
                    poll(&p, 1, 10000);
                    underway.count_down();
                    readLate.wait();
                }
                const Outcome o = finish(fd);
                if (c->idles) {
                    ++idleEnded;
                }
                std::lock_guard lock(outcomesMutex);
                outcomes.emplace_back(c, o);
            });
        }
    }

    // Meanwhile, while every slow client is still held, the game's submissions (from an
    // address that is no member's, so that they write no score) and the home page are
    // answered.
    underway.wait();
    const std::string unknown = Fields{.email = "bo@example.se"}.body();
    const std::string prompt[] = {
        post(unknown,
             "Content-Length: " + std::to_string(unknown.size()) + "\r\nConnection: close\r\n"),
        page};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(prompt[i % 2].substr(0, 4));
        EXPECT_EQ(send(port, prompt[i % 2]).status, 200);
        EXPECT_EQ(idleEnded, 0);
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
    // Only the two submissions for an unknown address were counted, as guesses from there.
    EXPECT_EQ(rowsIn(database), rowsBefore + 2);
    // Every connection the clients left is closed on the server's side too.
    for (int i = 0; i < 100 && openFiles() > filesBefore; ++i) {
        std::this_thread::sleep_for(milliseconds(100));
    }
    EXPECT_LE(openFiles(), filesBefore);
    server.stop();
    serving.join();
    std::filesystem::remove_all(site);
}

// One address holds at most its share of the connections; another is served meanwhile,
// and the first is served again once one of its connections has gone.
TEST(ConnectionShare, OneAddressCannotHoldTheOthersConnections) {
    HttpLimits limits;
    limits.perAddress = 3;
    HttpServer server(limits);
    server.routes().get("/", [](const http::Request& req, http::Response& res) {
        res.setContent(req.client, "text/plain");
    });
    ASSERT_TRUE(server.open("127.0.0.1", 0));
    std::thread serving([&] { server.serve(); });
    const std::string get = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    const auto ask = [&](const char* from) { return exchange(server.port(), get, from); };
    std::vector<int> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(connectLoopback(server.port(), "127.0.0.7"));
    }
    // The connections are counted once the server has taken them: a request on each.
    for (const int fd : held) {
        sendParts(fd, {"GET / HTTP/1.1\r\nHost: x\r\n\r\n"}, milliseconds(0));
        char c;
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10000), 1);
        ASSERT_GT(recv(fd, &c, 1, MSG_PEEK), 0);
    }
    EXPECT_FALSE(ask("127.0.0.7").starts_with("HTTP/1.1")); // closed without a word
    const std::string other = ask("127.0.0.8");
    EXPECT_TRUE(other.starts_with("HTTP/1.1 200") && other.ends_with("\r\n\r\n127.0.0.8")) << other;
    ::close(held.back());
    held.pop_back();
    std::string again;
    for (int i = 0; i < 100 && !again.starts_with("HTTP/1.1 200"); ++i) {
        std::this_thread::sleep_for(milliseconds(50));
        again = ask("127.0.0.7");
    }
    EXPECT_TRUE(again.starts_with("HTTP/1.1 200")) << again;
    for (const int fd : held) {
        ::close(fd);
    }
    server.halt();
    serving.join();
}

TEST(LargeBodies, OnlyTheirPathTakesThemAndTogetherTheyStayWithinTheirMemory) {
    HttpLimits limits;
    limits.gathering = 100 * 1024;
    HttpServer server(limits);
    for (const auto& [path, limit] : {std::pair{"/large", 80 * 1024}, {"/small", 16 * 1024}}) {
        server.routes().postOpen(path, "a test", static_cast<std::size_t>(limit),
                                 [](const http::Request& req, http::Response& res) {
                                     res.setContent(std::to_string(req.body.size()), "text/plain");
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
    EXPECT_NE(exchange(server.port(), head("/large", body.size()) + body)
                  .find("\r\n\r\n" + std::to_string(body.size())),
              std::string::npos);
    const std::string small = exchange(server.port(), head("/small", body.size()) + body);
    EXPECT_TRUE(small.starts_with("HTTP/1.1 413")) << small.substr(0, 40); // never gathered
    // Two large bodies gathered at once would pass the memory for gathering: the second
    // is refused while the first waits for its end.
    const int first = connectLoopback(server.port());
    const std::string firstPart = head("/large", body.size()) + body.substr(0, 60 * 1024);
    ASSERT_EQ(::send(first, firstPart.data(), firstPart.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(firstPart.size()));
    std::this_thread::sleep_for(milliseconds(300));
    const std::string second = exchange(server.port(), head("/large", body.size()) + body);
    EXPECT_TRUE(second.starts_with("HTTP/1.1 503")) << second.substr(0, 40);
    ::close(first);
    server.halt();
    serving.join();
}

} // namespace

namespace {

// Strangers who guess passwords, flood the Argon2id queue and forge reset links, on each
// engine. Each client is told apart by the address a trusted proxy names, as behind TLS.
// What they may cost is asserted as counts (replies, Argon2id runs, rows), never as times:
// the throttle's waits are recorded instead of slept.
class StrangersTest : public testing::TestWithParam<std::string>, protected PortalFixture {
  protected:
    void SetUp() override {
        rules_.registrationsPerClient = 4;
        rules_.sleep = [this](milliseconds wait) {
            std::lock_guard lock(mutex_);
            waits_.push_back(wait);
        };
        if (!open(GetParam(), rules_)) {
            GTEST_SKIP() << "no PostgreSQL here: set PINGEL_PORTAL_TEST_POSTGRES";
        }
        ASSERT_TRUE(storage_->addMember("bo@example.se", "Bo", hashPassword("bo-hemlis"), 0));
        portal_->server.trustProxy("127.0.0.1");
        portal_->server.rankUnproven();
        AccountSettings settings;
        settings.loginsPerClient = 4;
        settings.resetsPerClient = 4;
        settings.newPasswordsPerClient = 4;
        ASSERT_TRUE(start(settings));
    }

    // The game's submission from the client `from`.
    std::string submit(const Fields& fields, const std::string& from) {
        const auto [status, body] = PortalFixture::submit(fields.body(), from);
        return status ? body : "no reply";
    }

    ThrottleRules rules_;
    std::mutex mutex_;
    std::vector<milliseconds> waits_;
};

const std::string throttled = "7 F\xF6r m\xE5nga f\xF6rs\xF6k";

TEST_P(StrangersTest, EveryGuessIsCountedAndOnlyTheGuessingAddressIsLockedOut) {
    struct Case {
        const char* what;
        const char* from;
        std::string email;
        const char* password;
        int copies;        // sent at once
        const char* reply; // to the first `answered` of them; the rest are throttled
        int answered;
        int checks; // Argon2id runs
    };
    const std::string anna = "anna@example.se", nobody = "ingen@example.se";
    const int account = rules_.perAccount, address = rules_.perAddress;
    // In order: each case finds the counts the ones before it left.
    const Case cases[] = {
        {"wrong passwords at once", "10.0.0.1", anna, "fel", 40, "3", account, account},
        {"then the right one from there", "10.0.0.1", anna, "hemligt1", 1, "0", 0, 0},
        {"a rival elsewhere", "10.0.0.2", anna, "fel", 10, "3", account, account},
        {"the owner from his address", "10.0.0.3", anna, "hemligt1", 1, "0", 1, 1},
        {"unknown addresses at once", "10.0.0.4", nobody, "fel", 48, "2", address, 0},
        {"then a member from there", "10.0.0.4", "bo@example.se", "bo-hemlis", 1, "0", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t runsBefore = portal_->server.passwords().runs();
        std::map<std::string, int> replies;
        std::mutex repliesMutex;
        std::vector<std::thread> clients;
        for (int i = 0; i < c.copies; ++i) {
            clients.emplace_back([&] {
                const std::string reply =
                    submit(Fields{.email = c.email, .password = c.password}, c.from);
                std::lock_guard lock(repliesMutex);
                ++replies[reply];
            });
        }
        for (auto& t : clients) {
            t.join();
        }
        std::map<std::string, int> expected = {{c.reply, c.answered},
                                               {throttled, c.copies - c.answered}};
        std::erase_if(expected, [](const auto& e) { return e.second == 0; });
        EXPECT_EQ(replies, expected);
        EXPECT_EQ(portal_->server.passwords().runs() - runsBefore, std::uint64_t(c.checks));
    }
    // The account's wrong passwords from everywhere slowed its checks, the owner's too,
    // by the growing delay up to its bound; he was answered all the same.
    const int failures = storage_->failuresSince("account:" + std::to_string(anna_), 0);
    EXPECT_EQ(failures, 2 * account);
    ASSERT_FALSE(waits_.empty());
    EXPECT_EQ(waits_.back(), accountDelay(failures, rules_));
    EXPECT_EQ(waits_.back(), rules_.maxDelay);
    // The owner's success forgot nobody else's guesses.
    EXPECT_EQ(storage_->failuresSince("guess:" + std::to_string(anna_) + ":10.0.0.2", 0), account);
}

TEST(AccountDelay, GrowsFromTheLimitUpToItsBound) {
    const ThrottleRules rules;
    const std::pair<int, milliseconds> cases[] = {
        {0, milliseconds(0)},     {4, milliseconds(0)},          {5, milliseconds(250)},
        {6, milliseconds(500)},   {8, milliseconds(2000)},       {9, milliseconds(4000)},
        {10, milliseconds(4000)}, {1000000, milliseconds(4000)},
    };
    for (const auto& [failures, delay] : cases) {
        EXPECT_EQ(accountDelay(failures, rules), delay) << failures;
    }
}

TEST_P(StrangersTest, AFullPasswordQueueAsksToWaitAndAResetLinkIsCheckedFirst) {
    // Anna's password is checked once, and then known without Argon2id.
    ASSERT_EQ(submit(Fields{}, "10.0.1.1"), "0");
    // A link sent to Bo, and one that was never sent.
    ASSERT_EQ(post("/getpass.asp", {{"mail", "bo@example.se"}}, "", "10.0.1.2")->status, 200);
    const std::string text = mail().at(0);
    const std::string token = text.substr(text.find("?t=") + 3, 64);
    const auto withToken = [](const std::string& t) {
        return httplib::Params{{"t", t}, {"losenord", "nytt-ord"}, {"losenord2", "nytt-ord"}};
    };

    portal_->server.passwords().setBound(0); // as if the queue were full
    const std::uint64_t runsBefore = portal_->server.passwords().runs();
    const std::int64_t rowsBefore = storage_->failuresSince("address:10.0.1.3", 0);
    EXPECT_EQ(submit(Fields{}, "10.0.1.3"), "0"); // a known password never waits
    EXPECT_EQ(submit(Fields{.email = "bo@example.se", .password = "bo-hemlis"}, "10.0.1.3"),
              "7 Upptaget, f\xF6rs\xF6k igen om en stund");
    // A refusal for a full queue is no guess.
    EXPECT_EQ(storage_->failuresSince("address:10.0.1.3", 0), rowsBefore);
    struct Page {
        const char* path;
        httplib::Params form;
    };
    for (const Page& page :
         {Page{"/logga-in/", {{"epost", "bo@example.se"}, {"losenord", "bo-hemlis"}}},
          Page{"/registrera/",
               {{"epost", "cia@example.se"},
                {"smeknamn", "Cia"},
                {"losenord", "cia-hemlis"},
                {"losenord2", "cia-hemlis"}}},
          Page{"/nytt-losenord/", withToken(token)}}) {
        SCOPED_TRACE(page.path);
        const auto res = post(page.path, page.form, "", "10.0.1.4");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 503);
        EXPECT_EQ(res->get_header_value("Retry-After"), "5");
    }
    EXPECT_EQ(portal_->server.passwords().runs(), runsBefore);
    EXPECT_FALSE(storage_->findMember("cia@example.se"));

    // With room again: a forged link hashes nothing; the real one still works.
    portal_->server.passwords().setBound(argonSlots * (1 + argonWaitingPerSlot));
    const auto forged = post("/nytt-losenord/", withToken(std::string(64, 'a')), "", "10.0.1.5");
    ASSERT_TRUE(forged);
    EXPECT_EQ(forged->status, 404);
    EXPECT_EQ(portal_->server.passwords().runs(), runsBefore);
    EXPECT_EQ(post("/nytt-losenord/", withToken(token), "", "10.0.1.5")->status, 200);
    EXPECT_EQ(portal_->server.passwords().runs(), runsBefore + 1);
}

// A member's address and a stranger's, each from a client of its own: the same status, the
// same page (but for the address typed) and the same Argon2id runs; only the mail differs.
TEST_P(StrangersTest, RegistrationLoginAndResetDoNotTellWhoIsAMember) {
    struct Case {
        const char* what;
        const char* path;
        const char* field; // where the address goes, beside the fields below
        std::string stranger;
        std::uint64_t checks;
    };
    // A new member's fields, and a wrong password for Anna.
    const httplib::Params fields = {
        {"smeknamn", "Ny"}, {"losenord", "hemligt2"}, {"losenord2", "hemligt2"}};
    const Case cases[] = {
        {"registration", "/registrera/", "epost", "ny@example.se", 1},
        {"a wrong password", "/logga-in/", "epost", "ingen@example.se", 1},
        {"a forgotten password", "/getpass.asp", "mail", "okand@example.se", 0},
    };
    int client = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::pair<int, std::string>> answers;
        for (const std::string& address : {std::string("anna@example.se"), c.stranger}) {
            httplib::Params form = fields;
            form.emplace(c.field, address);
            const std::uint64_t runsBefore = portal_->server.passwords().runs();
            const auto res = post(c.path, form, "", "10.0.4." + std::to_string(++client));
            ASSERT_TRUE(res);
            EXPECT_EQ(portal_->server.passwords().runs() - runsBefore, c.checks) << address;
            // The address also stands %-encoded in a link.
            std::string page = res->body;
            for (const std::string& typed : {address, percentEncoded(address)}) {
                page = std::regex_replace(page, std::regex(typed), "ADDRESS");
            }
            answers.emplace_back(res->status, page);
        }
        EXPECT_EQ(answers[0], answers[1]);
    }
    // The unknown address's guess was recorded as a guess at an account is.
    EXPECT_EQ(storage_->failuresSince("guess:nobody:ingen@example.se:10.0.4.4", 0), 1);
    // Anna's account is as it was; she was told by mail, the stranger got his link.
    const auto anna = storage_->findMember("anna@example.se");
    EXPECT_EQ(anna->nickname, "Anna");
    EXPECT_TRUE(verifyPassword(anna->passwordHash, "hemligt1"));
    EXPECT_FALSE(storage_->findMember("ny@example.se")->confirmed);
    std::map<std::string, std::string> mailTo;
    for (const std::string& text : mail()) {
        const auto to = text.find("To: ");
        mailTo[text.substr(to + 4, text.find('\n', to) - to - 4)] += text;
    }
    EXPECT_NE(mailTo["anna@example.se"].find("redan medlem"), std::string::npos);
    EXPECT_EQ(mailTo["anna@example.se"].find("/bekrafta/"), std::string::npos);
    EXPECT_NE(mailTo["ny@example.se"].find("/bekrafta/?t="), std::string::npos);
}

TEST_P(StrangersTest, PagesThatHashOrMailAreLimitedPerClient) {
    struct Case {
        const char* path;
        httplib::Params form;
        int status; // while within the limit, set to 4 an hour here
    };
    const Case cases[] = {
        {"/registrera/", {{"epost", "inte en adress"}}, 422},
        {"/logga-in/", {{"epost", "anna@example.se"}, {"losenord", "hemligt1"}}, 303},
        {"/getpass.asp", {}, 200}, // each for another address
        {"/nytt-losenord/", {{"t", std::string(64, 'a')}}, 404},
    };
    int client = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string from = "10.0.2." + std::to_string(++client);
        const auto send = [&](int i, const std::string& from) {
            httplib::Params form = c.form;
            form.emplace("mail", "n" + std::to_string(i) + "@example.se");
            const auto res = post(c.path, form, "", from);
            return res ? res->status : 0;
        };
        for (int i = 0; i <= 4; ++i) {
            EXPECT_EQ(send(i, from), i < 4 ? c.status : 429) << i;
        }
        EXPECT_EQ(send(9, "10.0.3.1"), c.status); // another client is not held back
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, StrangersTest,
                         testing::Values(std::string("sqlite"), std::string("postgres")));

} // namespace
