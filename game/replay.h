// A game as a replay: the clock value that seeded its World and each update's arrows, run-
// length coded, so that anyone can run the same game again (the portal proves a score
// this way, and a player watches it). The World records itself as it is played
// (Recording); a Replay adds what the game cannot know of itself (the build that recorded
// it) and is written in a compact binary form of our own:
//
//   offset  size  field
//        0     4  magic "PGRP"
//        4     1  format version (1)
//        5     2  rules version: which rules of the game the replay was played under
//        7     4  the recording build's checksum (the highscore request's f8)
//       11     4  the recording build's length in bytes (f9)
//       15     4  seed: the clock value the World was built with
//       19     4  updates: how many World updates the replay runs
//       23     4  the score the game has after those updates (two's complement)
//       27     v  the number of input runs
//        .     v  each run: (count - 1) x 16 + arrows, arrows = left 1, right 2, up 4, down 8
//
// Integers are little-endian; "v" is an unsigned LEB128 number of at most 5 bytes. The runs
// add up to exactly `updates`, and two neighbouring runs never hold the same arrows, so one
// game has exactly one encoding. The decoder refuses anything else with a reason.
#pragma once

#include "game/controller.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Resources;

namespace replay {

// Raised whenever a change of the game's rules would make an old game end differently.
constexpr std::uint16_t rulesVersion = 1;
constexpr std::uint8_t formatVersion = 1;
// The longest game a replay may hold: two hours of play at 50 updates a second.
constexpr std::uint32_t maxUpdates = 360'000;
// The largest encoded replay.
constexpr std::size_t maxBytes = 1024 * 1024;

std::uint8_t arrowBits(const ArrowKeys& keys);
ArrowKeys arrowsOf(std::uint8_t bits);

struct InputRun {
    std::uint8_t arrows = 0; // arrowBits
    std::uint32_t count = 0; // updates, at least 1
    bool operator==(const InputRun&) const = default;
};

// A game's inputs as it is played: its seed and, per update, its arrows.
class Recording {
  public:
    explicit Recording(std::uint32_t seed = 0) : seed_(seed) {}
    void add(const ArrowKeys& keys);
    std::uint32_t seed() const { return seed_; }
    std::uint32_t updates() const { return updates_; }
    const std::vector<InputRun>& runs() const { return runs_; }
    // The first `updates` updates of this recording.
    Recording prefix(std::uint32_t updates) const;

  private:
    std::uint32_t seed_;
    std::uint32_t updates_ = 0;
    std::vector<InputRun> runs_;
};

struct Replay {
    std::uint16_t rules = rulesVersion;
    std::uint32_t buildChecksum = 0;
    std::uint32_t buildLength = 0;
    std::uint32_t seed = 0;
    std::uint32_t updates = 0;
    std::int32_t score = 0;
    std::vector<InputRun> runs;
    bool operator==(const Replay&) const = default;
};

Replay fromRecording(const Recording& recording, std::int32_t score, std::uint32_t buildChecksum,
                     std::uint32_t buildLength);

std::string encode(const Replay& replay);

// The decoded replay, or why the bytes are not one.
struct Decoded {
    std::optional<Replay> replay;
    std::string reason; // empty when decoded
};
Decoded decode(std::string_view bytes);

// What a World makes of a replay's inputs: the score after its updates, and whether the
// game was already over before the last of them (a replay that runs on after game over
// was not recorded by a game).
struct Outcome {
    std::int32_t score = 0;
    bool gameOver = false;
    bool overBeforeEnd = false;
    std::uint32_t catches = 0; // updates at which a butterfly caught the penguin
};
// Runs the replay's inputs through a fresh World seeded with its seed. Calls no platform;
// safe on any thread.
Outcome run(const Replay& replay, const Resources& resources);

} // namespace replay
