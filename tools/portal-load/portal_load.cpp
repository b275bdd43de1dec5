// pingel-portal-load: the portal under load.
//
//   prepare --database DB [--members N] [--hashes FILE]
//       creates N members (load-K@example.se, password "pw-K") in DB, hashing their
//       passwords in parallel, or taking the hashes from FILE when an earlier prepare
//       left them there; members that exist already are kept.
//   run --target HOST:PORT [--members N] [--clients C] [--seconds S] [--log FILE]
//       [--keep-alive] [--no-reference] [--score-base B]
//       sends one submission per member first (their first password check, not timed),
//       then the game's request bytes from C clients for S seconds; then, for the same
//       time and with the same clients, a bare GET answered by the portal's HTTP server
//       code in this process. Prints the rates, the 50th and 99th percentile latencies and
//       the ratio. Each accepted submission (reply 0 or 1) is written to FILE as
//       "EMAIL SCORE"; every score of a run is unique.
//   games --out FILE [--members N] [--updates U]
//       plays N honest games of U updates each (30,000: ten minutes; fewer where a game
//       ends sooner), a different one for each member, with a player that looks ahead, and
//       writes their replays to FILE, one base64url line each (minutes of processor time:
//       made once, then given to run).
//   run ... --games FILE
//       member K sends the game of line K with each submission: its score, a play time
//       that fits its updates, and its replay, which the portal runs to prove the score.
//       At most as many members as FILE holds games.
//   verify --database DB --log FILE
//       checks that every submission in FILE is in DB (and, for SQLite, that DB passes
//       its integrity check).
//
// Like the game, a client opens a connection for each submission and closes it after the
// reply; --keep-alive keeps one connection per client instead.
#include "long_game.h"
#include "net/form_field.h"
#include "net/highscore_submission.h"
#include "platform/resources.h"
#include "portal/http_server.h"
#include "portal/password.h"
#include "portal/storage.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string command;
    std::string database;
    std::string host = "127.0.0.1";
    int port = 0;
    int members = 1000;
    int clients = 32;
    double seconds = 10;
    std::string log;
    std::string hashes;
    bool keepAlive = false;
    bool reference = true;
    std::int64_t scoreBase = 1;
    std::string games;
    std::uint32_t gameUpdates = 30'000;
};

std::string memberEmail(int k) {
    return "load-" + std::to_string(k) + "@example.se";
}
std::string memberPassword(int k) {
    return "pw-" + std::to_string(k);
}

// A play time long enough that every score of a run is a ranked one.
constexpr std::int32_t playTimeMs = 4 * 3600 * 1000;
// The facts the game measures on its machine, as one machine would send them.
constexpr std::uint32_t buildChecksum = 2882400001u;
constexpr std::uint32_t buildLength = 1843200;

// The body exactly as the game makes it: the eleven fields in its order, f2 plain.
std::string submissionBody(const std::string& email, const std::string& password,
                           std::int32_t score) {
    const std::string s = std::to_string(score);
    const std::pair<const char*, std::string> fields[] = {
        {"f1", encodeField(email)},
        {"f2", "8"},
        {"f3", encodeField(password)},
        {"f4", encodeField(s)},
        {"f5", encodeField(std::to_string(playTimeMs))},
        {"f6", encodeField("1993")},
        {"f7", encodeField("CPU INTEL PENTIUM")},
        {"f8", encodeField(std::to_string(buildChecksum))},
        {"f9", encodeField(std::to_string(buildLength))},
        {"fa", encodeField(s + email)},
        {"fb", encodeField(std::to_string(
                   static_cast<std::int32_t>(buildLength + static_cast<std::uint32_t>(score))))},
    };
    std::string body;
    for (const auto& [name, value] : fields) {
        body += (body.empty() ? "" : "&") + std::string(name) + "=" + value;
    }
    return body;
}

// A member's own game, as the body carries it.
struct Game {
    std::string value; // base64url of the replay
    std::int32_t score = 0;
    std::int32_t playTimeMs = 0;
};

// The body of a submission with a game: its score and a play time its updates fit, then
// the replay after the eleven fields.
std::string gameBody(const std::string& email, const std::string& password, const Game& game) {
    std::string body = submissionBody(email, password, game.score);
    const std::string playTime = "&f5=" + encodeField(std::to_string(playTimeMs)) + "&";
    body.replace(body.find(playTime), playTime.size(),
                 "&f5=" + encodeField(std::to_string(game.playTimeMs)) + "&");
    return body + "&fc=" + game.value;
}

// The request as the game's HTTP client writes it: its agent, its one extra header.
std::string submissionRequest(const Options& o, const std::string& body) {
    return "POST " + std::string(highscoreObject) + " HTTP/1.1\r\nHost: " + o.host + ":" +
           std::to_string(o.port) + "\r\nUser-Agent: " + std::string(highscoreAgent) +
           "\r\nAccept: */*\r\n" + std::string(highscoreHeader) +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// One client's connection: a request out, a reply with a Content-Length in. On loopback,
// client c connects from 127.0.1.(c % 250 + 1), so that the portal's per-address limits
// see many players rather than one address sending for all of them.
class Connection {
  public:
    Connection(const Options& o, int port, int client) : o_(o), port_(port), client_(client) {}
    ~Connection() { drop(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The reply's status and body; nothing when the exchange failed.
    std::optional<std::pair<int, std::string>> exchange(const std::string& request) {
        if (fd_ < 0 && !open()) {
            return std::nullopt;
        }
        auto reply = sendAndRead(request);
        if (!reply || !o_.keepAlive || closeAfter_) {
            drop();
        }
        return reply;
    }

  private:
    bool open() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(port_));
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr =
            htonl((127u << 24) | (1u << 8) | static_cast<unsigned>(client_ % 250 + 1));
        if (fd_ < 0 || inet_pton(AF_INET, o_.host.c_str(), &to.sin_addr) != 1 ||
            (o_.host.starts_with("127.") &&
             ::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) ||
            ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            drop();
            return false;
        }
        const int yes = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        timeval bound{30, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        return true;
    }
    void drop() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
        in_.clear();
    }
    std::optional<std::pair<int, std::string>> sendAndRead(const std::string& request) {
        for (std::size_t sent = 0; sent < request.size();) {
            const ssize_t n =
                ::send(fd_, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return std::nullopt;
            }
            sent += static_cast<std::size_t>(n);
        }
        std::size_t headEnd;
        while ((headEnd = in_.find("\r\n\r\n")) == std::string::npos) {
            if (!fill()) {
                return std::nullopt;
            }
        }
        const std::string head = in_.substr(0, headEnd);
        int status = 0;
        if (head.size() < 12 || !head.starts_with("HTTP/1.") ||
            std::from_chars(head.data() + 9, head.data() + 12, status).ec != std::errc()) {
            return std::nullopt;
        }
        std::string lower = head;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const auto at = lower.find("\r\ncontent-length:");
        std::size_t length = 0;
        if (at != std::string::npos) {
            length = std::strtoul(lower.c_str() + at + 17, nullptr, 10);
        }
        closeAfter_ = lower.find("\r\nconnection: close") != std::string::npos;
        while (in_.size() < headEnd + 4 + length) {
            if (!fill()) {
                return std::nullopt;
            }
        }
        std::string body = in_.substr(headEnd + 4, length);
        in_.erase(0, headEnd + 4 + length);
        return std::pair{status, std::move(body)};
    }
    bool fill() {
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        in_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    const Options& o_;
    int port_;
    int client_;
    int fd_ = -1;
    bool closeAfter_ = false;
    std::string in_;
};

struct Tally {
    std::vector<std::uint32_t> micros; // of every answered request
    std::uint64_t accepted = 0, refused = 0, failed = 0;
    std::vector<std::pair<std::string, std::int32_t>> log;
};

struct Phase {
    double seconds = 0;
    Tally all;
};

double percentile(std::vector<std::uint32_t>& v, double p) {
    if (v.empty()) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(at), v.end());
    return v[at] / 1000.0;
}

// C clients, each running `next` until the time is up; one Tally per client, merged.
template <typename Next> Phase runClients(const Options& o, int port, double seconds, Next next) {
    std::vector<Tally> tallies(static_cast<std::size_t>(o.clients));
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    for (int c = 0; c < o.clients; ++c) {
        threads.emplace_back([&, c] {
            Connection connection(o, port, c);
            Tally& t = tallies[static_cast<std::size_t>(c)];
            for (std::uint64_t i = 0; Clock::now() < until; ++i) {
                const auto before = Clock::now();
                if (!next(c, i, connection, t)) {
                    ++t.failed;
                    // The server is gone for now (a kill, a restart): try again shortly.
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    continue;
                }
                t.micros.push_back(static_cast<std::uint32_t>(
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - before)
                        .count()));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    Phase phase;
    phase.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& t : tallies) {
        phase.all.micros.insert(phase.all.micros.end(), t.micros.begin(), t.micros.end());
        phase.all.accepted += t.accepted;
        phase.all.refused += t.refused;
        phase.all.failed += t.failed;
        phase.all.log.insert(phase.all.log.end(), t.log.begin(), t.log.end());
    }
    return phase;
}

bool isAccepted(const std::pair<int, std::string>& reply) {
    return reply.first == 200 && !reply.second.empty() &&
           (reply.second[0] == '0' || reply.second[0] == '1');
}

// The members' password hashes: read from `file` when it holds them (hashing a thousand
// passwords with Argon2id takes the better part of a minute), else made and written there.
std::vector<std::string> memberHashes(const Options& o) {
    std::vector<std::string> hashes;
    if (!o.hashes.empty()) {
        std::ifstream in(o.hashes);
        for (std::string line; std::getline(in, line) && hashes.size() < std::size_t(o.members);) {
            hashes.push_back(line);
        }
        if (hashes.size() == std::size_t(o.members)) {
            return hashes;
        }
    }
    hashes.assign(static_cast<std::size_t>(o.members), {});
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::max(2u, std::thread::hardware_concurrency()); ++t) {
        threads.emplace_back([&] {
            for (int k; (k = next++) < o.members;) {
                hashes[static_cast<std::size_t>(k)] = hashPassword(memberPassword(k));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    if (!o.hashes.empty()) {
        std::ofstream out(o.hashes);
        for (const auto& h : hashes) {
            out << h << '\n';
        }
    }
    return hashes;
}

int prepare(const Options& o) {
    auto storage = openStorage(o.database);
    const auto start = Clock::now();
    const auto hashes = memberHashes(o);
    int added = 0;
    for (int k = 0; k < o.members; ++k) {
        added += storage->addMember(memberEmail(k), "load " + std::to_string(k),
                                    hashes[static_cast<std::size_t>(k)], 0);
    }
    std::printf("prepare: %d members added (of %d) in %.1f s\n", added, o.members,
                std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}

void report(const char* what, Phase& p, const char* unit) {
    const double rate = static_cast<double>(p.all.accepted) / p.seconds;
    std::printf("%-12s %9.0f %s/s  p50 %7.2f ms  p99 %7.2f ms  (%llu ok, %llu refused, "
                "%llu failed, %.1f s)\n",
                what, rate, unit, percentile(p.all.micros, 0.5), percentile(p.all.micros, 0.99),
                static_cast<unsigned long long>(p.all.accepted),
                static_cast<unsigned long long>(p.all.refused),
                static_cast<unsigned long long>(p.all.failed), p.seconds);
}

// The games of `file` (see games); nothing when one is not a replay.
std::optional<std::vector<Game>> readGames(const std::string& file) {
    std::vector<Game> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const auto bytes = decodeBase64Url(line, replay::maxBytes);
        const replay::Decoded d = bytes ? replay::decode(*bytes) : replay::Decoded{};
        if (!d.replay) {
            return std::nullopt;
        }
        // Two updates a frame of 40 ms.
        const auto playTime = static_cast<std::int32_t>(d.replay->updates * 20 + 40);
        out.push_back({line, d.replay->score, playTime});
    }
    return out;
}

int run(const Options& o) {
    std::atomic<std::int64_t> nextScore{o.scoreBase};
    std::vector<Game> played;
    if (!o.games.empty()) {
        const auto read = readGames(o.games);
        if (!read || read->size() < static_cast<std::size_t>(o.members)) {
            std::fprintf(stderr,
                         "pingel-portal-load: %s does not hold a game for each of the %d"
                         " members\n",
                         o.games.c_str(), o.members);
            return 1;
        }
        played = *read;
    }
    // With games, only a proven score ("0") counts as accepted.
    auto accepted = [&](const std::pair<int, std::string>& reply) {
        return played.empty() ? isAccepted(reply) : reply.first == 200 && reply.second == "0";
    };
    // Member k's submission: with his game when there are games, else with a new score.
    auto request = [&](int k) {
        if (!played.empty()) {
            const Game& game = played[static_cast<std::size_t>(k)];
            return std::pair(
                submissionRequest(o, gameBody(memberEmail(k), memberPassword(k), game)),
                game.score);
        }
        const auto score = static_cast<std::int32_t>(nextScore++);
        return std::pair(
            submissionRequest(o, submissionBody(memberEmail(k), memberPassword(k), score)), score);
    };
    auto submit = [&](int c, std::uint64_t i, Connection& connection, Tally& t) {
        const int k = static_cast<int>(
            (static_cast<std::uint64_t>(c) + i * static_cast<std::uint64_t>(o.clients)) %
            static_cast<std::uint64_t>(o.members));
        const auto [bytes, score] = request(k);
        const auto reply = connection.exchange(bytes);
        if (!reply) {
            return false;
        }
        if (accepted(*reply)) {
            ++t.accepted;
            t.log.emplace_back(memberEmail(k), score);
        } else {
            ++t.refused;
        }
        return true;
    };

    // Every member's first password check, each once, not timed.
    {
        std::atomic<int> next{0};
        std::atomic<int> bad{0};
        std::mutex logMutex;
        std::vector<std::pair<std::string, std::int32_t>> firstLog;
        std::chrono::duration<double> worst{0};
        std::vector<std::thread> threads;
        const auto start = Clock::now();
        for (int c = 0; c < o.clients; ++c) {
            threads.emplace_back([&, c] {
                Connection connection(o, o.port, c);
                for (int k; (k = next++) < o.members;) {
                    const auto [bytes, score] = request(k);
                    const auto sent = Clock::now();
                    const auto reply = connection.exchange(bytes);
                    std::lock_guard lock(logMutex);
                    worst = std::max(worst, std::chrono::duration<double>(Clock::now() - sent));
                    if (reply && accepted(*reply)) {
                        firstLog.emplace_back(memberEmail(k), score);
                    } else if (++bad <= 3) {
                        std::fprintf(stderr, "pingel-portal-load: %s: %s\n", memberEmail(k).c_str(),
                                     reply ? (std::to_string(reply->first) + " " +
                                              reply->second.substr(0, 60))
                                                 .c_str()
                                           : "no reply");
                    }
                }
            });
        }
        for (auto& t : threads) {
            t.join();
        }
        std::printf("first checks: %d members in %.1f s (the slowest answer %.1f s), %d not"
                    " accepted\n",
                    o.members, std::chrono::duration<double>(Clock::now() - start).count(),
                    worst.count(), bad.load());
        if (bad > 0) {
            std::fprintf(stderr, "pingel-portal-load: members missing? run prepare first\n");
            return 1;
        }
        if (!o.log.empty()) {
            std::ofstream out(o.log);
            for (const auto& [email, score] : firstLog) {
                out << email << ' ' << score << '\n';
            }
        }
    }

    Phase load = runClients(o, o.port, o.seconds, submit);
    report("submissions", load, "accepted");
    if (!o.log.empty()) {
        std::ofstream out(o.log, std::ios::app);
        for (const auto& [email, score] : load.all.log) {
            out << email << ' ' << score << '\n';
        }
        if (!out) {
            std::fprintf(stderr, "pingel-portal-load: cannot write %s\n", o.log.c_str());
            return 1;
        }
    }
    if (!o.reference) {
        return 0;
    }

    // The reference: the same HTTP server code, with the portal's bounds, answering a bare
    // GET of a short constant text.
    HttpServer reference;
    reference.routes().get(
        "/ping",
        [](const http::Request&, http::Response& res) { res.setContent("pong", "text/plain"); },
        http::Runs::OnWorker);
    if (!reference.open("127.0.0.1", 0)) {
        std::fprintf(stderr, "pingel-portal-load: cannot open the reference server\n");
        return 1;
    }
    std::thread serving([&] { reference.serve(); });
    const std::string get =
        "GET /ping HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: " + std::string(highscoreAgent) +
        "\r\nAccept: */*\r\n\r\n";
    Phase bare = runClients(o, reference.port(), o.seconds,
                            [&](int, std::uint64_t, Connection& connection, Tally& t) {
                                const auto reply = connection.exchange(get);
                                if (!reply) {
                                    return false;
                                }
                                ++(reply->first == 200 ? t.accepted : t.refused);
                                return true;
                            });
    reference.halt();
    serving.join();
    report("bare GET", bare, "answered");
    const double ratio = (static_cast<double>(load.all.accepted) / load.seconds) /
                         (static_cast<double>(bare.all.accepted) / bare.seconds);
    std::printf("ratio        %.2f (accepted submissions per bare GET)\n", ratio);
    return 0;
}

int games(const Options& o) {
    const EmbeddedResources resources;
    std::vector<std::string> lines(static_cast<std::size_t>(o.members));
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t) {
        threads.emplace_back([&] {
            for (int k; (k = next++) < o.members;) {
                const LongGame game =
                    playLongGame(static_cast<std::uint32_t>(1000 + k),
                                 static_cast<std::uint32_t>(k), o.gameUpdates, resources, 10, 100);
                lines[static_cast<std::size_t>(k)] = encodeBase64Url(replay::encode(
                    replay::fromRecording(game.recording, game.score, buildChecksum, buildLength)));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    std::ofstream out(o.games);
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    if (!out) {
        std::fprintf(stderr, "pingel-portal-load: cannot write %s\n", o.games.c_str());
        return 1;
    }
    std::printf("games: %d written in %.1f s\n", o.members,
                std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}

int verify(const Options& o) {
    const bool postgres =
        o.database.starts_with("postgresql://") || o.database.starts_with("postgres://");
    auto db = postgres ? openPostgres(o.database) : openSqlite(o.database);
    if (!postgres) {
        const auto rows = db->run("PRAGMA integrity_check");
        if (rows.size() != 1 || rows[0][0].value_or("") != "ok") {
            std::printf("verify: integrity_check says %s\n",
                        rows.empty() ? "nothing" : rows[0][0].value_or("?").c_str());
            return 1;
        }
    }
    std::set<std::pair<std::string, std::int64_t>> stored;
    for (const auto& row : db->run("SELECT m.email, s.score FROM scores s"
                                   " JOIN members m ON m.id = s.member_id")) {
        stored.emplace(row[0].value_or(""),
                       std::strtoll(row[1].value_or("0").c_str(), nullptr, 10));
    }
    std::ifstream in(o.log);
    if (!in) {
        std::printf("verify: cannot read %s\n", o.log.c_str());
        return 1;
    }
    std::size_t logged = 0, missing = 0;
    std::string email;
    std::int64_t score;
    while (in >> email >> score) {
        ++logged;
        if (!stored.contains({email, score})) {
            if (++missing <= 5) {
                std::printf("verify: missing %s %lld\n", email.c_str(),
                            static_cast<long long>(score));
            }
        }
    }
    std::printf("verify: %zu accepted submissions logged, %zu in the database, %zu missing"
                " (%zu scores stored in all)\n",
                logged, logged - missing, missing, stored.size());
    return missing == 0 && logged > 0 ? 0 : 1;
}

constexpr const char* usage =
    "Usage: pingel-portal-load prepare --database DB [--members N] [--hashes FILE]\n"
    "       pingel-portal-load run --target HOST:PORT [--members N] [--clients C]\n"
    "                          [--seconds S] [--log FILE] [--keep-alive] [--no-reference]\n"
    "                          [--score-base B]\n"
    "       pingel-portal-load games --out FILE [--members N] [--updates U]\n"
    "       pingel-portal-load run ... --games FILE\n"
    "       pingel-portal-load verify --database DB --log FILE\n";

template <typename T> bool number(const std::string& text, T& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    if (argc < 2) {
        return std::nullopt;
    }
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string value = hasValue ? argv[i + 1] : "";
        bool ok = true;
        if (arg == "--keep-alive") {
            o.keepAlive = true;
            continue;
        }
        if (arg == "--no-reference") {
            o.reference = false;
            continue;
        }
        if (!hasValue) {
            return std::nullopt;
        }
        ++i;
        if (arg == "--database") {
            o.database = value;
        } else if (arg == "--hashes") {
            o.hashes = value;
        } else if (arg == "--log") {
            o.log = value;
        } else if (arg == "--target") {
            const auto colon = value.rfind(':');
            ok = colon != std::string::npos && number(value.substr(colon + 1), o.port);
            o.host = value.substr(0, colon);
        } else if (arg == "--members") {
            ok = number(value, o.members) && o.members > 0;
        } else if (arg == "--clients") {
            ok = number(value, o.clients) && o.clients > 0 && o.clients <= 1000;
        } else if (arg == "--seconds") {
            o.seconds = std::strtod(value.c_str(), nullptr);
            ok = o.seconds > 0;
        } else if (arg == "--games" || arg == "--out") {
            o.games = value;
        } else if (arg == "--updates") {
            ok = number(value, o.gameUpdates) && o.gameUpdates > 0 &&
                 o.gameUpdates <= replay::maxUpdates;
        } else if (arg == "--score-base") {
            ok = number(value, o.scoreBase) && o.scoreBase >= 0;
        } else {
            ok = false;
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    const bool complete = (o.command == "prepare" && !o.database.empty()) ||
                          (o.command == "run" && o.port > 0) ||
                          (o.command == "games" && !o.games.empty()) ||
                          (o.command == "verify" && !o.database.empty() && !o.log.empty());
    return complete ? std::optional(o) : std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // the scripts watch the lines as they come
    const auto options = parse(argc, argv);
    if (!options) {
        std::cerr << usage;
        return 2;
    }
    try {
        if (options->command == "prepare") {
            return prepare(*options);
        }
        if (options->command == "run") {
            return run(*options);
        }
        if (options->command == "games") {
            return games(*options);
        }
        return verify(*options);
    } catch (const std::exception& e) {
        std::cerr << "pingel-portal-load: " << e.what() << '\n';
        return 1;
    }
}
