// What the portal's tests share: where they keep their databases (a fresh SQLite file per
// test, or the PostgreSQL database named by PINGEL_PORTAL_TEST_POSTGRES, emptied first),
// a server serving on loopback, the game's highscore body, and raw exchanges on loopback
// that no client library tidies; games played through the game's own World and their
// replays, and the verdicts stored with the scores; the fixture most tests build on: a
// served portal with Anna as its member, its outbox, a form token and logging in.
#pragma once

#include "game/replay.h"
#include "net/form_field.h"
#include "portal/server.h"

#include <httplib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A fresh, empty database for the engine ("sqlite" or "postgres"), or "" when it is not available
// here.
std::string freshDatabase(const std::string& engine);
// A socket connected to the port on loopback from the loopback address `from`, or -1.
int connectLoopback(int port, const char* from = "127.0.0.1");
// Sends the request as it is (from `from`) and returns all that arrives until the server
// closes.
std::string exchange(int port, const std::string& request, const char* from = "127.0.0.1");
// A folder of the test's own under its temporary directory, made afresh.
std::filesystem::path freshFolder(const std::string& name);
// The text of each file in `folder`, sorted by name; none when there is no such folder.
std::vector<std::string> filesIn(const std::filesystem::path& folder);

constexpr const char* formType = "application/x-www-form-urlencoded";

// A portal server on a free loopback port, serving on a thread of its own once started,
// with a client to it; stopped when it goes. Configure `server` before start().
struct ServedPortal {
    explicit ServedPortal(Storage& storage, ThrottleRules rules = {}) : server(storage, rules) {}
    ~ServedPortal();
    bool start(); // false when it cannot bind
    // The CSRF token a first visit of `page` is given in its cookie ("" when none).
    std::string csrfToken(const char* page = "/logga-in/");
    PortalServer server;
    std::thread thread;
    std::unique_ptr<httplib::Client> client;
};

// The fields of one highscore submission before the game's encoding; `raw` replaces a
// field's value on the wire. The default is Anna's (anna@example.se, "hemligt1").
struct Fields {
    std::string email = "anna@example.se";
    std::string gameId = "8";
    std::string password = "hemligt1";
    std::int32_t score = 1200;
    std::int32_t playTimeMs = 60000;
    std::uint32_t checksum = 3735928559u;
    std::uint32_t length = 100000;
    std::vector<std::pair<std::string, std::string>> raw = {};
    std::string replay = {}; // the bytes sent as "fc" after the eleven, unless empty

    std::string body() const;
};

// A game played in-process through the game's own World from `seed` with `script` (arrows
// and how many updates each, as in the golden games), until the script ends or the game is
// over; its replay holds it up to the update that made its score, as the game sends it.
replay::Replay playedGame(std::uint32_t seed, const std::vector<replay::InputRun>& script,
                          Build build = {3735928559u, 100000});
// The fields of Anna's submission of `game`: its score and build, play time for its updates.
Fields fieldsFor(const replay::Replay& game);

// A score of `points` by `member` at `at`, ranked and proven unless `proven` is false.
ScoreEntry scoreOf(std::int64_t member, std::int32_t points, std::int64_t at, bool proven = true);

// The scores as stored, oldest first, read with SQL beside the portal's own storage.
struct StoredScore {
    std::int64_t id = 0;
    bool ranked = false;
    bool proven = false;
    std::string verdict;
};
std::vector<StoredScore> storedScores(const std::string& location);

// The base of most fixtures: a portal on a fresh database of one engine with Anna
// (anna@example.se, "hemligt1") as its member. open(), configure portal_->server, start().
class PortalFixture {
  protected:
    ~PortalFixture();
    // False when the engine is not available here.
    bool open(const std::string& engine, ThrottleRules rules = {});
    // Serves; with `accounts` also the members' pages, mailing into a fresh outbox, and
    // takes a form token (csrf_).
    bool start(std::optional<AccountSettings> accounts = std::nullopt);

    // A form posted with the form token; `session` and `from` (X-Forwarded-For) when given.
    httplib::Result post(const std::string& path, httplib::Params form,
                         const std::string& session = "", const std::string& from = "");
    httplib::Result get(const std::string& path, const std::string& session);
    // The session token of a successful login, or "".
    std::string login(const std::string& email, const std::string& password);
    // The messages in the outbox (their order within a second is not kept).
    std::vector<std::string> mail() const { return filesIn(outbox_); }
    // The game's submission, on a connection of its own (from `from` when given).
    std::pair<int, std::string> submit(const std::string& body, const std::string& from = "",
                                       const char* type = formType);

    std::string location_;
    std::unique_ptr<Storage> storage_;
    std::int64_t anna_ = 0;
    std::unique_ptr<ServedPortal> portal_;
    std::filesystem::path outbox_;
    std::string csrf_;
};
