// Everything the portal keeps lives here, in one database: the members, their scores,
// the builds of the game that the operator lists, the login sessions and the failed
// password attempts that throttle logins. Nothing that matters stays only in a process,
// so several portal processes on one PostgreSQL database act as one portal. The same
// statements serve both engines; the storage is safe to use from many threads.
#pragma once

#include "portal/sql.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct Member {
    std::int64_t id = 0;
    std::string email; // as given (UTF-8)
    std::string nickname;
    std::string passwordHash;
    std::string recruiterKey; // the address key of the member who recruited him, or ""
    // Whether he has confirmed his address by the link mailed to it. Until then his scores
    // are kept but count in no list and win nothing, he is nobody's recruit and he sends no
    // challenges.
    bool confirmed = false;
    // Banned by the operator (member ban): no login, no score taken.
    bool banned = false;
};

struct ScoreEntry {
    std::int64_t memberId = 0;
    std::int32_t score = 0;
    std::int32_t playTimeMs = 0;
    bool ranked = false;
    std::uint32_t buildChecksum = 0;
    std::uint32_t buildLength = 0;
    std::int32_t cpuSpeed = 0;
    std::string cpu;
    std::string address;
    std::int64_t at = 0; // Unix seconds
    // The proof by replay (proof.h): the replay's bytes as sent ("" without one), whether
    // it reproduced the score, and why not, for the operator; the game's seed and the
    // digest of its opening find the same game sent by another member (proof.h).
    bool proven = false;
    std::string verdict;
    std::string replay;
    std::optional<std::uint32_t> replaySeed;
    std::string openingDigest;
    // False when recordScore refused it: its member had sent his hour's scores already,
    // or he is banned (memberBanned).
    bool recorded = true;
    bool memberBanned = false;
};

// A stored replay with what its score claimed, for watching and for verify.
struct StoredReplay {
    std::int64_t id = 0;
    std::string nickname;
    std::int32_t score = 0;
    std::int32_t playTimeMs = 0;
    std::uint32_t buildChecksum = 0;
    std::uint32_t buildLength = 0;
    bool proven = false;
    std::string verdict;
    std::string replay;  // the bytes
    bool hidden = false; // by the operator (score hide)
};

// One line of a top list: a member's best ranked score in the period. Never an address.
struct ListedScore {
    std::string nickname;
    std::int32_t score = 0;
    std::int64_t at = 0;
    std::int64_t id = 0; // the score's
    bool proven = false;
};

// A winning score, for the operator: with the member's address.
struct RankedScore {
    std::string nickname;
    std::string email;
    std::int32_t score = 0;
    std::int64_t at = 0;
};

// A member's place in the bonus competition: his recruits in the period.
struct RecruiterPoints {
    std::string nickname;
    std::string email;
    std::int64_t points = 0;
};

struct Build {
    std::uint32_t checksum = 0;
    std::uint32_t length = 0;
    bool operator==(const Build&) const = default;
};

// A score as the operator lists it (score list); `ranked` of a hidden score is what it
// counts as once shown again.
struct ScoreRecord {
    std::int64_t id = 0;
    std::int64_t at = 0;
    std::int32_t score = 0;
    bool proven = false;
    bool ranked = false;
    bool hidden = false;
    std::string email;
    std::string nickname;
};

// One act of moderation as logged: "hide" and "show" name a score's id as the target,
// "ban" and "unban" a member's address.
struct ModerationAct {
    std::int64_t at = 0;
    std::string actor;
    std::string act;
    std::string target;
    std::string reason;
};

// What a moderation act came to: done (and logged), nothing to act on, or nothing to do.
enum class ModerationOutcome { Done, NotFound, AlreadySo };

enum class BuildStatus { NoList, Listed, Unlisted };

// A member who joined naming another as his recruiter ("tipsare"). Never an address.
struct Recruit {
    std::string nickname;
    std::int64_t joinedAt = 0;
};

// The state of a one-time link (a password reset's or an address confirmation's).
enum class ResetTokenState { Valid, Used, Expired, Unknown };

// What joining as a new member came to.
enum class JoinOutcome { Joined, AddressTaken, NicknameTaken };
struct Joining {
    JoinOutcome outcome = JoinOutcome::Joined;
    std::int64_t memberId = 0; // the new member's
};

class Storage {
  public:
    // The schema's last step (see storage.cpp): 2 the scores' proofs by replay (scores of
    // a database of version 1 become unproven), 3 the scores' indexes, 4 the lists' kept
    // bests, 5 members confirm their addresses (those of an older database count as
    // confirmed) and nicknames are unique regardless of case, 6 a member's scores by time
    // (his hour's scores counted), 7 moderation (hidden scores, banned members, the log).
    // A database is brought up to it step by step when opened.
    static constexpr std::int64_t schemaVersion = 7;
    // The most games of other members with the same seed or opening that a new proven
    // game is compared with.
    static constexpr int claimedGamesCompared = 256;

    // Opens connections through `open` (up to `connections` at a time) and applies the
    // schema's steps that the database lacks (all of them to a new one), each in a
    // transaction of its own, recorded in schema_migrations. Throws SqlError, also for a
    // database written by a newer portal.
    Storage(std::function<std::unique_ptr<SqlConnection>()> open, std::size_t connections);

    // A member the operator adds, his address taken as confirmed. False when an account
    // with that address (in any case) or that nickname (as nicknameKey() compares) exists.
    // `recruiterEmail` is the address of the member who recruited the new one, or "".
    bool addMember(const std::string& email, const std::string& nickname,
                   const std::string& passwordHash, std::int64_t now,
                   const std::string& recruiterEmail = {});
    // A member who joins by the registration form: his address is unconfirmed until he
    // uses a confirmation link. A taken nickname is reported before a taken address.
    Joining join(const std::string& email, const std::string& nickname,
                 const std::string& passwordHash, std::int64_t now,
                 const std::string& recruiterEmail = {});
    // Whether a member has this nickname (as nicknameKey() compares).
    bool nicknameTaken(const std::string& nickname);
    // Removes the member with his scores and sessions; false when there was none.
    bool removeMember(const std::string& email);
    std::optional<Member> findMember(const std::string& email);

    // Records the score and, when ranked, keeps it among its member's bests of its day, its
    // week and all time, in one transaction. A proven score with a replay is first
    // compared, in the same transaction, with the proven games of other members with the
    // same seed or the same opening (the first claimedGamesCompared of them): when
    // `sameGame` says one of their replays is the same game, the score is recorded unproven
    // and unranked, "game already claimed".
    // With `perHour` above 0, a member who has that many scores stored from the hour before
    // the entry's time gets none recorded (`recorded` false), counted in the same
    // transaction, so scores sent at once never pass the limit. A banned member gets none
    // recorded either (`recorded` false, `memberBanned`).
    // Returns the entry as recorded.
    ScoreEntry recordScore(ScoreEntry entry,
                           const std::function<bool(std::string_view replay)>& sameGame = {},
                           int perHour = 0);
    // How many scores the member has stored from `since` on.
    std::int64_t scoresSince(std::int64_t memberId, std::int64_t since);
    // The lists and the winners count ranked scores that a replay proved, or every ranked
    // score with `unproven` (serve --rank-unproven).
    void listUnproven(bool unproven) { listUnproven_ = unproven; }
    // The stored replay of score `id`, proven or not; nothing when it has none.
    std::optional<StoredReplay> replayOf(std::int64_t id);
    // Proven scores' replays with ids above `after`, in id order, at most `limit`.
    std::vector<StoredReplay> provenReplays(std::int64_t after, int limit);
    // Each member's best ranked score at or after `since`, best first.
    std::vector<ListedScore> topScores(std::int64_t since, int limit);
    // Each member's best ranked score in [from, until), best first; of a member's equal
    // scores the earliest (then the first stored), of equal bests the earlier first (then
    // the member who joined first). A local day or week (dayAround, weekAround) and all time
    // (from <= 0 to the end of time) are read from the kept bests, a range of an index however
    // many scores there are; any other span from the scores.
    std::vector<ListedScore> topScores(std::int64_t from, std::int64_t until, int limit);
    // The best ranked score in [from, until); of equal scores the earliest, then the first
    // stored. A week or whole local days are read from the kept bests, one period each.
    std::optional<RankedScore> bestScore(std::int64_t from, std::int64_t until);
    // The kept bests count days and weeks in the process's time zone (activeTimeZone());
    // when the database's were counted in another (or never), the first call that reads or
    // keeps them counts them afresh from the scores. Off, every list and winner is read
    // from the scores (for comparisons).
    void readKeptBests(bool on) { keptBests_ = on; }
    // Counts them now when they need it (serve, once its zone is set, before it listens:
    // seconds for a million scores that no visitor should wait).
    void countKeptBests();

    // Every member with recruits in [from, until), counted as recruits() lists them; most
    // first, and of equal counts the one who reached his count first.
    std::vector<RecruiterPoints> recruitStandings(std::int64_t from, std::int64_t until);

    // The operator's settings that every portal process on the database shares.
    std::optional<std::string> setting(const std::string& name);
    void setSetting(const std::string& name, const std::string& value);
    void removeSetting(const std::string& name);

    // False when the build was listed already.
    bool addBuild(const Build& build);
    std::vector<Build> builds();
    BuildStatus buildStatus(const Build& build);

    // Failed password attempts, by a key such as an account or an address; also requests
    // counted against a rate limit. An attempt is recorded before it is judged, so that
    // attempts made at once each see the others (see checkLogin): the id removes it again.
    std::int64_t recordFailure(const std::string& key, std::int64_t now);
    void removeFailure(std::int64_t id);
    // An attempt under a limit: recorded under `key` (its id returned) when fewer than
    // `limit` are recorded at or after `since`, else nothing is recorded. The count and the
    // record are one step, for all portal processes on the database: attempts made at once
    // are admitted exactly up to the limit.
    std::optional<std::int64_t> attempt(const std::string& key, int limit, std::int64_t since,
                                        std::int64_t now);
    // A request under a rate limit: whether attempt() admitted it.
    bool admit(const std::string& key, int limit, std::int64_t since, std::int64_t now);
    int failuresSince(const std::string& key, std::int64_t since);
    // The oldest failure at or after `since`, if any.
    std::optional<std::int64_t> oldestFailureSince(const std::string& key, std::int64_t since);
    void clearFailures(const std::string& key);

    // Sessions by the hash of their token.
    void createSession(const std::string& tokenHash, std::int64_t memberId, std::int64_t expires);
    std::optional<std::int64_t> sessionMember(const std::string& tokenHash, std::int64_t now);
    void removeSession(const std::string& tokenHash);
    // Ends every session of the member (a new password logs him out everywhere).
    void removeSessions(std::int64_t memberId);
    void removeExpiredSessions(std::int64_t now);

    std::optional<Member> memberById(std::int64_t id);
    void setPassword(std::int64_t memberId, const std::string& passwordHash);
    // The members who joined in [from, until) naming this one's address as the one who
    // recruited them, earliest first; naming oneself counts for nothing. The bonus
    // competition counts these (recruitStandings shares the rule).
    std::vector<Recruit> recruits(std::int64_t memberId, std::int64_t from = 0,
                                  std::int64_t until = std::numeric_limits<std::int64_t>::max());

    // One-time password reset links, by the hash of their token.
    void createResetToken(const std::string& tokenHash, std::int64_t memberId, std::int64_t expires,
                          std::int64_t now);
    ResetTokenState resetTokenState(const std::string& tokenHash, std::int64_t now);
    // Marks a valid token used, once, and forgets the member's other tokens; the
    // member, or nothing when the token was not valid.
    std::optional<std::int64_t> useResetToken(const std::string& tokenHash, std::int64_t now);

    // One-time links that confirm a member's address, by the hash of their token.
    void createConfirmToken(const std::string& tokenHash, std::int64_t memberId,
                            std::int64_t expires, std::int64_t now);
    ResetTokenState confirmTokenState(const std::string& tokenHash, std::int64_t now);
    // Confirms the member of a valid token and marks the token used, once, forgetting his
    // other tokens; the member, or nothing when the token was not valid.
    std::optional<std::int64_t> useConfirmToken(const std::string& tokenHash, std::int64_t now);
    // Confirms the member (a used reset link proves the address as well); no change when
    // he is confirmed already.
    void confirmMember(std::int64_t memberId, std::int64_t now);

    // Moderation by the operator; each act is logged with its time, actor and reason in
    // the transaction that makes it. A hidden score stays stored but counts in no list,
    // kept best or winner (its member's next best takes its place) and its replay is not
    // served; shown again it counts exactly as before. A banned member cannot log in, his
    // sessions end and recordScore stores no score of his; his earlier scores stay.
    ModerationOutcome hideScore(std::int64_t id, const std::string& reason,
                                const std::string& actor, std::int64_t now);
    ModerationOutcome showScore(std::int64_t id, const std::string& actor, std::int64_t now);
    ModerationOutcome banMember(const std::string& email, const std::string& reason,
                                const std::string& actor, std::int64_t now);
    ModerationOutcome unbanMember(const std::string& email, const std::string& actor,
                                  std::int64_t now);
    // Scores stored at or after `since`, of one member (by address) or of all, newest
    // (last stored) first, at most `limit`.
    std::vector<ScoreRecord> scoreRecords(const std::optional<std::string>& email,
                                          std::int64_t since, int limit);
    // The log from `since` on, newest first, at most `limit`.
    std::vector<ModerationAct> moderationLog(std::int64_t since, int limit);

  private:
    class Lease;
    // Hides or shows score `id` (moderation), recounting its member's kept bests.
    ModerationOutcome setScoreHidden(std::int64_t id, bool hide, const std::string& reason,
                                     const std::string& actor, std::int64_t now);
    // Bans or lifts the ban of the member at `email`, ending his sessions when banned.
    ModerationOutcome setMemberBanned(const std::string& email, bool ban, const std::string& reason,
                                      const std::string& actor, std::int64_t now);
    std::vector<SqlRow> run(const std::string& sql, const std::vector<SqlValue>& params = {});
    void createSchema(SqlConnection& db);
    void migrate(SqlConnection& db, std::int64_t from);
    Joining insertMember(const std::string& email, const std::string& nickname,
                         const std::string& passwordHash, std::int64_t now,
                         const std::string& recruiterEmail, bool confirmed);
    // Runs the statement once the kept bests are of this process's time zone.
    std::vector<SqlRow> runKept(const std::string& sql, const std::vector<SqlValue>& params);
    std::vector<ListedScore> scannedTopScores(std::int64_t from, std::int64_t until, int limit);
    std::optional<RankedScore> scannedBestScore(std::int64_t from, std::int64_t until);
    std::int64_t provenAtLeast() const { return listUnproven_ ? 0 : 1; }

    std::function<std::unique_ptr<SqlConnection>()> open_;
    std::size_t limit_;
    std::size_t opened_ = 0;
    std::vector<std::unique_ptr<SqlConnection>> idle_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::atomic<bool> listUnproven_{false};
    std::atomic<bool> keptBests_{true};
};

// "postgresql://..." or "postgres://..." opens PostgreSQL; anything else is an SQLite file,
// whose folder is created when missing.
std::unique_ptr<Storage> openStorage(const std::string& location);
// $XDG_DATA_HOME/pingel-portal/portal.db, or ~/.local/share/pingel-portal/portal.db.
std::string defaultDatabasePath();
