// The replay's coding and its run through a World; see replay.h.
#include "game/replay.h"

#include "game/world.h"

namespace replay {

namespace {

constexpr char magic[4] = {'P', 'G', 'R', 'P'};
constexpr std::size_t headerSize = 27;

void putU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void putVarint(std::string& out, std::uint32_t v) {
    while (v >= 0x80) {
        out += static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}

// Reads the bytes front to back; every read checks what is left.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    std::size_t left() const { return bytes_.size() - at_; }

    std::uint32_t fixed(int size) {
        std::uint32_t v = 0;
        for (int i = 0; i < size; ++i) {
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[at_++])) << (8 * i);
        }
        return v;
    }

    // An LEB128 number of at most 5 bytes that fits 32 bits, written in its shortest form.
    std::optional<std::uint32_t> varint() {
        std::uint64_t v = 0;
        for (int i = 0; i < 5; ++i) {
            if (at_ == bytes_.size()) {
                return std::nullopt;
            }
            const auto byte = static_cast<unsigned char>(bytes_[at_++]);
            v |= std::uint64_t{byte & 0x7Fu} << (7 * i);
            if ((byte & 0x80) == 0) {
                if ((byte == 0 && i > 0) || v > 0xFFFFFFFFu) {
                    return std::nullopt;
                }
                return static_cast<std::uint32_t>(v);
            }
        }
        return std::nullopt;
    }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

Decoded refused(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

} // namespace

std::uint8_t arrowBits(const ArrowKeys& keys) {
    return static_cast<std::uint8_t>((keys.left ? 1 : 0) | (keys.right ? 2 : 0) |
                                     (keys.up ? 4 : 0) | (keys.down ? 8 : 0));
}

ArrowKeys arrowsOf(std::uint8_t bits) {
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

void Recording::add(const ArrowKeys& keys) {
    const std::uint8_t arrows = arrowBits(keys);
    if (!runs_.empty() && runs_.back().arrows == arrows) {
        ++runs_.back().count;
    } else {
        runs_.push_back({arrows, 1});
    }
    ++updates_;
}

Recording Recording::prefix(std::uint32_t updates) const {
    Recording out(seed_);
    for (const InputRun& r : runs_) {
        if (out.updates_ >= updates) {
            break;
        }
        const std::uint32_t take = std::min(r.count, updates - out.updates_);
        out.runs_.push_back({r.arrows, take});
        out.updates_ += take;
    }
    return out;
}

Replay fromRecording(const Recording& recording, std::int32_t score, std::uint32_t buildChecksum,
                     std::uint32_t buildLength) {
    return {rulesVersion,        buildChecksum, buildLength,     recording.seed(),
            recording.updates(), score,         recording.runs()};
}

std::string encode(const Replay& replay) {
    std::string out(magic, sizeof magic);
    out += static_cast<char>(formatVersion);
    putU16(out, replay.rules);
    putU32(out, replay.buildChecksum);
    putU32(out, replay.buildLength);
    putU32(out, replay.seed);
    putU32(out, replay.updates);
    putU32(out, static_cast<std::uint32_t>(replay.score));
    putVarint(out, static_cast<std::uint32_t>(replay.runs.size()));
    for (const InputRun& r : replay.runs) {
        putVarint(out, ((r.count - 1) << 4) | (r.arrows & 0x0F));
    }
    return out;
}

Decoded decode(std::string_view bytes) {
    if (bytes.size() > maxBytes) {
        return refused("longer than " + std::to_string(maxBytes) + " bytes");
    }
    if (bytes.size() < headerSize || bytes.substr(0, 4) != std::string_view(magic, 4)) {
        return refused("not a replay");
    }
    Reader in(bytes.substr(4));
    const auto format = in.fixed(1);
    if (format != formatVersion) {
        return refused("format version " + std::to_string(format) + " is not known");
    }
    Replay r;
    r.rules = static_cast<std::uint16_t>(in.fixed(2));
    r.buildChecksum = in.fixed(4);
    r.buildLength = in.fixed(4);
    r.seed = in.fixed(4);
    r.updates = in.fixed(4);
    r.score = static_cast<std::int32_t>(in.fixed(4));
    if (r.updates > maxUpdates) {
        return refused("more than " + std::to_string(maxUpdates) + " updates");
    }
    const auto count = in.varint();
    if (!count) {
        return refused("the number of runs is malformed");
    }
    if (*count > r.updates || *count > in.left()) {
        return refused("more runs than updates or bytes");
    }
    r.runs.reserve(*count);
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto v = in.varint();
        if (!v) {
            return refused("run " + std::to_string(i) + " is malformed");
        }
        const InputRun run{static_cast<std::uint8_t>(*v & 0x0F), (*v >> 4) + 1};
        if (!r.runs.empty() && r.runs.back().arrows == run.arrows) {
            return refused("runs " + std::to_string(i - 1) + " and " + std::to_string(i) +
                           " hold the same arrows");
        }
        total += run.count;
        if (total > r.updates) {
            return refused("the runs hold more than " + std::to_string(r.updates) + " updates");
        }
        r.runs.push_back(run);
    }
    if (total != r.updates) {
        return refused("the runs hold " + std::to_string(total) + " updates, not " +
                       std::to_string(r.updates));
    }
    if (in.left() != 0) {
        return refused(std::to_string(in.left()) + " bytes after the last run");
    }
    return {std::move(r), {}};
}

Outcome run(const Replay& replay, const Resources& resources) {
    World world(static_cast<Millis>(replay.seed), resources);
    Outcome out;
    for (const InputRun& r : replay.runs) {
        const ArrowKeys keys = arrowsOf(r.arrows);
        for (std::uint32_t i = 0; i < r.count && !out.overBeforeEnd; ++i) {
            if (world.gameOver) {
                out.overBeforeEnd = true;
                break;
            }
            world.update(keys);
            if (world.stalled) {
                world.stalled = false;
                ++out.catches;
            }
        }
    }
    out.score = world.score()->value();
    out.gameOver = world.gameOver;
    return out;
}

} // namespace replay
