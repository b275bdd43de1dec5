// The portal's storage; see storage.h. The schema is written once with a placeholder for
// the one spelling the engines disagree on (an automatically numbered key); every other
// statement is shared.
#include "portal/storage.h"

#include "game/replay.h"
#include "net/form_field.h"
#include "portal/clock.h"
#include "portal/competition.h"
#include "portal/text.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <span>

namespace {

// The schema is a list of numbered steps, each applied once, in its own transaction, and
// recorded in schema_migrations; a step is statements, a function, or both. A new step is
// appended with the next number and never changes once released. schema_version holds the
// last step applied too, as the portals before schema_migrations read it.

// 1: the first schema.
const char* const firstSchema[] = {
    "CREATE TABLE IF NOT EXISTS members (id {id}, email_key TEXT NOT NULL UNIQUE,"
    " email TEXT NOT NULL, nickname TEXT NOT NULL, password_hash TEXT NOT NULL,"
    " recruiter_key TEXT, created_at BIGINT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS scores (id {id},"
    " member_id BIGINT NOT NULL REFERENCES members(id) ON DELETE CASCADE,"
    " score BIGINT NOT NULL, play_time_ms BIGINT NOT NULL, ranked BIGINT NOT NULL,"
    " build_checksum BIGINT NOT NULL, build_length BIGINT NOT NULL, cpu_speed BIGINT NOT NULL,"
    " cpu TEXT NOT NULL, address TEXT NOT NULL, submitted_at BIGINT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS builds (checksum BIGINT NOT NULL, length BIGINT NOT NULL,"
    " PRIMARY KEY (checksum, length))",
    "CREATE TABLE IF NOT EXISTS failures (id {id}, failure_key TEXT NOT NULL, at BIGINT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS failures_by_key ON failures (failure_key, at)",
    "CREATE TABLE IF NOT EXISTS sessions (token_hash TEXT PRIMARY KEY,"
    " member_id BIGINT NOT NULL REFERENCES members(id) ON DELETE CASCADE,"
    " expires_at BIGINT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS sessions_by_member ON sessions (member_id)",
    "CREATE TABLE IF NOT EXISTS reset_tokens (token_hash TEXT PRIMARY KEY,"
    " member_id BIGINT NOT NULL REFERENCES members(id) ON DELETE CASCADE,"
    " expires_at BIGINT NOT NULL, used_at BIGINT)",
    "CREATE INDEX IF NOT EXISTS members_by_recruiter ON members (recruiter_key, created_at)",
};

// 2: each score keeps its replay (base64url; none for older games and games sent without
// one), whether the replay proved it, why not, and the game's seed and the digest of its
// opening to find the same game sent again. Scores of an older database become unproven.
const char* const proofColumns[] = {
    "ALTER TABLE scores ADD COLUMN proven BIGINT NOT NULL DEFAULT 0",
    "ALTER TABLE scores ADD COLUMN verdict TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE scores ADD COLUMN replay TEXT",
    "ALTER TABLE scores ADD COLUMN replay_seed BIGINT",
    "ALTER TABLE scores ADD COLUMN opening_digest TEXT",
    "UPDATE scores SET verdict = 'sent before scores were proven'",
    "CREATE INDEX scores_by_replay_seed ON scores (replay_seed, proven)",
    "CREATE INDEX scores_by_opening ON scores (opening_digest, proven)",
};

// 5: a member confirms his address by a mailed link before his scores and recruits
// count (members of an older database count as confirmed: confirmed_at is their joining),
// and nicknames are unique regardless of case through their key (nicknameKey()). The keys
// are filled in by fillNicknameKeys() before the unique index is made: of members whose
// nicknames share a key, the first to join keeps the key and the later ones keep their
// names with no key.
const char* const confirmationColumns[] = {
    "ALTER TABLE members ADD COLUMN confirmed_at BIGINT",
    "UPDATE members SET confirmed_at = created_at",
    "ALTER TABLE members ADD COLUMN nickname_key TEXT",
    "CREATE TABLE confirm_tokens (token_hash TEXT PRIMARY KEY,"
    " member_id BIGINT NOT NULL REFERENCES members(id) ON DELETE CASCADE,"
    " expires_at BIGINT NOT NULL, used_at BIGINT)",
    "CREATE INDEX confirm_tokens_by_member ON confirm_tokens (member_id)",
};
constexpr const char* nicknameIndex =
    "CREATE UNIQUE INDEX members_by_nickname_key ON members (nickname_key)";
void fillNicknameKeys(SqlConnection& db);
void keyNicknames(SqlConnection& db) {
    fillNicknameKeys(db);
    db.run(nicknameIndex);
}
// 3: a period's scores by time with the member and the score (the index alone answers a
// span that is no day or week), and a member's scores by score; these replace narrower
// indexes of the first databases (which databases of version 2 may already have replaced).
const char* const scoreIndexes[] = {
    "CREATE INDEX IF NOT EXISTS scores_by_time_member ON scores (ranked, submitted_at,"
    " member_id, score)",
    "CREATE INDEX IF NOT EXISTS scores_by_member_best ON scores (member_id, ranked, score,"
    " submitted_at)",
    "DROP INDEX IF EXISTS scores_by_time",
    "DROP INDEX IF EXISTS scores_by_member",
};

// 4: the lists' kept bests: each member's best ranked score of each day, each week and of
// all time, once among proven scores alone (proven_only 1) and once among all ranked ones
// (0, for serve --rank-unproven). Kept by recordScore in the transaction of the score; a
// top list is a range of the index. Filled on first use (see keptBestsIn).
const char* const keptBests[] = {
    "CREATE TABLE kept_bests (kind BIGINT NOT NULL, period_start BIGINT NOT NULL,"
    " proven_only BIGINT NOT NULL,"
    " member_id BIGINT NOT NULL REFERENCES members(id) ON DELETE CASCADE,"
    " score BIGINT NOT NULL, at BIGINT NOT NULL, score_id BIGINT NOT NULL,"
    " PRIMARY KEY (kind, period_start, proven_only, member_id))",
    "CREATE INDEX kept_by_rank ON kept_bests (kind, period_start, proven_only, score DESC, at)",
    "DELETE FROM settings WHERE name = 'kept_bests_zone'",
};

// 6: a member's scores by time, for the scores he has sent in the last hour.
const char* const scoresByMemberTime[] = {
    "CREATE INDEX IF NOT EXISTS scores_by_member_time ON scores (member_id, submitted_at)",
};

// 7: moderation. A hidden score keeps its row; while hidden its `ranked` is 0 (so no list,
// kept best or winner counts it) and hidden_scores keeps its own ranking with the reason,
// who hid it and when. A banned member's row in member_bans refuses his logins and scores.
// Every act of the operator's (hide, show, ban, unban) is a row of moderation_log.
const char* const moderationTables[] = {
    "CREATE TABLE hidden_scores (score_id BIGINT PRIMARY KEY"
    " REFERENCES scores(id) ON DELETE CASCADE, ranked BIGINT NOT NULL, reason TEXT NOT NULL,"
    " hidden_by TEXT NOT NULL, hidden_at BIGINT NOT NULL)",
    "CREATE TABLE member_bans (member_id BIGINT PRIMARY KEY"
    " REFERENCES members(id) ON DELETE CASCADE, reason TEXT NOT NULL, banned_by TEXT NOT NULL,"
    " banned_at BIGINT NOT NULL)",
    "CREATE TABLE moderation_log (id {id}, at BIGINT NOT NULL,"
    " actor TEXT NOT NULL, act TEXT NOT NULL,"
    " target TEXT NOT NULL, reason TEXT NOT NULL)",
};

struct Step {
    std::int64_t version;
    std::span<const char* const> statements;
    // What statements cannot say, run after them.
    void (*apply)(SqlConnection&) = nullptr;
};

const Step steps[] = {
    {1, firstSchema},
    {2, proofColumns},
    {3, scoreIndexes},
    {4, keptBests},
    {5, confirmationColumns, keyNicknames},
    {6, scoresByMemberTime},
    {7, moderationTables},
};
static_assert(std::size(steps) == Storage::schemaVersion);

std::string withKeySpelling(std::string sql, SqlConnection::Engine engine) {
    const std::string slot = "{id}";
    const auto at = sql.find(slot);
    if (at != std::string::npos) {
        sql.replace(at, slot.size(),
                    engine == SqlConnection::Engine::Sqlite
                        ? "INTEGER PRIMARY KEY"
                        : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
    }
    return sql;
}

std::int64_t number(const std::optional<std::string>& text) {
    return text ? std::strtoll(text->c_str(), nullptr, 10) : 0;
}

// The recruits of a member `m` in [?, ?): members who joined in the period naming him and
// confirmed their addresses, himself excepted. Shared by one member's list and the
// standings of all.
constexpr const char* recruitsJoin =
    " JOIN members r ON r.recruiter_key = m.email_key AND r.id <> m.id"
    " AND r.created_at >= ? AND r.created_at < ? AND r.confirmed_at IS NOT NULL";

// Each member's nickname key, in the order they joined; a key that an earlier member
// holds stays empty (NULL).
void fillNicknameKeys(SqlConnection& db) {
    std::vector<std::string> taken;
    for (const auto& row : db.run("SELECT id, nickname FROM members ORDER BY id")) {
        const std::string key = nicknameKey(row[1].value_or(""));
        if (key.empty() || std::find(taken.begin(), taken.end(), key) != taken.end()) {
            continue;
        }
        taken.push_back(key);
        db.run("UPDATE members SET nickname_key = ? WHERE id = ?", {key, number(row[0])});
    }
}

constexpr const char* memberColumns =
    "SELECT id, email, nickname, password_hash, recruiter_key, confirmed_at,"
    " (SELECT COUNT(*) FROM member_bans b WHERE b.member_id = members.id) FROM members";

Member memberOf(const SqlRow& row) {
    return Member{number(row[0]),      row[1].value_or(""), row[2].value_or(""),
                  row[3].value_or(""), row[4].value_or(""), row[5].has_value(),
                  number(row[6]) > 0};
}

// Failures older than this are of no use to any throttle and are dropped.
constexpr std::int64_t failureHorizonSeconds = 24 * 3600;

constexpr std::int64_t earliest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t latest = std::numeric_limits<std::int64_t>::max();

// What each portal process waits for on PostgreSQL (SQLite's BEGIN IMMEDIATE takes the
// database's one write lock): the schema's steps, the claims of proven games, the kept
// bests' refill.
constexpr std::int64_t schemaLock = 0x70696e67;
constexpr std::int64_t replayLock = 0x7265706c6179;
constexpr std::int64_t keptLock = 0x6b657074;
constexpr std::int64_t memberLockSpace = 0x73756268; // with the member's id

// On PostgreSQL, holds the member's lock until the transaction ends: his scores are
// recorded, and the operator moderates them, one transaction after another.
void lockMember(SqlConnection& db, std::int64_t memberId) {
    if (db.engine() == SqlConnection::Engine::Postgres) {
        db.run("SELECT pg_advisory_xact_lock(CAST(? AS INTEGER), CAST(? AS INTEGER))",
               {memberLockSpace, memberId % 0x7fffffff});
    }
}

// The kept bests' periods: all time (starting at 0), the local day and the local week.
enum KeptKind : std::int64_t { allTime = 0, dayKind = 1, weekKind = 2 };
constexpr std::array<KeptKind, 3> keptKinds = {allTime, dayKind, weekKind};

// The kind's period (a day or a week) around `at`; an instant the time functions cannot
// place counts as a period of its own.
TimeSpan keptSpan(KeptKind kind, std::int64_t at) {
    const TimeSpan span = kind == dayKind ? dayAround(at) : weekAround(at);
    return span.from <= at && at < span.until ? span : TimeSpan{at, at + 1};
}

std::int64_t keptStart(KeptKind kind, std::int64_t at) {
    return kind == allTime ? 0 : keptSpan(kind, at).from;
}

// The zone the kept bests were counted in, as activeTimeZone() names it.
constexpr const char* keptZoneSetting = "kept_bests_zone";

// A kept best is replaced by a better score: higher, or as high and earlier, or as high,
// as early and stored first.
constexpr const char* keptIfBetter =
    " ON CONFLICT (kind, period_start, proven_only, member_id) DO UPDATE SET"
    " score = excluded.score, at = excluded.at, score_id = excluded.score_id"
    " WHERE excluded.score > kept_bests.score OR (excluded.score = kept_bests.score"
    " AND (excluded.at < kept_bests.at OR (excluded.at = kept_bests.at"
    " AND excluded.score_id < kept_bests.score_id)))";

bool keptIn(SqlConnection& db, const std::string& zone) {
    const auto rows = db.run("SELECT value FROM settings WHERE name = ?", {keptZoneSetting});
    return !rows.empty() && rows[0][0] == zone;
}

// Each member's best of the rows (member_id, score, at, score_id) that `rows` selects, kept as
// (kind, period_start, proven_only): the highest, the earliest of those, the first stored.
std::string keepBestOf(const std::string& rows) {
    return "INSERT INTO kept_bests (kind, period_start, proven_only, member_id, score, at,"
           " score_id) SELECT CAST(? AS BIGINT), CAST(? AS BIGINT), CAST(? AS BIGINT),"
           " member_id, score, at, score_id FROM (SELECT member_id, score, at, score_id,"
           " ROW_NUMBER() OVER (PARTITION BY member_id ORDER BY score DESC, at, score_id) AS n"
           " FROM (" +
           rows + ") r) b WHERE n = 1" + keptIfBetter;
}

// Counts the kept bests afresh in `zone` (the process's), inside the caller's transaction:
// the days' from the scores, a day at a time through the index on time; the weeks' from
// their days' and all time's from the weeks'.
void refillKeptBests(SqlConnection& db, const std::string& zone) {
    db.run("DELETE FROM kept_bests");
    const std::string fromScores =
        keepBestOf("SELECT member_id, score, submitted_at AS at, id AS score_id FROM scores"
                   " WHERE ranked = 1 AND proven >= ? AND submitted_at >= ? AND submitted_at < ?");
    const std::string fromKept =
        keepBestOf("SELECT member_id, score, at, score_id FROM kept_bests WHERE kind = ?"
                   " AND proven_only = ? AND period_start >= ? AND period_start < ?");
    for (const KeptKind kind : {dayKind, weekKind}) {
        // Period after period that holds a ranked score.
        for (std::int64_t cursor = earliest;;) {
            const auto next = db.run("SELECT MIN(submitted_at) FROM scores WHERE ranked = 1"
                                     " AND submitted_at >= ?",
                                     {cursor});
            if (next.empty() || !next[0][0]) {
                break;
            }
            const TimeSpan span = keptSpan(kind, number(next[0][0]));
            for (const std::int64_t provenOnly : {0, 1}) {
                if (kind == dayKind) {
                    db.run(fromScores, {std::int64_t{kind}, span.from, provenOnly, provenOnly,
                                        span.from, span.until});
                } else {
                    db.run(fromKept, {std::int64_t{kind}, span.from, provenOnly,
                                      std::int64_t{dayKind}, provenOnly, span.from, span.until});
                }
            }
            if (span.until == latest) {
                break;
            }
            cursor = span.until;
        }
    }
    for (const std::int64_t provenOnly : {0, 1}) {
        db.run(fromKept, {std::int64_t{allTime}, std::int64_t{0}, provenOnly,
                          std::int64_t{weekKind}, provenOnly, earliest, latest});
    }
    db.run("INSERT INTO settings (name, value) VALUES (?, ?)"
           " ON CONFLICT (name) DO UPDATE SET value = excluded.value",
           {keptZoneSetting, zone});
}

// Keeps the ranked score `id` among its member's bests, inside the caller's transaction.
void keepBest(SqlConnection& db, const ScoreEntry& e, std::int64_t id) {
    const std::string zone = activeTimeZone();
    if (!keptIn(db, zone)) {
        if (db.engine() == SqlConnection::Engine::Postgres) {
            db.run("SELECT pg_advisory_xact_lock(?)", {keptLock});
        }
        if (!keptIn(db, zone)) {
            refillKeptBests(db, zone); // with this score
            return;
        }
    }
    std::string sql = "INSERT INTO kept_bests (kind, period_start, proven_only, member_id, score,"
                      " at, score_id) VALUES ";
    std::vector<SqlValue> params;
    for (const std::int64_t provenOnly : {0, 1}) {
        if (provenOnly == 1 && !e.proven) {
            break;
        }
        for (const KeptKind kind : keptKinds) {
            sql += params.empty() ? "(?, ?, ?, ?, ?, ?, ?)" : ", (?, ?, ?, ?, ?, ?, ?)";
            for (SqlValue v : {SqlValue(std::int64_t{kind}), SqlValue(keptStart(kind, e.at)),
                               SqlValue(provenOnly), SqlValue(e.memberId),
                               SqlValue(std::int64_t{e.score}), SqlValue(e.at), SqlValue(id)}) {
                params.push_back(std::move(v));
            }
        }
    }
    db.run(sql + keptIfBetter, params);
}

} // namespace

// A connection taken from the pool for one statement, returned when done. A connection
// whose statement failed is dropped, so a broken one is not handed out again.
class Storage::Lease {
  public:
    explicit Lease(Storage& s) : s_(s) {
        std::unique_lock lock(s_.mutex_);
        s_.returned_.wait(lock, [&] { return !s_.idle_.empty() || s_.opened_ < s_.limit_; });
        if (!s_.idle_.empty()) {
            db_ = std::move(s_.idle_.back());
            s_.idle_.pop_back();
            return;
        }
        ++s_.opened_;
        lock.unlock();
        try {
            db_ = s_.open_();
        } catch (...) {
            std::lock_guard again(s_.mutex_);
            --s_.opened_;
            s_.returned_.notify_one();
            throw;
        }
    }
    ~Lease() {
        std::lock_guard lock(s_.mutex_);
        if (db_ && !failed_) {
            s_.idle_.push_back(std::move(db_));
        } else {
            --s_.opened_;
        }
        s_.returned_.notify_one();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    SqlConnection& db() { return *db_; }
    void fail() { failed_ = true; }

  private:
    Storage& s_;
    std::unique_ptr<SqlConnection> db_;
    bool failed_ = false;
};

Storage::Storage(std::function<std::unique_ptr<SqlConnection>()> open, std::size_t connections)
    : open_(std::move(open)), limit_(connections == 0 ? 1 : connections) {
    Lease lease(*this);
    try {
        createSchema(lease.db());
    } catch (...) {
        lease.fail();
        throw;
    }
}

void Storage::createSchema(SqlConnection& db) {
    // The steps applied: a database of the portals before schema_migrations has only
    // schema_version, whose number counts as that many steps applied, recorded once here.
    std::vector<std::int64_t> missing;
    inTransaction(db, schemaLock, [&] {
        db.run("CREATE TABLE IF NOT EXISTS schema_version (version BIGINT NOT NULL)");
        db.run("CREATE TABLE IF NOT EXISTS schema_migrations (version BIGINT PRIMARY KEY,"
               " applied_at BIGINT NOT NULL)");
        const std::int64_t recorded =
            number(db.run("SELECT MAX(version) FROM schema_migrations").at(0).at(0));
        const std::int64_t numbered =
            number(db.run("SELECT MAX(version) FROM schema_version").at(0).at(0));
        if (std::max(recorded, numbered) > schemaVersion) {
            throw SqlError("the database was written by a newer portal (schema version " +
                           std::to_string(std::max(recorded, numbered)) + ")");
        }
        if (recorded == 0 && numbered > 0) {
            // Those portals made every table of the first schema at each start (some came
            // later than the version's number): what such a database lacks is made here.
            for (const char* statement : firstSchema) {
                db.run(withKeySpelling(statement, db.engine()));
            }
            for (std::int64_t version = 1; version <= numbered; ++version) {
                db.run("INSERT INTO schema_migrations (version, applied_at) VALUES (?, ?)",
                       {version, unixNow()});
            }
        }
        for (const Step& step : steps) {
            if (db.run("SELECT version FROM schema_migrations WHERE version = ?", {step.version})
                    .empty()) {
                missing.push_back(step.version);
            }
        }
    });
    for (const Step& step : steps) {
        if (std::find(missing.begin(), missing.end(), step.version) == missing.end()) {
            continue;
        }
        inTransaction(db, schemaLock, [&] {
            // Another process may have applied it meanwhile.
            if (!db.run("SELECT version FROM schema_migrations WHERE version = ?", {step.version})
                     .empty()) {
                return;
            }
            for (const char* statement : step.statements) {
                db.run(withKeySpelling(statement, db.engine()));
            }
            if (step.apply) {
                step.apply(db);
            }
            db.run("INSERT INTO schema_migrations (version, applied_at) VALUES (?, ?)",
                   {step.version, unixNow()});
            db.run("DELETE FROM schema_version");
            db.run(
                "INSERT INTO schema_version (version) SELECT MAX(version) FROM schema_migrations");
        });
    }
}

std::vector<SqlRow> Storage::run(const std::string& sql, const std::vector<SqlValue>& params) {
    Lease lease(*this);
    try {
        return lease.db().run(sql, params);
    } catch (...) {
        lease.fail();
        throw;
    }
}

bool Storage::addMember(const std::string& email, const std::string& nickname,
                        const std::string& passwordHash, std::int64_t now,
                        const std::string& recruiterEmail) {
    return insertMember(email, nickname, passwordHash, now, recruiterEmail, true).outcome ==
           JoinOutcome::Joined;
}

Joining Storage::join(const std::string& email, const std::string& nickname,
                      const std::string& passwordHash, std::int64_t now,
                      const std::string& recruiterEmail) {
    return insertMember(email, nickname, passwordHash, now, recruiterEmail, false);
}

Joining Storage::insertMember(const std::string& email, const std::string& nickname,
                              const std::string& passwordHash, std::int64_t now,
                              const std::string& recruiterEmail, bool confirmed) {
    const SqlValue recruiter =
        recruiterEmail.empty() ? SqlValue(nullptr) : SqlValue(emailKey(recruiterEmail));
    const std::string key = nicknameKey(nickname);
    const auto rows =
        run("INSERT INTO members (email_key, email, nickname, password_hash, recruiter_key,"
            " created_at, confirmed_at, nickname_key) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"
            " ON CONFLICT DO NOTHING RETURNING id",
            {emailKey(email), email, nickname, passwordHash, recruiter, now,
             confirmed ? SqlValue(now) : SqlValue(nullptr),
             key.empty() ? SqlValue(nullptr) : SqlValue(key)});
    if (!rows.empty()) {
        return {JoinOutcome::Joined, number(rows[0][0])};
    }
    return {nicknameTaken(nickname) ? JoinOutcome::NicknameTaken : JoinOutcome::AddressTaken, 0};
}

bool Storage::nicknameTaken(const std::string& nickname) {
    const std::string key = nicknameKey(nickname);
    return !key.empty() && !run("SELECT id FROM members WHERE nickname_key = ?", {key}).empty();
}

bool Storage::removeMember(const std::string& email) {
    return !run("DELETE FROM members WHERE email_key = ? RETURNING id", {emailKey(email)}).empty();
}

std::optional<Member> Storage::findMember(const std::string& email) {
    const auto rows = run(std::string(memberColumns) + " WHERE email_key = ?", {emailKey(email)});
    if (rows.empty()) {
        return std::nullopt;
    }
    return memberOf(rows[0]);
}

namespace {

// Marks the proven score e unproven and unranked when another member's game is the same.
void claimedElsewhere(SqlConnection& db, ScoreEntry& e,
                      const std::function<bool(std::string_view replay)>& sameGame) {
    // The replays are read one at a time.
    const auto games = db.run("SELECT id FROM scores WHERE proven = 1 AND member_id <> ?"
                              " AND (replay_seed = ? OR opening_digest = ?)"
                              " ORDER BY id LIMIT ?",
                              {e.memberId, std::int64_t{*e.replaySeed}, e.openingDigest,
                               std::int64_t{Storage::claimedGamesCompared}});
    for (const auto& game : games) {
        const auto rows = db.run("SELECT replay FROM scores WHERE id = ?", {number(game[0])});
        const auto bytes = rows.empty() || !rows[0][0]
                               ? std::nullopt
                               : decodeBase64Url(*rows[0][0], replay::maxBytes);
        if (bytes && sameGame(*bytes)) {
            e.proven = false;
            e.ranked = false;
            e.verdict = "game already claimed";
            return;
        }
    }
}

} // namespace

ScoreEntry Storage::recordScore(ScoreEntry e,
                                const std::function<bool(std::string_view replay)>& sameGame,
                                int perHour) {
    const bool check = e.proven && e.replaySeed && !e.openingDigest.empty() && sameGame;
    Lease lease(*this);
    SqlConnection& db = lease.db();
    try {
        // Every process that records a proven game waits for the others.
        inTransaction(db, check ? replayLock : 0, [&] {
            // One member's scores are counted one transaction after another; a ban takes
            // his lock too, so no score of his is stored once it is made.
            lockMember(db, e.memberId);
            if (!db.run("SELECT member_id FROM member_bans WHERE member_id = ?", {e.memberId})
                     .empty()) {
                e.recorded = false;
                e.memberBanned = true;
                return;
            }
            if (perHour > 0) {
                if (number(db.run("SELECT COUNT(*) FROM scores WHERE member_id = ?"
                                  " AND submitted_at >= ?",
                                  {e.memberId, e.at - 3600})
                               .at(0)
                               .at(0)) >= perHour) {
                    e.recorded = false;
                    return;
                }
            }
            if (check) {
                claimedElsewhere(db, e, sameGame);
            }
            const auto inserted = db.run(
                "INSERT INTO scores (member_id, score, play_time_ms, ranked, build_checksum,"
                " build_length, cpu_speed, cpu, address, submitted_at, proven, verdict, replay,"
                " replay_seed, opening_digest) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                " RETURNING id",
                {e.memberId, std::int64_t{e.score}, std::int64_t{e.playTimeMs},
                 std::int64_t{e.ranked ? 1 : 0}, std::int64_t{e.buildChecksum},
                 std::int64_t{e.buildLength}, std::int64_t{e.cpuSpeed}, e.cpu, e.address, e.at,
                 std::int64_t{e.proven ? 1 : 0}, e.verdict,
                 e.replay.empty() ? SqlValue(nullptr) : SqlValue(encodeBase64Url(e.replay)),
                 e.replaySeed ? SqlValue(std::int64_t{*e.replaySeed}) : SqlValue(nullptr),
                 e.openingDigest.empty() ? SqlValue(nullptr) : SqlValue(e.openingDigest)});
            if (e.ranked) {
                keepBest(db, e, number(inserted.at(0).at(0)));
            }
        });
    } catch (...) {
        lease.fail();
        throw;
    }
    return e;
}

std::int64_t Storage::scoresSince(std::int64_t memberId, std::int64_t since) {
    return number(run("SELECT COUNT(*) FROM scores WHERE member_id = ? AND submitted_at >= ?",
                      {memberId, since})
                      .at(0)
                      .at(0));
}

namespace {

constexpr const char* replayColumns =
    "SELECT s.id, m.nickname, s.score, s.play_time_ms, s.build_checksum, s.build_length,"
    " s.proven, s.verdict, s.replay,"
    " (SELECT COUNT(*) FROM hidden_scores h WHERE h.score_id = s.id)"
    " FROM scores s JOIN members m ON m.id = s.member_id";

// The replay's bytes are "" when the stored text does not decode.
StoredReplay storedReplay(const SqlRow& row) {
    auto bytes = row[8] ? decodeBase64Url(*row[8], replay::maxBytes) : std::nullopt;
    return StoredReplay{number(row[0]),
                        row[1].value_or(""),
                        static_cast<std::int32_t>(number(row[2])),
                        static_cast<std::int32_t>(number(row[3])),
                        static_cast<std::uint32_t>(number(row[4])),
                        static_cast<std::uint32_t>(number(row[5])),
                        number(row[6]) == 1,
                        row[7].value_or(""),
                        bytes.value_or(""),
                        number(row[9]) > 0};
}

} // namespace

std::optional<StoredReplay> Storage::replayOf(std::int64_t id) {
    const auto rows =
        run(std::string(replayColumns) + " WHERE s.id = ? AND s.replay IS NOT NULL", {id});
    if (rows.empty()) {
        return std::nullopt;
    }
    return storedReplay(rows[0]);
}

std::vector<StoredReplay> Storage::provenReplays(std::int64_t after, int limit) {
    std::vector<StoredReplay> out;
    for (const auto& row : run(std::string(replayColumns) +
                                   " WHERE s.id > ? AND s.proven = 1 AND s.replay IS NOT NULL"
                                   " ORDER BY s.id LIMIT ?",
                               {after, std::int64_t{limit}})) {
        out.push_back(storedReplay(row));
    }
    return out;
}

std::vector<ListedScore> Storage::topScores(std::int64_t since, int limit) {
    return topScores(since, latest, limit);
}

void Storage::countKeptBests() {
    runKept("SELECT 1", {});
}

std::vector<SqlRow> Storage::runKept(const std::string& sql, const std::vector<SqlValue>& params) {
    Lease lease(*this);
    SqlConnection& db = lease.db();
    try {
        if (const std::string zone = activeTimeZone(); !keptIn(db, zone)) {
            inTransaction(db, keptLock, [&] {
                if (!keptIn(db, zone)) {
                    refillKeptBests(db, zone);
                }
            });
        }
        return db.run(sql, params);
    } catch (...) {
        lease.fail();
        throw;
    }
}

std::vector<ListedScore> Storage::topScores(std::int64_t from, std::int64_t until, int limit) {
    const TimeSpan span{from, until};
    const std::optional<KeptKind> kind = from <= 0 && until == latest ? std::optional(allTime)
                                         : dayAround(from) == span    ? std::optional(dayKind)
                                         : weekAround(from) == span   ? std::optional(weekKind)
                                                                      : std::nullopt;
    if (!kind || !keptBests_) {
        return scannedTopScores(from, until, limit);
    }
    // The period's range of the index, best first; of equal bests the earlier first, and
    // of equally early ones the member who joined first (as the scores themselves list them).
    std::vector<ListedScore> out;
    for (const auto& row : runKept(
             "SELECT m.nickname, k.score, k.at, k.score_id, s.proven FROM kept_bests k"
             " JOIN members m ON m.id = k.member_id JOIN scores s ON s.id = k.score_id"
             " WHERE k.kind = ? AND k.period_start = ? AND k.proven_only = ?"
             " AND m.confirmed_at IS NOT NULL"
             " ORDER BY k.score DESC, k.at, k.member_id LIMIT ?",
             {std::int64_t{*kind}, keptStart(*kind, from), provenAtLeast(), std::int64_t{limit}})) {
        out.push_back({row[0].value_or(""), static_cast<std::int32_t>(number(row[1])),
                       number(row[2]), number(row[3]), number(row[4]) == 1});
    }
    return out;
}

std::optional<RankedScore> Storage::bestScore(std::int64_t from, std::int64_t until) {
    if (from >= until) {
        return std::nullopt;
    }
    // A week is one kept period; whole days (a week cut at a competition's ends) are one
    // each, and the best of their bests wins.
    std::vector<std::pair<KeptKind, std::int64_t>> periods;
    if (weekAround(from) == TimeSpan{from, until}) {
        periods.emplace_back(weekKind, from);
    } else {
        for (std::int64_t at = from; at < until;) {
            const TimeSpan day = dayAround(at);
            if (day.from != at || day.until > until || day.until <= at) {
                periods.clear();
                break;
            }
            periods.emplace_back(dayKind, at);
            at = day.until;
        }
    }
    if (periods.empty() || !keptBests_) {
        return scannedBestScore(from, until);
    }
    std::optional<RankedScore> best;
    std::int64_t bestId = 0;
    std::vector<SqlValue> params(3);
    for (const auto& [kind, start] : periods) {
        params[0].emplace<std::int64_t>(kind);
        params[1].emplace<std::int64_t>(start);
        params[2].emplace<std::int64_t>(provenAtLeast());
        const auto rows =
            runKept("SELECT m.nickname, m.email, k.score, k.at, k.score_id FROM kept_bests k"
                    " JOIN members m ON m.id = k.member_id WHERE k.kind = ?"
                    " AND k.period_start = ? AND k.proven_only = ?"
                    " AND m.confirmed_at IS NOT NULL"
                    " ORDER BY k.score DESC, k.at, k.score_id LIMIT 1",
                    params);
        if (rows.empty()) {
            continue;
        }
        const RankedScore found{rows[0][0].value_or(""), rows[0][1].value_or(""),
                                static_cast<std::int32_t>(number(rows[0][2])), number(rows[0][3])};
        const std::int64_t id = number(rows[0][4]);
        if (!best || found.score > best->score ||
            (found.score == best->score &&
             (found.at < best->at || (found.at == best->at && id < bestId)))) {
            best = found;
            bestId = id;
        }
    }
    return best;
}

std::vector<ListedScore> Storage::scannedTopScores(std::int64_t from, std::int64_t until,
                                                   int limit) {
    // A member's best score is the highest, and of his equal highest the earliest. For
    // all time each member's best is found through the index on (member, ranked, score),
    // a few steps a member however many scores there are; for a day or a week the
    // period's scores are read through the index on time and grouped by member. Only
    // proven scores count unless unproven ones are listed too (provenAtLeast 0).
    const std::int64_t proven = provenAtLeast();
    const bool allTime = from <= 0 && until == std::numeric_limits<std::int64_t>::max();
    const auto rows =
        allTime ? run("SELECT b.nickname, b.score, b.at, (SELECT s.id FROM scores s"
                      " WHERE s.member_id = b.id AND s.ranked = 1 AND s.proven >= ?"
                      " AND s.score = b.score AND s.submitted_at = b.at ORDER BY s.id LIMIT 1)"
                      " FROM (SELECT a.id, a.nickname, a.score, (SELECT MIN(s.submitted_at)"
                      " FROM scores s WHERE s.member_id = a.id AND s.ranked = 1"
                      " AND s.proven >= ? AND s.score = a.score) AS at"
                      " FROM (SELECT m.id, m.nickname, (SELECT MAX(s.score) FROM scores s"
                      " WHERE s.member_id = m.id AND s.ranked = 1 AND s.proven >= ?) AS score"
                      " FROM members m WHERE m.confirmed_at IS NOT NULL) a"
                      " WHERE a.score IS NOT NULL) b"
                      " ORDER BY b.score DESC, b.at, b.id LIMIT ?",
                      {proven, proven, proven, std::int64_t{limit}})
                : run("SELECT m.nickname, b.score, b.at, (SELECT s.id FROM scores s"
                      " WHERE s.member_id = b.member_id AND s.ranked = 1 AND s.proven >= ?"
                      " AND s.score = b.score AND s.submitted_at = b.at ORDER BY s.id LIMIT 1)"
                      " FROM (SELECT g.member_id, g.score,"
                      " (SELECT MIN(s.submitted_at) FROM scores s WHERE s.member_id = g.member_id"
                      " AND s.ranked = 1 AND s.proven >= ? AND s.score = g.score"
                      " AND s.submitted_at >= ? AND s.submitted_at < ?) AS at"
                      " FROM (SELECT member_id, MAX(score) AS score FROM scores WHERE ranked = 1"
                      " AND proven >= ? AND submitted_at >= ? AND submitted_at < ?"
                      " GROUP BY member_id) g) b JOIN members m ON m.id = b.member_id"
                      " AND m.confirmed_at IS NOT NULL"
                      " ORDER BY b.score DESC, b.at, b.member_id LIMIT ?",
                      {proven, proven, from, until, proven, from, until, std::int64_t{limit}});
    std::vector<ListedScore> out;
    for (const auto& row : rows) {
        out.push_back({row[0].value_or(""), static_cast<std::int32_t>(number(row[1])),
                       number(row[2]), number(row[3]), false});
    }
    if (!out.empty()) {
        // Which of them a replay proved (with unproven scores listed, not all).
        std::string ids;
        std::vector<SqlValue> params(out.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            ids += ids.empty() ? "?" : ", ?";
            params[i].emplace<std::int64_t>(out[i].id);
        }
        for (const auto& row :
             run("SELECT id FROM scores WHERE proven = 1 AND id IN (" + ids + ")", params)) {
            for (auto& entry : out) {
                entry.proven = entry.proven || entry.id == number(row[0]);
            }
        }
    }
    return out;
}

std::optional<RankedScore> Storage::scannedBestScore(std::int64_t from, std::int64_t until) {
    const auto rows = run("SELECT m.nickname, m.email, s.score, s.submitted_at FROM scores s"
                          " JOIN members m ON m.id = s.member_id WHERE s.ranked = 1"
                          " AND s.proven >= ? AND s.submitted_at >= ? AND s.submitted_at < ?"
                          " AND m.confirmed_at IS NOT NULL"
                          " ORDER BY s.score DESC, s.submitted_at, s.id LIMIT 1",
                          {provenAtLeast(), from, until});
    if (rows.empty()) {
        return std::nullopt;
    }
    return RankedScore{rows[0][0].value_or(""), rows[0][1].value_or(""),
                       static_cast<std::int32_t>(number(rows[0][2])), number(rows[0][3])};
}

std::vector<RecruiterPoints> Storage::recruitStandings(std::int64_t from, std::int64_t until) {
    const auto rows = run(std::string("SELECT m.nickname, m.email, COUNT(r.id) AS points,"
                                      " MAX(r.created_at) AS reached FROM members m") +
                              recruitsJoin +
                              " WHERE m.confirmed_at IS NOT NULL"
                              " GROUP BY m.id, m.nickname, m.email"
                              " ORDER BY points DESC, reached, m.id",
                          {from, until});
    std::vector<RecruiterPoints> out;
    for (const auto& row : rows) {
        out.push_back({row[0].value_or(""), row[1].value_or(""), number(row[2])});
    }
    return out;
}

std::optional<std::string> Storage::setting(const std::string& name) {
    const auto rows = run("SELECT value FROM settings WHERE name = ?", {name});
    if (rows.empty()) {
        return std::nullopt;
    }
    return rows[0][0];
}

void Storage::setSetting(const std::string& name, const std::string& value) {
    run("INSERT INTO settings (name, value) VALUES (?, ?)"
        " ON CONFLICT (name) DO UPDATE SET value = excluded.value",
        {name, value});
}

void Storage::removeSetting(const std::string& name) {
    run("DELETE FROM settings WHERE name = ?", {name});
}

bool Storage::addBuild(const Build& b) {
    return !run("INSERT INTO builds (checksum, length) VALUES (?, ?)"
                " ON CONFLICT (checksum, length) DO NOTHING RETURNING checksum",
                {std::int64_t{b.checksum}, std::int64_t{b.length}})
                .empty();
}

std::vector<Build> Storage::builds() {
    std::vector<Build> out;
    for (const auto& row : run("SELECT checksum, length FROM builds ORDER BY checksum, length")) {
        out.push_back({static_cast<std::uint32_t>(number(row[0])),
                       static_cast<std::uint32_t>(number(row[1]))});
    }
    return out;
}

BuildStatus Storage::buildStatus(const Build& b) {
    const auto rows = run("SELECT (SELECT COUNT(*) FROM builds),"
                          " (SELECT COUNT(*) FROM builds WHERE checksum = ? AND length = ?)",
                          {std::int64_t{b.checksum}, std::int64_t{b.length}});
    if (number(rows.at(0)[0]) == 0) {
        return BuildStatus::NoList;
    }
    return number(rows.at(0)[1]) > 0 ? BuildStatus::Listed : BuildStatus::Unlisted;
}

std::int64_t Storage::recordFailure(const std::string& key, std::int64_t now) {
    run("DELETE FROM failures WHERE failure_key = ? AND at < ?",
        {key, now - failureHorizonSeconds});
    const auto rows =
        run("INSERT INTO failures (failure_key, at) VALUES (?, ?) RETURNING id", {key, now});
    return number(rows.at(0).at(0));
}

void Storage::removeFailure(std::int64_t id) {
    run("DELETE FROM failures WHERE id = ?", {id});
}

std::optional<std::int64_t> Storage::attempt(const std::string& key, int limit, std::int64_t since,
                                             std::int64_t now) {
    run("DELETE FROM failures WHERE failure_key = ? AND at < ?",
        {key, now - failureHorizonSeconds});
    Lease lease(*this);
    SqlConnection& db = lease.db();
    const bool sqlite = db.engine() == SqlConnection::Engine::Sqlite;
    db.run(sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
    try {
        if (!sqlite) {
            // Attempts under one key, from any process, are counted one after another.
            db.run("SELECT pg_advisory_xact_lock(hashtext(?))", {key});
        }
        const auto rows = db.run("INSERT INTO failures (failure_key, at)"
                                 " SELECT CAST(? AS TEXT), CAST(? AS BIGINT)"
                                 " WHERE (SELECT COUNT(*) FROM failures WHERE failure_key = ?"
                                 " AND at >= ?) < ? RETURNING id",
                                 {key, now, key, since, std::int64_t{limit}});
        db.run("COMMIT");
        if (rows.empty()) {
            return std::nullopt;
        }
        return number(rows[0][0]);
    } catch (...) {
        try {
            db.run("ROLLBACK");
        } catch (const SqlError&) {
        }
        lease.fail();
        throw;
    }
}

bool Storage::admit(const std::string& key, int limit, std::int64_t since, std::int64_t now) {
    return attempt(key, limit, since, now).has_value();
}

int Storage::failuresSince(const std::string& key, std::int64_t since) {
    const auto rows =
        run("SELECT COUNT(*) FROM failures WHERE failure_key = ? AND at >= ?", {key, since});
    return static_cast<int>(number(rows.at(0)[0]));
}

std::optional<std::int64_t> Storage::oldestFailureSince(const std::string& key,
                                                        std::int64_t since) {
    const auto rows =
        run("SELECT MIN(at) FROM failures WHERE failure_key = ? AND at >= ?", {key, since});
    if (rows.empty() || !rows[0][0]) {
        return std::nullopt;
    }
    return number(rows[0][0]);
}

void Storage::clearFailures(const std::string& key) {
    run("DELETE FROM failures WHERE failure_key = ?", {key});
}

void Storage::createSession(const std::string& tokenHash, std::int64_t memberId,
                            std::int64_t expires) {
    run("INSERT INTO sessions (token_hash, member_id, expires_at) VALUES (?, ?, ?)",
        {tokenHash, memberId, expires});
}

std::optional<std::int64_t> Storage::sessionMember(const std::string& tokenHash, std::int64_t now) {
    // A banned member's sessions end with the ban; none of his counts meanwhile either.
    const auto rows = run("SELECT member_id FROM sessions WHERE token_hash = ? AND expires_at > ?"
                          " AND NOT EXISTS (SELECT 1 FROM member_bans b"
                          " WHERE b.member_id = sessions.member_id)",
                          {tokenHash, now});
    if (rows.empty()) {
        return std::nullopt;
    }
    return number(rows[0][0]);
}

void Storage::removeSession(const std::string& tokenHash) {
    run("DELETE FROM sessions WHERE token_hash = ?", {tokenHash});
}

void Storage::removeSessions(std::int64_t memberId) {
    run("DELETE FROM sessions WHERE member_id = ?", {memberId});
}

void Storage::removeExpiredSessions(std::int64_t now) {
    run("DELETE FROM sessions WHERE expires_at <= ?", {now});
}

std::optional<Member> Storage::memberById(std::int64_t id) {
    const auto rows = run(std::string(memberColumns) + " WHERE id = ?", {id});
    if (rows.empty()) {
        return std::nullopt;
    }
    return memberOf(rows[0]);
}

void Storage::setPassword(std::int64_t memberId, const std::string& passwordHash) {
    run("UPDATE members SET password_hash = ? WHERE id = ?", {passwordHash, memberId});
}

std::vector<Recruit> Storage::recruits(std::int64_t memberId, std::int64_t from,
                                       std::int64_t until) {
    const auto rows = run(std::string("SELECT r.nickname, r.created_at FROM members m") +
                              recruitsJoin + " WHERE m.id = ? ORDER BY r.created_at, r.id",
                          {from, until, memberId});
    std::vector<Recruit> out;
    for (const auto& row : rows) {
        out.push_back({row[0].value_or(""), number(row[1])});
    }
    return out;
}

void Storage::createResetToken(const std::string& tokenHash, std::int64_t memberId,
                               std::int64_t expires, std::int64_t now) {
    // Tokens a day past their time are of no use, not even to say "expired".
    run("DELETE FROM reset_tokens WHERE expires_at < ?", {now - failureHorizonSeconds});
    run("INSERT INTO reset_tokens (token_hash, member_id, expires_at) VALUES (?, ?, ?)",
        {tokenHash, memberId, expires});
}

ResetTokenState Storage::resetTokenState(const std::string& tokenHash, std::int64_t now) {
    const auto rows =
        run("SELECT expires_at, used_at FROM reset_tokens WHERE token_hash = ?", {tokenHash});
    if (rows.empty()) {
        return ResetTokenState::Unknown;
    }
    if (rows[0][1]) {
        return ResetTokenState::Used;
    }
    return number(rows[0][0]) > now ? ResetTokenState::Valid : ResetTokenState::Expired;
}

std::optional<std::int64_t> Storage::useResetToken(const std::string& tokenHash, std::int64_t now) {
    // One statement marks it, so two requests with one token cannot both succeed.
    const auto rows = run("UPDATE reset_tokens SET used_at = ? WHERE token_hash = ?"
                          " AND used_at IS NULL AND expires_at > ? RETURNING member_id",
                          {now, tokenHash, now});
    if (rows.empty()) {
        return std::nullopt;
    }
    const std::int64_t member = number(rows[0][0]);
    run("DELETE FROM reset_tokens WHERE member_id = ? AND used_at IS NULL", {member});
    return member;
}

void Storage::createConfirmToken(const std::string& tokenHash, std::int64_t memberId,
                                 std::int64_t expires, std::int64_t now) {
    run("DELETE FROM confirm_tokens WHERE expires_at < ?", {now - failureHorizonSeconds});
    run("INSERT INTO confirm_tokens (token_hash, member_id, expires_at) VALUES (?, ?, ?)",
        {tokenHash, memberId, expires});
}

ResetTokenState Storage::confirmTokenState(const std::string& tokenHash, std::int64_t now) {
    const auto rows =
        run("SELECT expires_at, used_at FROM confirm_tokens WHERE token_hash = ?", {tokenHash});
    if (rows.empty()) {
        return ResetTokenState::Unknown;
    }
    if (rows[0][1]) {
        return ResetTokenState::Used;
    }
    return number(rows[0][0]) > now ? ResetTokenState::Valid : ResetTokenState::Expired;
}

std::optional<std::int64_t> Storage::useConfirmToken(const std::string& tokenHash,
                                                     std::int64_t now) {
    // The member is confirmed before the token is marked: should the second step fail, the
    // link still works, and confirming twice changes nothing.
    const auto rows = run("UPDATE members SET confirmed_at = COALESCE(confirmed_at, ?)"
                          " WHERE id = (SELECT member_id FROM confirm_tokens WHERE token_hash = ?"
                          " AND used_at IS NULL AND expires_at > ?) RETURNING id",
                          {now, tokenHash, now});
    if (rows.empty()) {
        return std::nullopt;
    }
    const std::int64_t member = number(rows[0][0]);
    run("UPDATE confirm_tokens SET used_at = ? WHERE token_hash = ?", {now, tokenHash});
    run("DELETE FROM confirm_tokens WHERE member_id = ? AND used_at IS NULL", {member});
    return member;
}

void Storage::confirmMember(std::int64_t memberId, std::int64_t now) {
    run("UPDATE members SET confirmed_at = ? WHERE id = ? AND confirmed_at IS NULL",
        {now, memberId});
    run("DELETE FROM confirm_tokens WHERE member_id = ? AND used_at IS NULL", {memberId});
}

// --- moderation -----------------------------------------------------------------------

namespace {

void logAct(SqlConnection& db, std::int64_t now, const std::string& actor, const char* act,
            const std::string& target, const std::string& reason) {
    db.run("INSERT INTO moderation_log (at, actor, act, target, reason) VALUES (?, ?, ?, ?, ?)",
           {now, actor, act, target, reason});
}

// Counts the member's kept bests afresh in the periods around `at` (its day, its week, all
// time), inside the caller's transaction, after one of his scores there changed its ranking.
// Kept bests of another zone than the process's are left to be counted afresh on their
// next use.
void recountKeptBests(SqlConnection& db, std::int64_t memberId, std::int64_t at) {
    if (!keptIn(db, activeTimeZone())) {
        db.run("DELETE FROM settings WHERE name = ?", {keptZoneSetting});
        return;
    }
    const std::string fromScores =
        keepBestOf("SELECT member_id, score, submitted_at AS at, id AS score_id FROM scores"
                   " WHERE member_id = ? AND ranked = 1 AND proven >= ? AND submitted_at >= ?"
                   " AND submitted_at < ?");
    for (const KeptKind kind : keptKinds) {
        const std::int64_t start = keptStart(kind, at);
        const TimeSpan span = kind == allTime ? TimeSpan{earliest, latest} : keptSpan(kind, at);
        db.run("DELETE FROM kept_bests WHERE kind = ? AND period_start = ? AND member_id = ?",
               {std::int64_t{kind}, start, memberId});
        for (const std::int64_t provenOnly : {0, 1}) {
            db.run(fromScores, {std::int64_t{kind}, start, provenOnly, memberId, provenOnly,
                                span.from, span.until});
        }
    }
}

} // namespace

ModerationOutcome Storage::setScoreHidden(std::int64_t id, bool hide, const std::string& reason,
                                          const std::string& actor, std::int64_t now) {
    ModerationOutcome outcome = ModerationOutcome::Done;
    Lease lease(*this);
    SqlConnection& db = lease.db();
    try {
        inTransaction(db, 0, [&] {
            const auto owner = db.run("SELECT member_id FROM scores WHERE id = ?", {id});
            if (owner.empty()) {
                outcome = ModerationOutcome::NotFound;
                return;
            }
            const std::int64_t memberId = number(owner[0][0]);
            // Not while a score of his is recorded, nor while the kept bests are refilled.
            lockMember(db, memberId);
            if (db.engine() == SqlConnection::Engine::Postgres) {
                db.run("SELECT pg_advisory_xact_lock(?)", {keptLock});
            }
            const auto rows = db.run("SELECT s.submitted_at, h.score_id FROM scores s"
                                     " LEFT JOIN hidden_scores h ON h.score_id = s.id"
                                     " WHERE s.id = ?",
                                     {id});
            if (rows.at(0)[1].has_value() == hide) {
                outcome = ModerationOutcome::AlreadySo;
                return;
            }
            if (hide) {
                db.run("INSERT INTO hidden_scores (score_id, ranked, reason, hidden_by, hidden_at)"
                       " SELECT id, ranked, ?, ?, ? FROM scores WHERE id = ?",
                       {reason, actor, now, id});
                db.run("UPDATE scores SET ranked = 0 WHERE id = ?", {id});
            } else {
                db.run("UPDATE scores SET ranked = (SELECT ranked FROM hidden_scores"
                       " WHERE score_id = ?) WHERE id = ?",
                       {id, id});
                db.run("DELETE FROM hidden_scores WHERE score_id = ?", {id});
            }
            recountKeptBests(db, memberId, number(rows[0][0]));
            logAct(db, now, actor, hide ? "hide" : "show", std::to_string(id), reason);
        });
    } catch (...) {
        lease.fail();
        throw;
    }
    return outcome;
}

ModerationOutcome Storage::hideScore(std::int64_t id, const std::string& reason,
                                     const std::string& actor, std::int64_t now) {
    return setScoreHidden(id, true, reason, actor, now);
}

ModerationOutcome Storage::showScore(std::int64_t id, const std::string& actor, std::int64_t now) {
    return setScoreHidden(id, false, "", actor, now);
}

ModerationOutcome Storage::banMember(const std::string& email, const std::string& reason,
                                     const std::string& actor, std::int64_t now) {
    return setMemberBanned(email, true, reason, actor, now);
}

ModerationOutcome Storage::unbanMember(const std::string& email, const std::string& actor,
                                       std::int64_t now) {
    return setMemberBanned(email, false, "", actor, now);
}

ModerationOutcome Storage::setMemberBanned(const std::string& email, bool ban,
                                           const std::string& reason, const std::string& actor,
                                           std::int64_t now) {
    ModerationOutcome outcome = ModerationOutcome::Done;
    Lease lease(*this);
    SqlConnection& db = lease.db();
    try {
        inTransaction(db, 0, [&] {
            const auto member =
                db.run("SELECT id, email FROM members WHERE email_key = ?", {emailKey(email)});
            if (member.empty()) {
                outcome = ModerationOutcome::NotFound;
                return;
            }
            const std::int64_t memberId = number(member[0][0]);
            if (ban) {
                lockMember(db, memberId); // a score of his recorded meanwhile is the last
            }
            const bool changed =
                !(ban ? db.run("INSERT INTO member_bans (member_id, reason, banned_by, banned_at)"
                               " VALUES (?, ?, ?, ?) ON CONFLICT (member_id) DO NOTHING"
                               " RETURNING member_id",
                               {memberId, reason, actor, now})
                      : db.run("DELETE FROM member_bans WHERE member_id = ? RETURNING member_id",
                               {memberId}))
                     .empty();
            if (!changed) {
                outcome = ModerationOutcome::AlreadySo;
                return;
            }
            if (ban) {
                db.run("DELETE FROM sessions WHERE member_id = ?", {memberId});
            }
            logAct(db, now, actor, ban ? "ban" : "unban", member[0][1].value_or(""), reason);
        });
    } catch (...) {
        lease.fail();
        throw;
    }
    return outcome;
}

std::vector<ScoreRecord> Storage::scoreRecords(const std::optional<std::string>& email,
                                               std::int64_t since, int limit) {
    std::string sql =
        "SELECT s.id, s.submitted_at, s.score, s.proven, COALESCE(h.ranked, s.ranked),"
        " h.score_id, m.email, m.nickname FROM scores s"
        " JOIN members m ON m.id = s.member_id"
        " LEFT JOIN hidden_scores h ON h.score_id = s.id WHERE s.submitted_at >= ?";
    std::vector<SqlValue> params = {since};
    if (email) {
        sql += " AND s.member_id = (SELECT id FROM members WHERE email_key = ?)";
        params.emplace_back(emailKey(*email));
    }
    sql += " ORDER BY s.id DESC LIMIT ?";
    params.emplace_back(std::int64_t{limit});
    std::vector<ScoreRecord> out;
    for (const auto& row : run(sql, params)) {
        out.push_back({number(row[0]), number(row[1]), static_cast<std::int32_t>(number(row[2])),
                       number(row[3]) == 1, number(row[4]) == 1, row[5].has_value(),
                       row[6].value_or(""), row[7].value_or("")});
    }
    return out;
}

std::vector<ModerationAct> Storage::moderationLog(std::int64_t since, int limit) {
    std::vector<ModerationAct> out;
    for (const auto& row : run("SELECT at, actor, act, target, reason FROM moderation_log"
                               " WHERE at >= ? ORDER BY id DESC LIMIT ?",
                               {since, std::int64_t{limit}})) {
        out.push_back({number(row[0]), row[1].value_or(""), row[2].value_or(""),
                       row[3].value_or(""), row[4].value_or("")});
    }
    return out;
}

std::unique_ptr<Storage> openStorage(const std::string& location) {
    if (location.starts_with("postgresql://") || location.starts_with("postgres://")) {
        return std::make_unique<Storage>([location] { return openPostgres(location); }, 8);
    }
    const auto folder = std::filesystem::path(location).parent_path();
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    // One SQLite connection: writers take turns anyway, and one connection never waits
    // on another's lock.
    return std::make_unique<Storage>([location] { return openSqlite(location); }, 1);
}

std::string defaultDatabasePath() {
    std::filesystem::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        base = ".";
    }
    return (base / "pingel-portal" / "portal.db").string();
}
