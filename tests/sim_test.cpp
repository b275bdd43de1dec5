// pingel-sim's engine: its arguments and key scripts, and the summary line that ends every
// run. The traces and the frames written as pictures are pinned by the recorded games of
// tests/checks, which are also replayed here by Worlds alone, many at once on threads.
#include "tools/sim.h"

#include "game/replay.h"
#include "platform/resources.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {
std::string readAll(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(file);
    return text;
}

struct SimRun {
    int status = 0;
    std::string out;
    std::string err;
};

// Runs the engine and returns its status and what it wrote.
SimRun runSimAs(const std::vector<std::string>& args) {
    sim::Options options;
    std::string error;
    EXPECT_TRUE(sim::parseArguments(args, options, error)) << error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    SimRun run;
    run.status = sim::run(options, out, err);
    run.out = readAll(out);
    run.err = readAll(err);
    return run;
}

// Runs the engine, expecting success, and returns what it wrote.
std::string runSim(const std::vector<std::string>& args) {
    const SimRun run = runSimAs(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

} // namespace

TEST(PingelSim, RejectsBadArguments) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},
        {"--updates"},
        {"--updates", "-5"},
        {"--updates", "12x"},
        {"--updates", "99999999999999999999999"},
        {"--clock-start", "4294967296"},
        {"--clock-start", ""},
        {"--keys", "L"},
        {"--keys", "X:5"},
        {"--keys", ":5"},
        {"--keys", "L:"},
        {"--keys", "L:-1"},
        {"--keys", "l:5"},
        {"--png-every", "3"},
        {"--png", "/tmp/x", "--png-every", "0"},
        {"--png", ""},
        {"--keys"},
        {"--replay"},
        {"--replay", ""},
        {"--record", ""},
        {"--replay", "a.rep", "--keys", "L:1"},
        {"--replay", "a.rep", "--clock-start", "3"},
        {"--replay", "a.rep", "--updates", "3"},
        {"--replay", "a.rep", "--until-game-over"},
        {"--build", "1:2"},
        {"--record", "a.rep", "--build", "12"},
        {"--record", "a.rep", "--build", "1:x"},
        {"--record", "a.rep", "--build", "4294967296:1"},
    };
    for (const auto& args : bad) {
        sim::Options options;
        std::string error;
        EXPECT_FALSE(sim::parseArguments(args, options, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(PingelSim, ParsesScriptsAndOptions) {
    sim::Options o;
    std::string error;
    ASSERT_TRUE(sim::parseArguments({"--clock-start", "4294967295", "--keys", "  LU:3 -:2  RD:0 ",
                                     "--updates", "7", "--trace", "--until-game-over"},
                                    o, error))
        << error;
    EXPECT_EQ(o.clockStart, 4294967295u);
    ASSERT_EQ(o.script.size(), 3u);
    EXPECT_EQ(o.script[0].keys, unsigned(sim::keyLeft | sim::keyUp));
    EXPECT_EQ(o.script[0].count, 3u);
    EXPECT_EQ(o.script[1].keys, 0u);
    EXPECT_EQ(o.script[2].keys, unsigned(sim::keyRight | sim::keyDown));
    EXPECT_EQ(o.script[2].count, 0u);
    EXPECT_TRUE(o.updatesGiven);
    EXPECT_EQ(o.updates, 7u);
    EXPECT_TRUE(o.trace && o.untilGameOver);

    ASSERT_TRUE(sim::parseArguments(
        {"--record", "r.rep", "--build", "4294967295:0", "--replay", "in.rep", "--png", "/tmp/x"},
        o, error))
        << error;
    EXPECT_EQ(o.recordFile, "r.rep");
    EXPECT_EQ(o.replayFile, "in.rep");
    EXPECT_TRUE(o.buildGiven);
    EXPECT_EQ(o.buildChecksum, 4294967295u);
    EXPECT_EQ(o.buildLength, 0u);
}

// The recorded games (tests/checks) pin the traced runs; without --trace only the summary
// is written, and it is the traced run's last line.
TEST(PingelSim, WithoutTraceOnlyTheSummaryIsWritten) {
    const auto traced = lines(runSim({"--until-game-over", "--clock-start", "5", "--trace"}));
    const auto quiet = lines(runSim({"--until-game-over", "--clock-start", "5"}));
    ASSERT_EQ(quiet.size(), 1u);
    EXPECT_EQ(quiet[0], traced.back());
    EXPECT_NE(quiet[0].find(" lives=0 "), std::string::npos);
}

namespace {
std::string gunzip(const std::string& path) {
    std::string text;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) {
        return text;
    }
    char buffer[65536];
    for (int n; (n = gzread(file, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    gzclose(file);
    return text;
}

struct RecordedGame {
    std::string name;
    Millis seed = 0;
    std::vector<sim::KeyStep> script;
    std::string trace;
};

std::vector<RecordedGame> recordedGames() {
    const std::string dir = PINGEL_GOLDEN_DIR;
    std::vector<RecordedGame> games;
    std::ifstream cases(dir + "/cases.txt");
    for (std::string line; std::getline(cases, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '|');) {
            fields.push_back(field);
        }
        RecordedGame game;
        std::string error;
        EXPECT_EQ(fields.size(), 4u) << line;
        EXPECT_TRUE(sim::parseScript(fields.at(2), game.script, error)) << error;
        game.name = fields.at(0);
        game.seed = static_cast<Millis>(std::stoul(fields.at(1)));
        game.trace = gunzip(dir + "/" + game.name + ".trace.gz");
        EXPECT_FALSE(game.trace.empty()) << game.name;
        games.push_back(std::move(game));
    }
    return games;
}
} // namespace

// The game is a value of its seed and its keys: Worlds on eight threads at once, with no
// platform at all, play the recorded games exactly as pingel-sim recorded them.
TEST(PingelSim, RecordedGamesReplayOnEightThreadsAtOnce) {
    const std::vector<RecordedGame> games = recordedGames();
    ASSERT_GE(games.size(), 5u);
    constexpr int threadCount = 8;
    const EmbeddedResources resources;
    std::vector<std::vector<std::string>> traces(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            // Each thread plays every game, starting at a different one.
            for (std::size_t k = 0; k < games.size(); ++k) {
                const RecordedGame& g = games[(k + static_cast<std::size_t>(t)) % games.size()];
                traces[t].push_back(sim::traceGame(g.seed, g.script, resources));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < threadCount; ++t) {
        for (std::size_t k = 0; k < games.size(); ++k) {
            const RecordedGame& g = games[(k + static_cast<std::size_t>(t)) % games.size()];
            EXPECT_TRUE(traces[t][k] == g.trace) << g.name << " on thread " << t;
        }
    }
}

namespace {
std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
} // namespace

// A game recorded with --record and played with --replay traces as its --keys run did
// (a recorded game's trace), and the replay names its seed, its build and its last score.
// A --replay file that is missing or not a replay stops the run with the decoder's reason.
TEST(PingelSim, RecordThenReplayTracesAsTheKeysRun) {
    const RecordedGame game = recordedGames().at(1);
    std::string keys;
    for (const sim::KeyStep& step : game.script) {
        std::string letters;
        for (const auto& [bit, letter] : {std::pair{sim::keyLeft, 'L'},
                                          {sim::keyRight, 'R'},
                                          {sim::keyUp, 'U'},
                                          {sim::keyDown, 'D'}}) {
            letters += (step.keys & bit) != 0 ? std::string(1, letter) : "";
        }
        keys += (letters.empty() ? "-" : letters) + ":" + std::to_string(step.count) + " ";
    }
    const std::string folder = testing::TempDir();
    const std::string file = folder + "pingel-sim-record.rep";
    const auto summary =
        lines(runSim({"--clock-start", std::to_string(game.seed), "--keys", keys,
                      "--until-game-over", "--record", file, "--build", "305419896:4096"}));

    const replay::Decoded decoded = replay::decode(fileBytes(file));
    ASSERT_TRUE(decoded.replay) << decoded.reason;
    EXPECT_EQ(decoded.replay->seed, game.seed);
    EXPECT_EQ(decoded.replay->buildChecksum, 305419896u);
    EXPECT_EQ(decoded.replay->buildLength, 4096u);
    EXPECT_NE(summary.at(0).find(" score=" + std::to_string(decoded.replay->score) + " "),
              std::string::npos)
        << summary.at(0);
    EXPECT_TRUE(runSim({"--replay", file}) == game.trace);

    const std::string bytes = fileBytes(file);
    const struct {
        std::string contents; // none: the file is missing
        std::string reason;
    } bad[] = {
        {"", "cannot be read"},
        {bytes.substr(0, 20), "not a replay"},
        {bytes + "x", "after the last run"},
        {std::string(replay::maxBytes + 1, 'P'), "longer than"},
    };
    for (const auto& b : bad) {
        const std::string path = folder + "pingel-sim-bad.rep";
        std::filesystem::remove(path);
        if (!b.contents.empty()) {
            writeFile(path, b.contents);
        }
        const SimRun run = runSimAs({"--replay", path});
        EXPECT_EQ(run.status, 2) << b.reason;
        EXPECT_NE(run.err.find(b.reason), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}
