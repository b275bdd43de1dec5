// pingel-sim's engine: plays one game headless and deterministically and reports it, for
// the command-line tool and for the tests. A run is its options: the clock's start (which
// is the random seed), a key script of "KEYS:COUNT" items or a replay file in their
// place, how many World updates to run, whether to trace every update, where to put PNG
// frames, and where to write the game played as a replay.
#pragma once

#include "platform/clock.h"

class HeadlessPlatform;
class Resources;

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace sim {

// Bits of a key step: which arrows are held.
enum KeyBits : unsigned { keyLeft = 1, keyRight = 2, keyUp = 4, keyDown = 8 };

struct KeyStep {
    unsigned keys = 0;       // KeyBits
    std::uint64_t count = 0; // World updates
};

struct Options {
    Millis clockStart = 0;
    std::vector<KeyStep> script;
    bool updatesGiven = false;
    std::uint64_t updates = 0;
    bool untilGameOver = false;
    bool trace = false;
    std::string pngDir;
    std::uint64_t pngEvery = 0; // 0: no pictures
    // --replay: the seed, the script and the number of updates come from this replay file,
    // and every update is traced.
    std::string replayFile;
    // --record: the game played is written here as a replay, with the build given by
    // --build or else the checksum and length of `programFile` (see checksumOwnFile).
    std::string recordFile;
    bool buildGiven = false;
    std::uint32_t buildChecksum = 0;
    std::uint32_t buildLength = 0;
    std::string programFile;
    bool help = false;
    // Called on the run's headless platform before anything is built (tests put stand-in
    // pictures there).
    std::function<void(HeadlessPlatform&)> prepare;
};

// The most World updates --until-game-over runs before it gives up (about 55 hours of
// game time); a run stops sooner when the game ends.
constexpr std::uint64_t gameOverBound = 10'000'000;
// The largest number accepted for --updates and for one COUNT.
constexpr std::uint64_t largestCount = 1'000'000'000'000ull;

// Parses a key script; false with a reason for the user when it is malformed.
bool parseScript(const std::string& text, std::vector<KeyStep>& out, std::string& error);
// Parses the command line (without the program name); false with a reason when it is bad.
bool parseArguments(const std::vector<std::string>& args, Options& out, std::string& error);
// The text of --help.
const char* usage();
// Plays the game the options describe, writing trace and summary lines to `out` and
// complaints to `err`. Returns the process exit status: 0; 1 when a picture or the
// --record file could not be written (or the game is too long for a replay); 2 when the
// --png directory cannot be made or the --replay file is missing or not a replay.
int run(const Options& options, std::FILE* out, std::FILE* err);

// The trace that `--clock-start SEED --keys SCRIPT --until-game-over --trace` writes,
// made by a World alone, with no driver and no platform: the game depends on nothing but
// its seed and its keys. Safe on any thread.
std::string traceGame(Millis seed, const std::vector<KeyStep>& script, const Resources& resources);

} // namespace sim
