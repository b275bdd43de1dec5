// The sound scores and the synthesiser. A score is a table of voices; each voice has its
// start and length in samples, its pitch as a MIDI note number (60 is middle C) at the
// start and at the end (a slide when they differ), a wave, a loudness and how far it fades.
// Pitches become phase steps of a 32-bit accumulator, so one cycle is 2^32.
#include "tools/assetgen/sounds.h"

#include "gfx/resource_ids.h"
#include "tools/assetgen/pixel_art.h"

#include <algorithm>
#include <string>

namespace assetgen {
namespace {

enum class Wave { Pulse50, Pulse25, Triangle, Noise };

struct Voice {
    int start, length; // samples
    int note, toNote;  // MIDI numbers
    Wave wave;
    int loudness; // peak, 0 to 127
    int fadeTo;   // loudness at the end, in percent of the peak
    int vibrato;  // depth in tenths of a percent of the pitch, 0 for none
};

constexpr int ms(int milliseconds) {
    return milliseconds * sampleRate / 1000;
}

// clang-format off
// 145: a game starts. A rising fanfare in C major over a triangle bass, 1.25 s.
constexpr Voice startScore[] = {
    {ms(0),    ms(125), 72, 72, Wave::Pulse25, 58, 70, 0},  // C5
    {ms(125),  ms(125), 76, 76, Wave::Pulse25, 58, 70, 0},  // E5
    {ms(250),  ms(125), 79, 79, Wave::Pulse25, 58, 70, 0},  // G5
    {ms(375),  ms(125), 84, 84, Wave::Pulse25, 60, 70, 0},  // C6
    {ms(500),  ms(125), 79, 79, Wave::Pulse25, 55, 70, 0},  // G5
    {ms(625),  ms(125), 84, 84, Wave::Pulse25, 58, 70, 0},  // C6
    {ms(750),  ms(500), 88, 88, Wave::Pulse25, 62, 0, 12},  // E6, held and fading
    {ms(0),    ms(500), 48, 48, Wave::Triangle, 64, 60, 0}, // C3
    {ms(500),  ms(250), 43, 43, Wave::Triangle, 64, 60, 0}, // G2
    {ms(750),  ms(500), 48, 48, Wave::Triangle, 66, 0, 0},  // C3
    {ms(750),  ms(500), 64, 64, Wave::Pulse50, 24, 0, 0},   // E4 under the last note
};

// 143: a pill or a butterfly eaten. A quick rising arpeggio that rings out, 0.44 s.
constexpr Voice eatenScore[] = {
    {ms(0),   ms(55),  76, 76, Wave::Pulse50, 60, 90, 0},   // E5
    {ms(55),  ms(55),  79, 79, Wave::Pulse50, 60, 90, 0},   // G5
    {ms(110), ms(55),  84, 84, Wave::Pulse50, 60, 90, 0},   // C6
    {ms(165), ms(275), 88, 88, Wave::Pulse25, 64, 0, 8},    // E6
    {ms(0),   ms(440), 60, 72, Wave::Triangle, 60, 0, 0},   // a slide under it all
};

// 142: the penguin is caught. A wobbling fall over an octave and a half, then two low
// notes, 1.36 s.
constexpr Voice caughtScore[] = {
    {ms(0),    ms(150), 81, 79, Wave::Pulse50, 64, 90, 20},
    {ms(150),  ms(150), 79, 77, Wave::Pulse50, 64, 90, 20},
    {ms(300),  ms(150), 77, 74, Wave::Pulse50, 62, 90, 20},
    {ms(450),  ms(150), 74, 72, Wave::Pulse50, 60, 90, 20},
    {ms(600),  ms(150), 72, 69, Wave::Pulse50, 58, 90, 20},
    {ms(750),  ms(150), 69, 65, Wave::Pulse50, 56, 80, 20},
    {ms(0),    ms(900), 57, 45, Wave::Triangle, 44, 60, 0},
    {ms(960),  ms(160), 52, 52, Wave::Pulse25, 60, 40, 0},  // E3
    {ms(1120), ms(240), 48, 47, Wave::Pulse25, 64, 0, 30},  // C3, sinking
    {ms(960),  ms(400), 36, 35, Wave::Triangle, 58, 0, 0},  // C2
    {ms(960),  ms(60),  0,  0,  Wave::Noise, 40, 0, 0},     // a soft thump
};

// 144: a short pop (not played by the game), 0.15 s.
constexpr Voice popScore[] = {
    {ms(0),  ms(50),  84, 91, Wave::Pulse50, 60, 80, 0},
    {ms(50), ms(100), 91, 91, Wave::Pulse25, 56, 0, 0},
};

// 146: a bell-like chime (not played by the game), 0.3 s.
constexpr Voice chimeScore[] = {
    {ms(0),  ms(300), 88, 88, Wave::Triangle, 80, 0, 6},
    {ms(0),  ms(300), 95, 95, Wave::Triangle, 40, 0, 6},
    {ms(40), ms(260), 100, 100, Wave::Pulse25, 20, 0, 0},
};

constexpr SoundSpec inventory[] = {
    {142, ms(1360), "the penguin is caught"},
    {143, ms(440),  "a pill or a butterfly eaten"},
    {144, ms(150),  "a pop (spare)"},
    {145, ms(1250), "a game starts"},
    {146, ms(300),  "a chime (spare)"},
};

// Pitches of the octave from middle C (MIDI 60 to 71) in millihertz.
constexpr std::int64_t octaveFromMiddleC[12] = {
    261626, 277183, 293665, 311127, 329628, 349228,
    369994, 391995, 415305, 440000, 466164, 493883,
};
// clang-format on

std::int64_t millihertz(int note) {
    int octave = 0;
    int n = note - 60;
    while (n < 0) {
        n += 12;
        --octave;
    }
    octave += n / 12;
    const std::int64_t f = octaveFromMiddleC[n % 12];
    return octave >= 0 ? f << octave : f >> -octave;
}

// A value of the wave at this phase, -127 to 127.
int waveAt(Wave wave, std::uint32_t phase, std::uint32_t& noise) {
    switch (wave) {
    case Wave::Pulse50:
        return phase < 0x80000000u ? 96 : -96;
    case Wave::Pulse25:
        return phase < 0x40000000u ? 96 : -96;
    case Wave::Triangle: {
        const int t = static_cast<int>(phase >> 23); // 0 to 511
        return t < 256 ? t - 128 : 383 - t;
    }
    case Wave::Noise:
        // A 16-bit Galois shift register stepped at every sample.
        noise = (noise >> 1) ^ (-(noise & 1u) & 0xB400u);
        return (noise & 1u) != 0 ? 96 : -96;
    }
    return 0;
}

std::span<const Voice> scoreOf(int id) {
    switch (id) {
    case resource_ids::soundCaught:
        return caughtScore;
    case resource_ids::soundEaten:
        return eatenScore;
    case resource_ids::soundUnused1:
        return popScore;
    case resource_ids::soundStart:
        return startScore;
    case resource_ids::soundUnused2:
        return chimeScore;
    default:
        fail("no sound " + std::to_string(id));
    }
}

void render(const Voice& v, std::vector<std::int32_t>& mix) {
    constexpr int attack = 40, release = 80; // samples: no clicks at either end
    const std::int64_t f0 = millihertz(v.note), f1 = millihertz(v.toNote);
    std::uint32_t phase = 0, noise = 0xACE1u;
    for (int t = 0; t < v.length && v.start + t < static_cast<int>(mix.size()); ++t) {
        std::int64_t f = f0 + (f1 - f0) * t / v.length;
        if (v.vibrato != 0) {
            // Six wobbles a second, a triangle between -1000 and 1000.
            const int cycle = sampleRate / 6;
            const int p = t % cycle;
            const std::int64_t lfo =
                p < cycle / 2 ? 4000 * p / cycle - 1000 : 3000 - 4000 * p / cycle;
            f += f * v.vibrato * lfo / 1000000;
        }
        const std::uint32_t step =
            static_cast<std::uint32_t>((f << 32) / (std::int64_t(sampleRate) * 1000));
        // Loudness fades linearly from the peak to fadeTo percent of it.
        std::int64_t level = v.loudness *
                             (100 * std::int64_t(v.length) - (100 - v.fadeTo) * std::int64_t(t)) /
                             (100 * std::int64_t(v.length));
        if (t < attack) {
            level = level * t / attack;
        }
        if (v.length - t < release) {
            level = level * (v.length - t) / release;
        }
        mix[static_cast<std::size_t>(v.start + t)] +=
            static_cast<std::int32_t>(waveAt(v.wave, phase, noise) * level / 127);
        phase += step;
    }
}

} // namespace

std::span<const SoundSpec> soundInventory() {
    return inventory;
}

std::vector<std::uint8_t> synthesise(int id) {
    const SoundSpec* sound = nullptr;
    for (const SoundSpec& s : inventory) {
        sound = s.id == id ? &s : sound;
    }
    require(sound != nullptr, "no sound " + std::to_string(id));
    std::vector<std::int32_t> mix(static_cast<std::size_t>(sound->samples), 0);
    for (const Voice& v : scoreOf(id)) {
        render(v, mix);
    }
    std::vector<std::uint8_t> samples(mix.size());
    for (std::size_t i = 0; i < mix.size(); ++i) {
        samples[i] = static_cast<std::uint8_t>(128 + std::clamp(mix[i], -127, 127));
    }
    return samples;
}

std::vector<std::uint8_t> waveFile(const std::vector<std::uint8_t>& samples) {
    std::vector<std::uint8_t> out;
    out.reserve(44 + samples.size() + 1); // the header, the samples, a pad byte
    auto text = [&](const char* s) {
        for (int k = 0; k < 4; ++k) {
            out.push_back(static_cast<std::uint8_t>(s[k]));
        }
    };
    auto le = [&](std::uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
        }
    };
    const auto n = static_cast<std::uint32_t>(samples.size());
    text("RIFF");
    le(36 + n + (n & 1u), 4);
    text("WAVE");
    text("fmt ");
    le(16, 4);
    le(1, 2); // PCM
    le(1, 2); // mono
    le(sampleRate, 4);
    le(sampleRate, 4); // bytes per second
    le(1, 2);          // bytes per sample
    le(8, 2);          // bits per sample
    text("data");
    le(n, 4);
    out.insert(out.end(), samples.begin(), samples.end());
    if ((n & 1u) != 0) {
        out.push_back(0); // chunks are padded to an even length
    }
    return out;
}

} // namespace assetgen
