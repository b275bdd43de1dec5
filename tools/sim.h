// pingel-sim's engine: plays one game headless and deterministically and reports it, for
// the command-line tool and for the tests. A run is its options: the clock's start (which
// is the random seed), a key script of "KEYS:COUNT" items, how many World updates to run,
// whether to trace every update, and where to put PNG frames.
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
// complaints to `err`. Returns the process exit status: 0; 1 when a picture could not be
// written; 2 when the --png directory cannot be made.
int run(const Options& options, std::FILE* out, std::FILE* err);

// The trace that `--clock-start SEED --keys SCRIPT --until-game-over --trace` writes,
// made by a World alone, with no driver and no platform: the game depends on nothing but
// its seed and its keys. Safe on any thread.
std::string traceGame(Millis seed, const std::vector<KeyStep>& script, const Resources& resources);

} // namespace sim
