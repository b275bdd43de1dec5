// The proof of a score: the replay sent with it run through the game's own World and
// compared with what the request claims. A replay proves a game, not who played it, so the
// same game (or a cut-short copy of it) claimed before by another member proves nothing.
#pragma once

#include "game/replay.h"
#include "portal/storage.h"

#include <cstdint>
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

// One game: the same seed, and the inputs of one are those of the other or begin them.
bool samePlay(const replay::Replay& a, const replay::Replay& b);

// A digest of the game alone (seed and inputs, not the build or the score), 64 hex digits.
std::string playDigest(const replay::Replay& replay);

constexpr const char* alreadyClaimed = "game already claimed";
