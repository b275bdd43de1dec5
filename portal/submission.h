// The game's highscore submission as the portal receives it: the form body of eleven
// fields (f2 the plain game id, the others obscured by the game's field key) and, from
// games that record themselves, a twelfth, "fc", the replay of the game as base64url; its
// checks, the proof of the score by its replay (proof.h), and the reply: 2 no such member, 3 wrong
// password, 0 recorded and ranked, 1 recorded but not ranked (with the version page's number on a
// second line when the build is not one the operator lists), 7 and a Swedish reason when refused
// for too many failed passwords, while the portal is too busy to check a password, past the
// member's submissions an hour, or to a member the operator has banned (nothing stored). A reply of
// 0 or 1 is given only once the score is committed.
#pragma once

#include "game/replay.h"
#include "portal/password.h"
#include "portal/storage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct FormField {
    std::string name;
    std::string value;
};
// An application/x-www-form-urlencoded body: "&"-separated name=value pairs, "+" read as a
// blank, %XX as a byte. Nothing when a pair has no "=" or an escape is broken.
std::optional<std::vector<FormField>> parseForm(std::string_view body);

struct Submission {
    std::string email;    // UTF-8 (sent as Latin-1)
    std::string password; // UTF-8 (sent as Latin-1)
    std::int32_t score = 0;
    std::int32_t playTimeMs = 0;
    std::int32_t cpuSpeed = 0;
    std::string cpu; // UTF-8
    Build build;
    std::string replayBytes; // as sent, empty without a replay
    std::optional<replay::Replay> replay;
};
// The body's fields decoded and checked against each other; nothing when any check fails,
// also when a replay is sent that does not decode (more than replay::maxBytes or
// replay::maxUpdates, or malformed).
std::optional<Submission> decodeSubmission(std::string_view body);

// The most points a game can hold after this much play; see submission.cpp for why.
std::int64_t mostPointsFor(std::int32_t playTimeMs);

struct ThrottleRules {
    // Wrong passwords from one address for one account in the window: past them that address
    // is refused for that account (and only that address).
    int perAccount = 5;
    // Wrong passwords and unknown e-mail addresses from one address in the window, over all
    // accounts: past them the address is refused for every account.
    int perAddress = 20;
    std::int64_t windowSeconds = 15 * 60;
    // The account's wrong passwords from anywhere in the window slow every check of it,
    // its owner's too, but never refuse it: once there are perAccount of them a check waits
    // firstDelay, doubled for each further one, at most maxDelay.
    std::chrono::milliseconds firstDelay{250};
    std::chrono::milliseconds maxDelay{4000};
    // Registrations tried (POST /registrera/, refused forms included) from one address an
    // hour: each that passes its checks hashes a password.
    int registrationsPerClient = 20;
    // A member's scores stored in any rolling hour, counted once his password was right (so
    // nobody else can use them up): 60 let a player send a game every minute without end;
    // one more is answered 7 and stores no score.
    int submissionsPerHour = 60;
    // Waits that long; std::this_thread::sleep_for when empty (tests record instead).
    std::function<void(std::chrono::milliseconds)> sleep;
};

// The wait before checking a password of an account with `failures` wrong passwords in the
// window.
std::chrono::milliseconds accountDelay(int failures, const ThrottleRules& rules);

// A password check under the throttle, shared by the game's endpoint and the login page.
// Every attempt is recorded before it is judged, so that guesses sent at once cannot pass
// the limits together; an attempt refused by the throttle, or that found the password
// right, takes its own record back, and a right password also forgets its address's wrong
// ones for that account. An unknown e-mail address counts like a wrong password against
// the address. Busy: Argon2id's queue was full (the attempt is not counted).
// With `likeAMember` (the login page, which must not tell who is a member) an unknown
// address goes the way of a wrong password to its end, under an account key of its own
// ("nobody:" and the address key): the same limits, delays and records, and an Argon2id
// check against a hash of nobody's (PasswordChecks::verifyNobodys), before NoMember.
enum class LoginOutcome { Throttled, NoMember, WrongPassword, Right, Busy };
struct LoginCheck {
    LoginOutcome outcome = LoginOutcome::NoMember;
    std::optional<Member> member;
};
LoginCheck checkLogin(Storage& storage, PasswordChecks& passwords, const std::string& email,
                      const std::string& password, const std::string& address, std::int64_t now,
                      const ThrottleRules& rules, bool likeAMember = false);

// What became of a submission, as the portal counts them: by the reply's code (0, 1, 2, 3,
// the three reasons for 7) or a body that is not the game's (400).
enum class SubmissionVerdict {
    Ranked,
    Unranked,
    UnknownMember,
    WrongPassword,
    Throttled,
    Busy,
    TooOften,
    Banned,
    Malformed
};
struct SubmissionReply {
    int status = 200;
    std::string text; // Latin-1
    SubmissionVerdict verdict = SubmissionVerdict::Malformed;
};

// The eleven fields, and "&fc=" with the largest replay in base64url.
constexpr std::size_t submissionBodyLimit = 4096 + 4 + (replay::maxBytes * 4 + 2) / 3;
constexpr std::int32_t portalGameId = 8;
// The reply code for too many failed passwords, outside the codes the game acts on.
constexpr int replyThrottled = 7;

// How scores are judged: the resources the game's World is built from (the game's own,
// EmbeddedResources), and whether a score sent without a replay is ranked when it passes
// the older checks (play time, listed build), as before games sent their replays.
struct ScoringRules {
    const Resources* resources = nullptr;
    bool rankUnproven = false;
};

// Decodes the request (400 for a bad one, before any password is checked), checks the
// login, proves the score by its replay and commits it with the verdict before the
// reply: "0" ranked, "1" recorded unranked (the reason kept for the operator).
SubmissionReply answerSubmission(Storage& storage, PasswordChecks& passwords, std::string_view body,
                                 std::string_view contentType, const std::string& address,
                                 std::int64_t now, const ThrottleRules& rules,
                                 const ScoringRules& scoring);
