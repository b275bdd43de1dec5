// The proof of a score: the replay sent with it run through the game's own World and
// compared with what the request claims. A replay proves a game, not who played it, so the
// same game (or a cut-short copy of it) claimed before by another member proves nothing.
#pragma once

#include "game/replay.h"
#include "portal/storage.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

class Resources;

// What a highscore request says of its game.
struct Claim {
    std::int32_t score = 0;
    std::int32_t playTimeMs = 0;
    Build build;
};

// The most World updates that can have run in this much play; see proof.cpp.
std::int64_t mostUpdatesFor(std::int32_t playTimeMs);

// Why the replay does not prove the claim, or "" when it does. Runs the replay (some
// milliseconds for a long game); thread-safe.
std::string disproof(const replay::Replay& replay, const Claim& claim, const Resources& resources);

// Games whose inputs agree this long are one game whatever their seeds: a copy of a game
// sent with another seed often reaches the same score (the butterflies' random walk need
// not touch the penguin), and no two players press the same arrows at the same updates for
// five seconds of play.
constexpr std::uint32_t openingUpdates = 250;

// One game: the inputs of one are those of the other or begin them, and either the seeds
// are the same or the shorter game lasts at least openingUpdates.
bool samePlay(const replay::Replay& a, const replay::Replay& b);

// A digest of the inputs of the game's first openingUpdates updates (or all of a shorter
// game's), 64 hex digits: games that samePlay finds alike share it or their seed.
std::string openingDigest(const replay::Replay& replay);

// Runs the stored replays of every proven score (or of score `only`, proven or not) again
// and writes each that no longer proves its score to `out`, as "ID\tNICKNAME\tSCORE\t
// REASON" lines; nothing when `only` has no stored replay. Reads a page of replays at a
// time, so memory stays bounded however many are stored.
struct VerifyResult {
    int checked = 0;
    int failed = 0;
};
std::optional<VerifyResult> verifyStoredReplays(Storage& storage, std::optional<std::int64_t> only,
                                                const Resources& resources, std::ostream& out);

constexpr const char* alreadyClaimed = "game already claimed";
