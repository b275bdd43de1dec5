// pingel-sim's engine. The game runs through the real GameDriver on the headless platform,
// whose clock the driver's wait advances by 40 ms a frame, so every run with the same
// options is the same run. Keys are given per World update: the driver's game is a thin
// wrapper around the World that hands each update the arrows of the script, and traces
// just after.
#include "tools/sim.h"

#include "app/game_driver.h"
#include "app/playback.h"
#include "backends/headless/headless.h"
#include "game/player.h"
#include "game/world.h"
#include "net/machine_facts.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#ifdef PINGEL_HAVE_STB
#include <stb_image_write.h>
#endif

namespace sim {
namespace {

constexpr struct {
    char letter;
    unsigned bit;
} keyTable[] = {
    {'L', keyLeft},
    {'R', keyRight},
    {'U', keyUp},
    {'D', keyDown},
};

const char* const usageText =
    "usage: pingel-sim [options]\n"
    "Plays Pingel headless and deterministically: a new game started as by a restart,\n"
    "frames through the game driver, the clock advancing 40 ms a frame.\n"
    "\n"
    "  --clock-start N    the clock reads N (0..4294967295) when the game is built;\n"
    "                     N is therefore the random seed (default 0)\n"
    "  --keys SCRIPT      items KEYS:COUNT separated by spaces; KEYS is any combination\n"
    "                     of L R U D, or - for none; those arrows are held down for COUNT\n"
    "                     World updates; after the script no key is down\n"
    "  --updates N        World updates to run (default: until the script ends)\n"
    "  --until-game-over  run until the game ends (at most 10000000 updates, and at most\n"
    "                     N with --updates)\n"
    "  --trace            one line after every World update:\n"
    "                     u=N score=S level=L lives=V player=X,Y dir=DX,DY powered=0|1\n"
    "                     pellets=P pills=Q enemies=E over=0|1\n"
    "  --png DIR          write drawn frames to DIR as frame-NNNNNN.png (N: frame number,\n"
    "                     0 is the frame that starts the game and draws nothing), and the\n"
    "                     last drawn frame as last.png\n"
    "  --png-every N      a picture every N frames (default 1)\n"
    "  --replay FILE      play the replay in FILE: its seed for --clock-start, its arrows\n"
    "                     for --keys, its updates for --updates, with --until-game-over\n"
    "                     and --trace (not with those options)\n"
    "  --record FILE      write the game played to FILE as a replay: its seed, every\n"
    "                     update's arrows up to the last update run (or game over), and\n"
    "                     the score after it\n"
    "  --build C:L        the build the replay names: checksum C and length L in bytes\n"
    "                     (default: those of this program's own file, as the game\n"
    "                     computes them for its highscores)\n"
    "  --help             this text\n"
    "\n"
    "Keys and frames: a frame runs two World updates. The arrows of the script are set\n"
    "on the keyboard just before each update, so every update sees exactly the keys its\n"
    "script item names. When --updates is odd, the second update of the last frame is\n"
    "not run. Without --png the frames are not drawn (drawing changes nothing in the\n"
    "game); with it every frame that the driver draws is drawn, so blinking follows the\n"
    "game exactly.\n"
    "\n"
    "The last line of every run is a summary in the format of --trace.\n"
    "Exit status: 0 done, 1 a picture or the --record file could not be written (or\n"
    "the game is longer than a replay may hold), 2 bad arguments (also a --png directory\n"
    "that cannot be made, and a --replay file that is missing, too large or not a\n"
    "replay).\n";

bool parseNumber(const std::string& text, std::uint64_t largest, std::uint64_t& out) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (largest - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    out = value;
    return true;
}

// The keys of a script, update by update; none after its end.
class ScriptCursor {
  public:
    explicit ScriptCursor(const std::vector<KeyStep>& script) : script_(script) {}

    ArrowKeys next() {
        while (step_ < script_.size() && used_ >= script_[step_].count) {
            ++step_;
            used_ = 0;
        }
        if (step_ == script_.size()) {
            return {};
        }
        ++used_;
        const unsigned bits = script_[step_].keys;
        return {(bits & keyLeft) != 0, (bits & keyRight) != 0, (bits & keyUp) != 0,
                (bits & keyDown) != 0};
    }

  private:
    const std::vector<KeyStep>& script_;
    std::size_t step_ = 0;   // the script item in force
    std::uint64_t used_ = 0; // updates of it already run
};

// One line of the trace: the World after `updates` updates.
std::string stateLine(const World& w, std::uint64_t updates, bool over) {
    const Player& p = *w.player;
    char line[256];
    std::snprintf(line, sizeof line,
                  "u=%llu score=%d level=%d lives=%d player=%g,%g dir=%g,%g powered=%d "
                  "pellets=%d pills=%d enemies=%d over=%d\n",
                  static_cast<unsigned long long>(updates), w.scoreDisplay->value(),
                  w.levelDisplay->value(), w.livesDisplay->value(), double(p.position.x),
                  double(p.position.y), double(p.direction.x), double(p.direction.y),
                  p.powered ? 1 : 0, w.pelletList.size(), w.pillList.size(), w.enemyList.size(),
                  over ? 1 : 0);
    return line;
}

// The state of one run, shared by the driver's games.
struct Run {
    const Options& options;
    std::FILE* out;
    std::uint64_t limit = 0;
    std::uint64_t updates = 0;
    ScriptCursor keys{options.script};
    bool finished = false;  // the game ended under --until-game-over
    World* world = nullptr; // the scripted game's World, once it is built

    void printState(bool over) { std::fputs(stateLine(*world, updates, over).c_str(), out); }
};

// The game the driver runs after the restart: the World, each update given the script's
// keys instead of the keyboard's, and a trace line after it.
class ScriptedGame : public Game {
  public:
    ScriptedGame(Millis seed, const Resources& resources, Run& run)
        : world_(std::make_unique<World>(seed, resources)), run_(run) {
        run_.world = world_.get();
    }

    void update(const ArrowKeys&) override {
        sounds.clear();
        if (run_.finished || run_.updates >= run_.limit) {
            return;
        }
        world_->update(run_.keys.next());
        ++run_.updates;
        gameOver = world_->gameOver;
        sounds = world_->sounds;
        stalled = world_->stalled;
        world_->stalled = false;
        if (run_.options.trace) {
            run_.printState(gameOver);
        }
        if (gameOver && run_.options.untilGameOver) {
            run_.finished = true;
        }
    }

    const replay::Recording* recording() const override { return world_->recording(); }
    std::uint32_t scoreReachedAt() const override { return world_->scoreReachedAt(); }

    void render(ScreenBuffer& screen) override {
        if (!run_.options.pngDir.empty()) {
            world_->render(screen);
        }
    }

  private:
    std::unique_ptr<World> world_;
    Run& run_;
};

bool writePng(const std::filesystem::path& path, const HeadlessPlatform& h,
              const Palette& palette) {
#ifdef PINGEL_HAVE_STB
    const int w = h.lastFrameWidth, ht = h.lastFrameHeight;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * ht * 3);
    for (std::size_t i = 0; i < h.lastFrame.size(); ++i) {
        const Colour& c = palette[h.lastFrame[i]];
        rgb[3 * i] = c.red;
        rgb[3 * i + 1] = c.green;
        rgb[3 * i + 2] = c.blue;
    }
    return stbi_write_png(path.string().c_str(), w, ht, 3, rgb.data(), w * 3) != 0;
#else
    (void)path;
    (void)h;
    (void)palette;
    return false;
#endif
}

} // namespace

const char* usage() {
    return usageText;
}

std::string traceGame(Millis seed, const std::vector<KeyStep>& script, const Resources& resources) {
    World world(seed, resources);
    ScriptCursor keys(script);
    std::string trace;
    std::uint64_t updates = 0;
    while (updates < gameOverBound && !world.gameOver) {
        world.update(keys.next());
        ++updates;
        trace += stateLine(world, updates, world.gameOver);
    }
    trace += stateLine(world, updates, world.gameOver);
    return trace;
}

bool parseScript(const std::string& text, std::vector<KeyStep>& out, std::string& error) {
    out.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string item = text.substr(at, end - at);
        at = end;
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos) {
            error = "key script item '" + item + "' has no ':' (expected KEYS:COUNT)";
            return false;
        }
        const std::string keys = item.substr(0, colon);
        KeyStep step;
        if (keys != "-") {
            for (char c : keys) {
                unsigned bit = 0;
                for (const auto& k : keyTable) {
                    bit = c == k.letter ? k.bit : bit;
                }
                if (bit == 0) {
                    error = "key script item '" + item +
                            "': KEYS must be letters of LRUD, or - for none";
                    return false;
                }
                step.keys |= bit;
            }
        }
        if (keys.empty()) {
            error = "key script item '" + item + "' names no keys (use - for none)";
            return false;
        }
        if (!parseNumber(item.substr(colon + 1), largestCount, step.count)) {
            error = "key script item '" + item + "': COUNT must be a whole number up to " +
                    std::to_string(largestCount);
            return false;
        }
        out.push_back(step);
    }
    return true;
}

bool parseArguments(const std::vector<std::string>& args, Options& out, std::string& error) {
    out = Options{};
    bool pngEveryGiven = false;
    std::vector<std::string> given; // the options seen
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        std::uint64_t n = 0;
        if (a == "--help" || a == "-h") {
            out.help = true;
        } else if (a == "--trace") {
            out.trace = true;
        } else if (a == "--until-game-over") {
            out.untilGameOver = true;
        } else if (a == "--clock-start") {
            if (!value(v)) {
                return false;
            }
            if (!parseNumber(v, 0xFFFFFFFFu, n)) {
                error = "--clock-start needs a whole number from 0 to 4294967295, not '" + v + "'";
                return false;
            }
            out.clockStart = static_cast<Millis>(n);
        } else if (a == "--keys") {
            if (!value(v) || !parseScript(v, out.script, error)) {
                return false;
            }
        } else if (a == "--updates") {
            if (!value(v)) {
                return false;
            }
            if (!parseNumber(v, largestCount, out.updates)) {
                error = "--updates needs a whole number up to " + std::to_string(largestCount) +
                        ", not '" + v + "'";
                return false;
            }
            out.updatesGiven = true;
        } else if (a == "--png") {
            if (!value(v)) {
                return false;
            }
            if (v.empty()) {
                error = "--png needs a directory";
                return false;
            }
            out.pngDir = v;
        } else if (a == "--png-every") {
            if (!value(v)) {
                return false;
            }
            if (!parseNumber(v, largestCount, out.pngEvery) || out.pngEvery == 0) {
                error = "--png-every needs a whole number of at least 1, not '" + v + "'";
                return false;
            }
            pngEveryGiven = true;
        } else if (a == "--replay" || a == "--record") {
            if (!value(v)) {
                return false;
            }
            if (v.empty()) {
                error = a + " needs a file";
                return false;
            }
            (a == "--replay" ? out.replayFile : out.recordFile) = v;
        } else if (a == "--build") {
            if (!value(v)) {
                return false;
            }
            const std::size_t colon = v.find(':');
            std::uint64_t length = 0;
            if (colon == std::string::npos || !parseNumber(v.substr(0, colon), 0xFFFFFFFFu, n) ||
                !parseNumber(v.substr(colon + 1), 0xFFFFFFFFu, length)) {
                error = "--build needs CHECKSUM:LENGTH, two whole numbers from 0 to 4294967295, "
                        "not '" +
                        v + "'";
                return false;
            }
            out.buildGiven = true;
            out.buildChecksum = static_cast<std::uint32_t>(n);
            out.buildLength = static_cast<std::uint32_t>(length);
        } else {
            error = "unknown argument '" + a + "'";
            return false;
        }
        given.push_back(a);
    }
    if (!out.replayFile.empty()) {
        for (const char* other : {"--clock-start", "--keys", "--updates", "--until-game-over"}) {
            if (std::find(given.begin(), given.end(), other) != given.end()) {
                error = std::string("--replay takes the place of ") + other;
                return false;
            }
        }
    }
    if (out.buildGiven && out.recordFile.empty()) {
        error = "--build needs --record FILE";
        return false;
    }
    if (pngEveryGiven && out.pngDir.empty()) {
        error = "--png-every needs --png DIR";
        return false;
    }
    if (!out.pngDir.empty() && !pngEveryGiven) {
        out.pngEvery = 1;
    }
#ifndef PINGEL_HAVE_STB
    if (!out.pngDir.empty()) {
        error = "--png: this pingel-sim was built without PNG support (libstb-dev)";
        return false;
    }
#endif
    return true;
}

namespace {

// The options of a --replay run: the replay's seed, arrows and updates, traced until the
// game is over or the updates are done. False with a complaint when the file is no replay.
bool takeReplay(Options& options, std::FILE* err) {
    const replay::Decoded decoded = readReplayFile(options.replayFile);
    if (!decoded.replay) {
        std::fprintf(err, "pingel-sim: --replay %s: %s\n", options.replayFile.c_str(),
                     decoded.reason.c_str());
        return false;
    }
    const replay::Replay& r = *decoded.replay;
    options.clockStart = static_cast<Millis>(r.seed);
    options.script.clear();
    for (const replay::InputRun& run : r.runs) {
        options.script.push_back({run.arrows, run.count});
    }
    options.updatesGiven = true;
    options.updates = r.updates;
    options.untilGameOver = true;
    options.trace = true;
    return true;
}

// Writes the game the World played as a replay; false with a complaint when it cannot.
bool writeRecord(const Options& options, World& world, std::FILE* err) {
    const replay::Recording& game = *world.recording();
    if (game.updates() > replay::maxUpdates) {
        std::fprintf(err,
                     "pingel-sim: --record: the game ran %u updates, more than a replay holds "
                     "(%u)\n",
                     game.updates(), replay::maxUpdates);
        return false;
    }
    OwnFile build{options.buildChecksum, options.buildLength};
    if (!options.buildGiven) {
        HeadlessPlatform machine;
        machine.setOwnExecutablePath(options.programFile);
        build = checksumOwnFile(machine);
        if (build.length == 0) {
            std::fprintf(err, "pingel-sim: --record: this program's own file cannot be read; "
                              "name the build with --build CHECKSUM:LENGTH\n");
            return false;
        }
    }
    const std::string bytes = replay::encode(
        replay::fromRecording(game, world.score()->value(), build.checksum, build.length));
    std::ofstream file(options.recordFile, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(err, "pingel-sim: --record: cannot write '%s'\n", options.recordFile.c_str());
        return false;
    }
    return true;
}

} // namespace

int run(const Options& given, std::FILE* out, std::FILE* err) {
    namespace fs = std::filesystem;
    Options options = given;
    if (!options.replayFile.empty() && !takeReplay(options, err)) {
        return 2;
    }
    if (!options.pngDir.empty()) {
        std::error_code ec;
        fs::create_directories(options.pngDir, ec);
        if (ec || !fs::is_directory(options.pngDir)) {
            std::fprintf(err, "pingel-sim: --png: cannot make the directory '%s'\n",
                         options.pngDir.c_str());
            return 2;
        }
    }

    HeadlessPlatform h;
    h.setClock(options.clockStart);
    if (options.prepare) {
        options.prepare(h);
    }
    Run state{options, out};
    if (options.updatesGiven) {
        state.limit = options.updates;
    } else if (options.untilGameOver) {
        state.limit = gameOverBound;
    } else {
        for (const KeyStep& s : options.script) {
            state.limit += s.count;
        }
    }
    if (options.untilGameOver) {
        state.limit = std::min(state.limit, gameOverBound);
    }

    // The first World is the frozen one the program opens on; the restart builds the game.
    int built = 0;
    GameDriver driver(
        [&](Millis seed, const Resources& resources) -> std::unique_ptr<Game> {
            if (built++ == 0) {
                return makeWorld(seed, resources);
            }
            return std::make_unique<ScriptedGame>(seed, resources, state);
        },
        {h, h, h, h, h});
    driver.requests.post(ShellRequest::Restart);

    int status = 0;
    bool drewAny = false;
    for (std::uint64_t frame = 0;; ++frame) {
        const int presentsBefore = h.presentCount;
        driver.runFrame();
        const bool drew = h.presentCount != presentsBefore;
        drewAny = drewAny || drew;
        if (drew && options.pngEvery != 0 && frame % options.pngEvery == 0 && status == 0) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%06llu.png",
                          static_cast<unsigned long long>(frame));
            if (!writePng(fs::path(options.pngDir) / name, h, driver.screen().palette)) {
                std::fprintf(err, "pingel-sim: cannot write %s in '%s'\n", name,
                             options.pngDir.c_str());
                status = 1;
            }
        }
        if (state.finished || state.updates >= state.limit) {
            break;
        }
    }
    if (!options.pngDir.empty() && status == 0) {
        if (!drewAny) {
            std::fprintf(err, "pingel-sim: no frame was drawn (the palette, bitmap 139, is "
                              "missing), so no picture was written\n");
        } else if (!writePng(fs::path(options.pngDir) / "last.png", h, driver.screen().palette)) {
            std::fprintf(err, "pingel-sim: cannot write last.png in '%s'\n",
                         options.pngDir.c_str());
            status = 1;
        }
    }
    if (options.untilGameOver && !state.finished && state.updates >= gameOverBound) {
        std::fprintf(err, "pingel-sim: the game had not ended after %llu updates\n",
                     static_cast<unsigned long long>(gameOverBound));
    }
    state.printState(driver.game->gameOver);
    std::fflush(out);
    if (!options.recordFile.empty() && !writeRecord(options, *state.world, err)) {
        status = 1;
    }
    return status;
}

} // namespace sim
