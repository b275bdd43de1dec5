// The proof of a score by its replay; see proof.h.
#include "portal/proof.h"

#include "portal/password.h"

#include <algorithm>

namespace {

std::string buildText(std::uint32_t checksum, std::uint32_t length) {
    return std::to_string(checksum) + "/" + std::to_string(length);
}

} // namespace

// The game runs 50 updates a second: frames are due every 40 ms from the start of play,
// each running two updates, and frames that fall behind are run back to back, so no more
// than two updates per 40 ms of play can have run, plus the frame in progress. The play
// time excludes pauses (the schedule is moved on when play resumes).
//
// The other side is not bounded: play time can be far longer than the updates explain,
// because a catch holds the program still while the caught sound plays (and the schedule
// starts again after it), a slow machine runs fewer frames than due, and the player may
// wait at the end. A replay with few updates for a long play time proves no more points
// than its updates make.
std::int64_t mostUpdatesFor(std::int32_t playTimeMs) {
    if (playTimeMs < 0) {
        return 0;
    }
    return 2 * (std::int64_t{playTimeMs} / 40 + 1);
}

std::string disproof(const replay::Replay& r, const Claim& claim, const Resources& resources) {
    if (r.rules != replay::rulesVersion) {
        return "rules version " + std::to_string(r.rules) + ", the portal's is " +
               std::to_string(replay::rulesVersion);
    }
    if (r.score != claim.score) {
        return "the replay holds " + std::to_string(r.score) + " points, the request " +
               std::to_string(claim.score);
    }
    if (r.buildChecksum != claim.build.checksum || r.buildLength != claim.build.length) {
        return "recorded by build " + buildText(r.buildChecksum, r.buildLength) +
               ", sent by build " + buildText(claim.build.checksum, claim.build.length);
    }
    if (r.updates > mostUpdatesFor(claim.playTimeMs)) {
        return std::to_string(r.updates) + " updates do not fit " +
               std::to_string(claim.playTimeMs) + " ms of play";
    }
    const replay::Outcome outcome = replay::run(r, resources);
    if (outcome.overBeforeEnd) {
        return "the replay runs on after game over";
    }
    if (outcome.score != claim.score) {
        return "the game reaches " + std::to_string(outcome.score) + " points, not " +
               std::to_string(claim.score);
    }
    return {};
}

bool samePlay(const replay::Replay& a, const replay::Replay& b) {
    if (a.seed != b.seed && std::min(a.updates, b.updates) < openingUpdates) {
        return false;
    }
    const auto& shorter = a.updates <= b.updates ? a.runs : b.runs;
    const auto& longer = a.updates <= b.updates ? b.runs : a.runs;
    // Runs never repeat their arrows, so the shorter's runs equal the longer's but for
    // the last, which may stop early.
    if (shorter.size() > longer.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shorter.size(); ++i) {
        if (shorter[i].arrows != longer[i].arrows) {
            return false;
        }
        if (shorter[i].count != longer[i].count &&
            (i + 1 != shorter.size() || shorter[i].count > longer[i].count)) {
            return false;
        }
    }
    return true;
}

std::string openingDigest(const replay::Replay& r) {
    replay::Replay opening;
    for (const replay::InputRun& run : r.runs) {
        if (opening.updates == openingUpdates) {
            break;
        }
        const std::uint32_t take = std::min(run.count, openingUpdates - opening.updates);
        opening.runs.push_back({run.arrows, take});
        opening.updates += take;
    }
    return tokenDigest(replay::encode(opening));
}

std::optional<VerifyResult> verifyStoredReplays(Storage& storage, std::optional<std::int64_t> only,
                                                const Resources& resources, std::ostream& out) {
    VerifyResult result;
    const auto check = [&](const StoredReplay& stored) {
        ++result.checked;
        const auto decoded = replay::decode(stored.replay);
        const std::string reason =
            !decoded.replay
                ? "the stored replay does not decode: " + decoded.reason
                : disproof(
                      *decoded.replay,
                      {stored.score, stored.playTimeMs, {stored.buildChecksum, stored.buildLength}},
                      resources);
        if (!reason.empty()) {
            ++result.failed;
            out << stored.id << '\t' << stored.nickname << '\t' << stored.score << '\t' << reason
                << '\n';
        }
    };
    if (only) {
        const auto stored = storage.replayOf(*only);
        if (!stored) {
            return std::nullopt;
        }
        check(*stored);
        return result;
    }
    constexpr int page = 64;
    std::int64_t after = 0;
    for (;;) {
        const auto replays = storage.provenReplays(after, page);
        for (const StoredReplay& stored : replays) {
            check(stored);
            after = stored.id;
        }
        if (replays.size() < page) {
            return result;
        }
    }
}
