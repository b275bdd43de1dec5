// The game's sounds, synthesised: little chiptune phrases of pulse, triangle and noise
// voices at 8000 samples a second, 8 bits, mono. Every voice is a note (or a slide between
// two pitches) with a short attack and a linear fade, mixed in integer arithmetic only.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace assetgen {

constexpr int sampleRate = 8000;

struct SoundSpec {
    int id;
    int samples; // the length: samples / 8000 seconds
    const char* what;
};
// 142 caught (1.36 s), 143 eaten (0.44 s), 144 spare, 145 start (1.25 s), 146 spare.
std::span<const SoundSpec> soundInventory();

// The unsigned 8-bit samples of sound `id` (128 is silence).
std::vector<std::uint8_t> synthesise(int id);
// A RIFF/WAVE file of PCM samples at 8000 Hz, 8 bits, mono.
std::vector<std::uint8_t> waveFile(const std::vector<std::uint8_t>& samples);

} // namespace assetgen
