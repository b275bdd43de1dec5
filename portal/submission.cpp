// The highscore endpoint's logic; see submission.h. It knows nothing of HTTP beyond the
// body, its content type and the caller's address.
#include "portal/submission.h"

#include "net/form_field.h"
#include "portal/password.h"
#include "portal/proof.h"
#include "portal/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <thread>
#include <type_traits>

namespace {

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int hi = hexDigitValue(text[i + 1]), lo = hexDigitValue(text[i + 2]);
            if (hi < 0 || lo < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A decimal as the game writes it: "%d" (an optional minus, digits) or "%u" (digits).
template <typename T> std::optional<T> decimal(std::string_view text) {
    if (text.empty() || text.size() > 11 || text[0] == '+') {
        return std::nullopt;
    }
    if constexpr (std::is_unsigned_v<T>) {
        if (text[0] == '-') {
            return std::nullopt;
        }
    }
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool isFormContentType(std::string_view type) {
    constexpr std::string_view form = "application/x-www-form-urlencoded";
    if (type.size() < form.size()) {
        return false;
    }
    for (std::size_t i = 0; i < form.size(); ++i) {
        const char c = type[i] >= 'A' && type[i] <= 'Z' ? static_cast<char>(type[i] + 32) : type[i];
        if (c != form[i]) {
            return false;
        }
    }
    const std::string_view rest = type.substr(form.size());
    return rest.empty() || rest[0] == ';' || rest[0] == ' ';
}

std::string throttledText() {
    // Latin-1, as the game reads it.
    return std::to_string(replyThrottled) + " F\xF6r m\xE5nga f\xF6rs\xF6k";
}

std::string busyText() {
    // Latin-1, as the game reads it: too many are checking passwords just now.
    return std::to_string(replyThrottled) + " Upptaget, f\xF6rs\xF6k igen om en stund";
}

std::string tooOftenText() {
    // Latin-1, as the game reads it: too many scores sent within an hour.
    return std::to_string(replyThrottled) + " F\xF6r m\xE5nga resultat p\xE5 en timme";
}

std::string bannedText() {
    // Latin-1, as the game reads it: the operator has banned the member.
    return std::to_string(replyThrottled) + " Kontot \xE4r avst\xE4ngt";
}

} // namespace

std::optional<std::vector<FormField>> parseForm(std::string_view body) {
    std::vector<FormField> fields;
    while (!body.empty()) {
        const auto amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        const auto eq = pair.find('=');
        if (eq == std::string_view::npos) {
            return std::nullopt;
        }
        auto name = unescape(pair.substr(0, eq));
        auto value = unescape(pair.substr(eq + 1));
        if (!name || !value) {
            return std::nullopt;
        }
        fields.push_back({std::move(*name), std::move(*value)});
    }
    return fields;
}

std::optional<Submission> decodeSubmission(std::string_view body) {
    static constexpr std::array<const char*, 11> names = {"f1", "f2", "f3", "f4", "f5", "f6",
                                                          "f7", "f8", "f9", "fa", "fb"};
    auto form = parseForm(body);
    if (!form || (form->size() != names.size() && form->size() != names.size() + 1)) {
        return std::nullopt;
    }
    // The replay comes last, after the eleven.
    std::optional<std::string> replayBytes;
    if (form->size() > names.size()) {
        if (form->back().name != "fc") {
            return std::nullopt;
        }
        replayBytes = decodeBase64Url(form->back().value, replay::maxBytes);
        if (!replayBytes) {
            return std::nullopt;
        }
        form->pop_back();
    }
    std::optional<replay::Replay> game;
    if (replayBytes) {
        auto decoded = replay::decode(*replayBytes);
        if (!decoded.replay) {
            return std::nullopt;
        }
        game = std::move(decoded.replay);
    }
    std::map<std::string, std::string> values;
    for (const auto& field : *form) {
        std::optional<std::string> decoded =
            field.name == "f2" ? std::optional(field.value) : decodeField(field.value);
        if (!decoded || !values.emplace(field.name, std::move(*decoded)).second) {
            return std::nullopt;
        }
    }
    for (const char* name : names) {
        if (!values.contains(name)) {
            return std::nullopt;
        }
    }
    const std::string& email = values["f1"];
    const std::string& password = values["f3"];
    const auto score = decimal<std::int32_t>(values["f4"]);
    const auto playTime = decimal<std::int32_t>(values["f5"]);
    const auto speed = decimal<std::int32_t>(values["f6"]);
    const auto checksum = decimal<std::uint32_t>(values["f8"]);
    const auto length = decimal<std::uint32_t>(values["f9"]);
    const auto sum = decimal<std::int32_t>(values["fb"]);
    // The game id is the one plain field, written as "%d".
    if (values["f2"] != std::to_string(portalGameId) || !score || !playTime || !speed ||
        !checksum || !length || !sum || email.empty() || email.size() > 64 || password.empty() ||
        password.size() > 16 || values["f7"].size() > 64) {
        return std::nullopt;
    }
    if (values["fa"] != values["f4"] + email ||
        *sum != static_cast<std::int32_t>(*length + static_cast<std::uint32_t>(*score))) {
        return std::nullopt;
    }
    return Submission{latin1ToUtf8(email),
                      latin1ToUtf8(password),
                      *score,
                      *playTime,
                      *speed,
                      latin1ToUtf8(values["f7"]),
                      {*checksum, *length},
                      replayBytes.value_or(""),
                      std::move(game)};
}

// In one update the score can grow by at most 105:
// - a pellet gives 5. The penguin eats what lies within his box, 18 pixels wide and 19
//   high around his centre, and no two pellets of the board lie that close in both
//   directions, so at most one pellet is eaten per update.
// - an eaten butterfly gives 100 and the board's only other points. A butterfly can only
//   be eaten after it was created, and at most one is created per update, so over a game
//   no more butterflies are eaten than updates have run.
// Power pills, levels and extra lives give no points. How many updates fit the play time
// is mostUpdatesFor's (proof.cpp).
std::int64_t mostPointsFor(std::int32_t playTimeMs) {
    constexpr std::int64_t pointsPerUpdate = 5 + 100;
    return pointsPerUpdate * mostUpdatesFor(playTimeMs);
}

std::chrono::milliseconds accountDelay(int failures, const ThrottleRules& rules) {
    if (failures < rules.perAccount) {
        return std::chrono::milliseconds(0);
    }
    std::chrono::milliseconds delay = rules.firstDelay;
    for (int i = rules.perAccount; i < failures && delay < rules.maxDelay; ++i) {
        delay *= 2;
    }
    return std::min(delay, rules.maxDelay);
}

LoginCheck checkLogin(Storage& storage, PasswordChecks& passwords, const std::string& email,
                      const std::string& password, const std::string& address, std::int64_t now,
                      const ThrottleRules& rules, bool likeAMember) {
    const std::int64_t since = now - rules.windowSeconds;
    const std::string addressKey = "address:" + address;
    if (storage.failuresSince(addressKey, since) >= rules.perAddress) {
        return {LoginOutcome::Throttled, std::nullopt};
    }
    auto member = storage.findMember(email);
    const bool asAMember = member || likeAMember;
    const std::string account = member        ? std::to_string(member->id)
                                : likeAMember ? "nobody:" + emailKey(email)
                                              : "";
    const std::string guessKey = "guess:" + account + ":" + address;
    const std::string accountKey = "account:" + account;
    if (asAMember) {
        const int guesses = storage.failuresSince(guessKey, since);
        if (guesses >= rules.perAccount) {
            return {LoginOutcome::Throttled, std::nullopt};
        }
        // A password found right before is no guess: answered at once, counted nowhere.
        if (member && passwords.known(member->passwordHash, password)) {
            if (guesses > 0) {
                storage.clearFailures(guessKey);
            }
            return {LoginOutcome::Right, std::move(member)};
        }
    }
    // A guess: counted and recorded in one step before it is judged, so guesses made at
    // once are admitted exactly up to the limits.
    const auto addressAttempt = storage.attempt(addressKey, rules.perAddress, since, now);
    if (!addressAttempt) {
        return {LoginOutcome::Throttled, std::nullopt};
    }
    if (!asAMember) {
        return {LoginOutcome::NoMember, std::nullopt}; // counted, as a wrong password is
    }
    const auto guessAttempt = storage.attempt(guessKey, rules.perAccount, since, now);
    if (!guessAttempt) {
        storage.removeFailure(*addressAttempt);
        return {LoginOutcome::Throttled, std::nullopt};
    }
    const std::int64_t accountAttempt = storage.recordFailure(accountKey, now);
    const auto takeBack = [&] {
        storage.removeFailure(accountAttempt);
        storage.removeFailure(*guessAttempt);
        storage.removeFailure(*addressAttempt);
    };
    // The others' wrong passwords for this account slow its check, never refuse it.
    const auto delay = accountDelay(storage.failuresSince(accountKey, since) - 1, rules);
    if (delay.count() > 0) {
        rules.sleep ? rules.sleep(delay) : std::this_thread::sleep_for(delay);
    }
    bool right = false;
    try {
        if (member) {
            right = passwords.verify(member->passwordHash, password);
        } else {
            passwords.verifyNobodys(password);
        }
    } catch (const PasswordQueueFull&) {
        takeBack();
        return {LoginOutcome::Busy, std::nullopt};
    } catch (...) {
        takeBack();
        throw;
    }
    if (!member) {
        return {LoginOutcome::NoMember, std::nullopt}; // counted, as a wrong password is
    }
    if (!right) {
        return {LoginOutcome::WrongPassword, std::nullopt};
    }
    takeBack();
    storage.clearFailures(guessKey);
    return {LoginOutcome::Right, std::move(member)};
}

SubmissionReply answerSubmission(Storage& storage, PasswordChecks& passwords, std::string_view body,
                                 std::string_view contentType, const std::string& address,
                                 std::int64_t now, const ThrottleRules& rules,
                                 const ScoringRules& scoring) {
    const SubmissionReply bad{400, "400 Felaktig inskickning", SubmissionVerdict::Malformed};
    if (body.size() > submissionBodyLimit || !isFormContentType(contentType)) {
        return bad;
    }
    const auto submission = decodeSubmission(body);
    if (!submission) {
        return bad;
    }
    const auto login = checkLogin(storage, passwords, submission->email, submission->password,
                                  address, now, rules);
    switch (login.outcome) {
    case LoginOutcome::Throttled:
        return {200, throttledText(), SubmissionVerdict::Throttled};
    case LoginOutcome::Busy:
        return {200, busyText(), SubmissionVerdict::Busy};
    case LoginOutcome::NoMember:
        return {200, "2", SubmissionVerdict::UnknownMember};
    case LoginOutcome::WrongPassword:
        return {200, "3", SubmissionVerdict::WrongPassword};
    case LoginOutcome::Right:
        break;
    }
    const Member& member = *login.member;
    // Told only to one who knows the password; nothing is stored (checked again where the
    // score would be recorded).
    if (member.banned) {
        return {200, bannedText(), SubmissionVerdict::Banned};
    }
    // Read before the replay is run (which costs milliseconds), and counted again where the
    // score is recorded, so that scores sent at once never pass the limit.
    if (rules.submissionsPerHour > 0 &&
        storage.scoresSince(member.id, now - 3600) >= rules.submissionsPerHour) {
        return {200, tooOftenText(), SubmissionVerdict::TooOften};
    }

    const BuildStatus build = storage.buildStatus(submission->build);
    ScoreEntry entry;
    entry.memberId = member.id;
    entry.score = submission->score;
    entry.playTimeMs = submission->playTimeMs;
    entry.buildChecksum = submission->build.checksum;
    entry.buildLength = submission->build.length;
    entry.cpuSpeed = submission->cpuSpeed;
    entry.cpu = submission->cpu;
    entry.address = address;
    entry.at = now;
    if (submission->replay) {
        // Only now, for a member whose password was right: the run costs milliseconds.
        const replay::Replay& game = *submission->replay;
        entry.verdict =
            build == BuildStatus::Unlisted ? "the build is not listed"
            : scoring.resources
                ? disproof(game, {submission->score, submission->playTimeMs, submission->build},
                           *scoring.resources)
                : "the portal runs no replays";
        entry.proven = entry.verdict.empty();
        entry.replay = submission->replayBytes;
        entry.replaySeed = game.seed;
        entry.openingDigest = openingDigest(game);
    } else {
        entry.verdict = "no replay";
    }
    const bool plausible = submission->score >= 0 &&
                           submission->score <= mostPointsFor(submission->playTimeMs) &&
                           build != BuildStatus::Unlisted;
    entry.ranked = plausible && (entry.proven || (!submission->replay && scoring.rankUnproven));
    // The game is refused when another member has claimed it (checked and recorded in one
    // transaction, so two members cannot both claim one game).
    const ScoreEntry recorded = storage.recordScore(
        entry,
        [&](std::string_view stored) {
            const auto other = replay::decode(stored);
            return other.replay && samePlay(*other.replay, *submission->replay);
        },
        rules.submissionsPerHour);
    if (!recorded.recorded) {
        return recorded.memberBanned
                   ? SubmissionReply{200, bannedText(), SubmissionVerdict::Banned}
                   : SubmissionReply{200, tooOftenText(), SubmissionVerdict::TooOften};
    }
    if (recorded.ranked) {
        return {200, "0", SubmissionVerdict::Ranked};
    }
    // The version page is chosen by the game's id; the game opens it for a number above 1.
    return {200, build == BuildStatus::Unlisted ? "1\n" + std::to_string(portalGameId) : "1",
            SubmissionVerdict::Unranked};
}
