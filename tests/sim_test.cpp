// pingel-sim's engine: its arguments and key scripts, and the summary line that ends every
// run. The traces and the frames written as pictures are pinned by the recorded games of
// tests/checks.
#include "tools/sim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {
// Runs the engine and returns what it wrote.
std::string runSim(const std::vector<std::string>& args) {
    sim::Options options;
    std::string error;
    EXPECT_TRUE(sim::parseArguments(args, options, error)) << error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(sim::run(options, out, err), 0);
    std::string text;
    std::rewind(out);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(out);
    std::fclose(err);
    return text;
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
