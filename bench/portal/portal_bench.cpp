// The portal's home page (GET / without its HTTP): today's, this week's and the all-time
// list over 1,000,000 stored scores of 2,000 members spread over a year, read from the kept
// bests beside the same page read from the scores themselves (as before the kept bests);
// and a competition's winners of four weeks the same two ways. The database is built once
// per run: SQLite in the temporary folder ($TMPDIR or /tmp), or the PostgreSQL database
// that PINGEL_PORTAL_BENCH_POSTGRES names (emptied first; e.g. under pg_virtualenv with
// "postgresql://"); the scores in one transaction through one prepared statement, the kept
// bests counted from them once (the time that takes is printed).
#include "portal/competition.h"
#include "portal/server.h"
#include "portal/storage.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace {

constexpr int memberCount = 2000;
constexpr int scoreCount = 1000000;
constexpr std::int64_t now = 1774872000; // Monday 2026-03-30 14:00 in Stockholm
constexpr std::int64_t year = 365 * 86400;

struct Portal {
    std::unique_ptr<Storage> storage;
};

Portal& portal() {
    static Portal built = [] {
        if (!useTimeZone("Europe/Stockholm")) {
            std::fprintf(stderr, "no Europe/Stockholm in this system's tzdata\n");
            std::exit(1);
        }
        const char* postgres = std::getenv("PINGEL_PORTAL_BENCH_POSTGRES");
        std::string location;
        if (postgres && *postgres) {
            location = postgres;
            openPostgres(location)->run(
                "DROP TABLE IF EXISTS moderation_log, member_bans, hidden_scores, kept_bests,"
                " schema_migrations, settings, confirm_tokens, reset_tokens, sessions, failures,"
                " builds, scores, members, schema_version CASCADE");
        } else {
            const char* tmp = std::getenv("TMPDIR");
            location = (std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
                        ("pingel-portal-bench-" + std::to_string(scoreCount) + ".db"))
                           .string();
            for (const char* suffix : {"", "-wal", "-shm"}) {
                std::filesystem::remove(location + suffix);
            }
        }
        Portal p{openStorage(location)};
        const auto db = postgres && *postgres ? openPostgres(location) : openSqlite(location);
        db->run("BEGIN");
        for (int m = 1; m <= memberCount; ++m) {
            const std::string email = "member-" + std::to_string(m) + "@example.se";
            db->run("INSERT INTO members (email_key, email, nickname, password_hash, created_at)"
                    " VALUES (?, ?, ?, 'h', 0)",
                    {email, email, "Spelare " + std::to_string(m)});
        }
        // Evenly over the year before now: 2,700 scores a day, most of them ranked, most of
        // those proven; scores of a few hundred thousand points, many equal.
        std::mt19937 random(1998);
        for (int i = 0; i < scoreCount; ++i) {
            const auto kind = random() % 10;
            db->run("INSERT INTO scores (member_id, score, play_time_ms, ranked, build_checksum,"
                    " build_length, cpu_speed, cpu, address, submitted_at, proven, verdict)"
                    " VALUES (?, ?, 600000, ?, 1, 2, 1000, 'CPU', '192.0.2.7', ?, ?, '')",
                    {static_cast<std::int64_t>(1 + random() % memberCount),
                     static_cast<std::int64_t>(random() % 40000) * 5,
                     std::int64_t{kind < 9 ? 1 : 0},
                     now - year + static_cast<std::int64_t>(i) * year / scoreCount,
                     std::int64_t{kind < 7 ? 1 : 0}});
        }
        db->run("COMMIT");
        // PostgreSQL's planner wants the statistics that autovacuum would gather.
        const bool analyze = db->engine() == SqlConnection::Engine::Postgres;
        if (analyze) {
            db->run("ANALYZE");
        }
        const auto start = std::chrono::steady_clock::now();
        p.storage->topScores(0, 10); // counts the kept bests
        std::fprintf(
            stderr, "kept bests of %d scores counted in %.1f s\n", scoreCount,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (analyze) {
            db->run("ANALYZE");
        }
        return p;
    }();
    return built;
}

void homePageFrom(benchmark::State& state, bool kept) {
    Storage& storage = *portal().storage;
    storage.readKeptBests(kept);
    for (auto _ : state) {
        benchmark::DoNotOptimize(homePage(storage, now));
    }
    storage.readKeptBests(true);
}

void winnersFrom(benchmark::State& state, bool kept) {
    Storage& storage = *portal().storage;
    storage.readKeptBests(kept);
    // Four weeks ending with the scores, the first cut in the middle of its week.
    const CompetitionPeriod period{{2026, 3, 5}, {2026, 3, 30}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(competitionResults(storage, period));
    }
    storage.readKeptBests(true);
}

void BM_HomePage_KeptBests(benchmark::State& state) {
    homePageFrom(state, true);
}
void BM_HomePage_FromTheScores(benchmark::State& state) {
    homePageFrom(state, false);
}
void BM_Winners_KeptBests(benchmark::State& state) {
    winnersFrom(state, true);
}
void BM_Winners_FromTheScores(benchmark::State& state) {
    winnersFrom(state, false);
}

} // namespace

BENCHMARK(BM_HomePage_KeptBests)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HomePage_FromTheScores)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Winners_KeptBests)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Winners_FromTheScores)->Unit(benchmark::kMillisecond);
