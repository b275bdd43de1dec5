// What the portal's tests share; see portal_test_support.h.
#include "portal_test_support.h"

#include "game/world.h"
#include "net/highscore_submission.h"
#include "platform/resources.h"
#include "portal/password.h"
#include "portal/sql.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

std::string freshDatabase(const std::string& engine) {
    if (engine == "sqlite") {
        static std::atomic<int> next{0};
        const auto path =
            std::filesystem::path(testing::TempDir()) /
            ("pingel-portal-" + std::to_string(getpid()) + "-" + std::to_string(next++) + ".db");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(path.string() + suffix);
        }
        return path.string();
    }
    const char* url = std::getenv("PINGEL_PORTAL_TEST_POSTGRES");
    if (!url || !*url) {
        return "";
    }
    openPostgres(url)->run("DROP TABLE IF EXISTS moderation_log, member_bans, hidden_scores, "
                           "kept_bests, schema_migrations, settings, "
                           "confirm_tokens, reset_tokens, sessions,"
                           " failures, builds, scores, members, schema_version CASCADE");
    return url;
}

int connectLoopback(int port, const char* from) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    inet_pton(AF_INET, from, &own.sin_addr);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0) {
        close(fd);
        return -1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string exchange(int port, const std::string& request, const char* from) {
    const int fd = connectLoopback(port, from);
    std::string reply;
    if (fd >= 0 &&
        send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
        char chunk[4096];
        for (ssize_t n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) {
            reply.append(chunk, static_cast<std::size_t>(n));
        }
    }
    if (fd >= 0) {
        close(fd);
    }
    return reply;
}

std::filesystem::path freshFolder(const std::string& name) {
    const auto dir = std::filesystem::path(testing::TempDir()) /
                     ("pingel-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> out;
    for (const auto& file : files) {
        std::ostringstream text;
        text << std::ifstream(file).rdbuf();
        out.push_back(text.str());
    }
    return out;
}

ServedPortal::~ServedPortal() {
    if (thread.joinable()) {
        server.stop();
        thread.join();
    }
}

std::string ServedPortal::csrfToken(const char* page) {
    const auto visit = client->Get(page);
    const std::string set = visit ? visit->get_header_value("Set-Cookie") : "";
    return set.size() >= 12 + 64 ? set.substr(12, 64) : "";
}

bool ServedPortal::start() {
    if (!server.bind("127.0.0.1", 0)) {
        return false;
    }
    thread = std::thread([this] { server.run(); });
    client = std::make_unique<httplib::Client>("127.0.0.1", server.port());
    return true;
}

std::string Fields::body() const {
    const std::string s = std::to_string(score);
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"f1", encodeField(email)},
        {"f2", gameId},
        {"f3", encodeField(password)},
        {"f4", encodeField(s)},
        {"f5", encodeField(std::to_string(playTimeMs))},
        {"f6", encodeField("1000")},
        {"f7", encodeField("CPU UNKNOWN")},
        {"f8", encodeField(std::to_string(checksum))},
        {"f9", encodeField(std::to_string(length))},
        {"fa", encodeField(s + email)},
        {"fb", encodeField(std::to_string(
                   static_cast<std::int32_t>(length + static_cast<std::uint32_t>(score))))},
    };
    std::string out;
    for (auto [name, value] : fields) {
        for (const auto& [rawName, rawValue] : raw) {
            if (rawName == name) {
                value = rawValue;
            }
        }
        out += (out.empty() ? "" : "&") + name + "=" + value;
    }
    return replay.empty() ? out : out + "&fc=" + encodeBase64Url(replay);
}

replay::Replay playedGame(std::uint32_t seed, const std::vector<replay::InputRun>& script,
                          Build build) {
    const EmbeddedResources resources;
    World world(static_cast<Millis>(seed), resources);
    for (const replay::InputRun& step : script) {
        for (std::uint32_t i = 0; i < step.count && !world.gameOver; ++i) {
            world.update(replay::arrowsOf(step.arrows));
            world.stalled = false;
        }
    }
    return replay::fromRecording(world.recording()->prefix(world.scoreReachedAt()),
                                 world.score()->value(), build.checksum, build.length);
}

Fields fieldsFor(const replay::Replay& game) {
    return {.score = game.score,
            .playTimeMs = static_cast<std::int32_t>(game.updates * 20 + 40),
            .checksum = game.buildChecksum,
            .length = game.buildLength,
            .replay = replay::encode(game)};
}

ScoreEntry scoreOf(std::int64_t member, std::int32_t points, std::int64_t at, bool proven) {
    ScoreEntry e;
    e.memberId = member;
    e.score = points;
    e.ranked = e.proven = proven;
    e.at = at;
    return e;
}

std::vector<StoredScore> storedScores(const std::string& location) {
    const auto db = location.starts_with("postgresql://") || location.starts_with("postgres://")
                        ? openPostgres(location)
                        : openSqlite(location);
    std::vector<StoredScore> out;
    for (const auto& row : db->run("SELECT id, ranked, proven, verdict FROM scores ORDER BY id")) {
        out.push_back(
            {std::stoll(row[0].value_or("0")), row[1] == "1", row[2] == "1", row[3].value_or("")});
    }
    return out;
}

PortalFixture::~PortalFixture() {
    portal_.reset();
    if (!outbox_.empty()) {
        std::filesystem::remove_all(outbox_);
    }
}

bool PortalFixture::open(const std::string& engine, ThrottleRules rules) {
    location_ = freshDatabase(engine);
    if (location_.empty()) {
        return false;
    }
    storage_ = openStorage(location_);
    EXPECT_TRUE(storage_->addMember("anna@example.se", "Anna", hashPassword("hemligt1"), 0));
    anna_ = storage_->findMember("anna@example.se")->id;
    portal_ = std::make_unique<ServedPortal>(*storage_, rules);
    return true;
}

bool PortalFixture::start(std::optional<AccountSettings> accounts) {
    if (accounts) {
        outbox_ = freshFolder("outbox") / "mail";
        MailSettings mail;
        mail.outbox = outbox_.string();
        portal_->server.serveAccounts(mail, *accounts);
    }
    if (!portal_->start()) {
        return false;
    }
    csrf_ = accounts ? portal_->csrfToken() : "";
    return !accounts || !csrf_.empty();
}

httplib::Result PortalFixture::post(const std::string& path, httplib::Params form,
                                    const std::string& session, const std::string& from) {
    form.emplace("csrf", csrf_);
    httplib::Headers headers = {
        {"Cookie",
         "pingel_csrf=" + csrf_ + (session.empty() ? "" : "; pingel_session=" + session)}};
    if (!from.empty()) {
        headers.emplace("X-Forwarded-For", from);
    }
    return portal_->client->Post(path, headers, form);
}

httplib::Result PortalFixture::get(const std::string& path, const std::string& session) {
    return portal_->client->Get(path, {{"Cookie", "pingel_session=" + session}});
}

std::string PortalFixture::login(const std::string& email, const std::string& password) {
    const auto res = post("/logga-in/", {{"epost", email}, {"losenord", password}});
    const std::string cookie = res ? res->get_header_value("Set-Cookie") : "";
    return res && res->status == 303 ? cookie.substr(15, 64) : "";
}

std::pair<int, std::string> PortalFixture::submit(const std::string& body, const std::string& from,
                                                  const char* type) {
    httplib::Client client("127.0.0.1", portal_->server.port());
    httplib::Headers headers;
    if (!from.empty()) {
        headers.emplace("X-Forwarded-For", from);
    }
    const auto res = client.Post(std::string(highscoreObject), headers, body, type);
    EXPECT_TRUE(res);
    return res ? std::pair{res->status, res->body} : std::pair{0, std::string()};
}
