// Replays: a World's recording encoded, decoded and run again to the same score; the
// decoder's refusals as one table; the replay's form value.
#include "game/replay.h"

#include "game/world.h"
#include "net/form_field.h"
#include "platform/resources.h"

#include <gtest/gtest.h>

namespace {

// A game played with arrows that change every few updates, as a player's would, until
// game over or `updates`.
std::unique_ptr<World> played(std::uint32_t seed, std::uint32_t updates,
                              const Resources& resources) {
    auto world = std::make_unique<World>(seed, resources);
    GameRandom hand(seed ^ 0x5A5Au);
    ArrowKeys keys;
    for (std::uint32_t u = 0; u < updates && !world->gameOver; ++u) {
        if (hand.next() % 9 == 0) {
            keys = replay::arrowsOf(static_cast<std::uint8_t>(hand.next() % 16));
        }
        world->update(keys);
    }
    return world;
}

std::string header(std::uint32_t updates, std::uint8_t format = 1) {
    replay::Replay r;
    r.updates = updates;
    std::string bytes = replay::encode(r);
    bytes[4] = static_cast<char>(format);
    bytes.pop_back(); // the run count
    return bytes;
}

} // namespace

TEST(Replay, AGameRecordedRunsAgainToItsScore) {
    const EmbeddedResources resources;
    for (const std::uint32_t seed : {0u, 123456u, 4294967000u}) {
        const auto world = played(seed, 30'000, resources);
        const replay::Recording& rec = *world->recording();
        ASSERT_GT(world->score()->value(), 0);
        const replay::Replay whole =
            replay::fromRecording(rec, world->score()->value(), 0xDEADBEEF, 123456);
        const std::string bytes = replay::encode(whole);
        const replay::Decoded back = replay::decode(bytes);
        ASSERT_TRUE(back.replay) << back.reason;
        EXPECT_EQ(*back.replay, whole);
        const replay::Outcome outcome = replay::run(*back.replay, resources);
        EXPECT_EQ(outcome.score, world->score()->value()) << seed;
        EXPECT_EQ(outcome.gameOver, world->gameOver);
        EXPECT_FALSE(outcome.overBeforeEnd);
        // Up to the update that made the score, the same score.
        const replay::Recording upTo = rec.prefix(world->scoreReachedAt());
        replay::Replay cut = whole;
        cut.updates = upTo.updates();
        cut.runs = upTo.runs();
        EXPECT_EQ(replay::run(cut, resources).score, world->score()->value());
        if (world->gameOver) {
            replay::Replay longer = whole;
            longer.runs.back().count += 1;
            longer.updates += 1;
            EXPECT_TRUE(replay::run(longer, resources).overBeforeEnd);
        }
    }
}

TEST(Replay, TenMinutesOfPlayAreSmall) {
    // Arrows changing five times a second for ten minutes at 50 updates a second.
    replay::Recording rec(7);
    for (std::uint32_t u = 0; u < 30'000; ++u) {
        rec.add(replay::arrowsOf(static_cast<std::uint8_t>(1u << (u / 10 % 4))));
    }
    EXPECT_LT(replay::encode(replay::fromRecording(rec, 0, 0, 0)).size(), 8192u);
}

TEST(Replay, DecoderRefusesWhatIsNotOne) {
    // 2 runs: (2-1)*16+1 = 0x11 -> arrows 1, count 2; then 0x02 -> arrows 2, count 1.
    const std::string valid = header(3) + std::string("\x02\x11\x02", 3);
    ASSERT_TRUE(replay::decode(valid).replay) << replay::decode(valid).reason;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"another magic", "PGRQ" + valid.substr(4)},
        {"an unknown format", header(3, 2) + std::string("\x02\x11\x02", 3)},
        {"cut in the header", valid.substr(0, 20)},
        {"cut in the runs", valid.substr(0, valid.size() - 1)},
        {"a byte after the runs", valid + "x"},
        {"runs short of the updates", header(4) + std::string("\x02\x11\x02", 3)},
        {"runs past the updates", header(2) + std::string("\x02\x11\x02", 3)},
        {"two runs of the same arrows", header(3) + std::string("\x02\x11\x01", 3)},
        {"more runs than updates", header(1) + std::string("\x02\x01\x02", 3)},
        {"a run count not in its shortest form", header(3) + std::string("\x82\x00\x11\x02", 4)},
        {"a run of more than 32 bits", header(3) + std::string("\x01\xFF\xFF\xFF\xFF\x7F", 6)},
        {"over two hours", header(replay::maxUpdates + 1) + std::string("\x01\x00", 2)},
        {"over the size bound", valid + std::string(replay::maxBytes, '\0')},
    };
    for (const auto& c : cases) {
        const replay::Decoded d = replay::decode(c.bytes);
        EXPECT_FALSE(d.replay) << c.what;
        EXPECT_FALSE(d.reason.empty()) << c.what;
    }
}

TEST(Replay, FormValueIsBase64UrlBothWays) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    for (std::size_t n = 0; n <= 5; ++n) {
        const std::string text = all.substr(250 - n);
        const std::string value = encodeBase64Url(text);
        EXPECT_EQ(value.find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos);
        EXPECT_EQ(decodeBase64Url(value, 1024), text);
    }
    EXPECT_EQ(encodeBase64Url("\xFB\xFF"), "-_8");
    for (const char* bad : {"A", "-_9", "AB=C", "AB+/", "ABCDE"}) {
        EXPECT_FALSE(decodeBase64Url(bad, 1024)) << bad;
    }
    EXPECT_FALSE(decodeBase64Url("AAAAAAAA", 5)); // six bytes
    EXPECT_TRUE(decodeBase64Url("AAAAAAAA", 6));
}
