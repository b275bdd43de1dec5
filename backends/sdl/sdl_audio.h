// The game's sounds through SDL audio: wave resources (8 kHz, 8-bit, mono) converted once
// to what the device takes and queued. Starting a sound stops the one playing; a
// synchronous sound returns only when it has ended. Without an audio device the game runs
// silently, and a synchronous sound still takes its length, so the game keeps its timing.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <map>
#include <span>
#include <vector>

class SdlAudio {
  public:
    SdlAudio();
    ~SdlAudio();
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    // Plays the wave file `wav` (resource `id`, the key of the cache); unreadable: nothing.
    void play(int id, std::span<const std::uint8_t> wav, bool sync);
    bool hasDevice() const { return device_ != 0; }

  private:
    struct Sound {
        std::vector<std::uint8_t> samples; // in the device's format; empty without device
        std::uint32_t lengthMs = 0;
        bool valid = false;
    };
    const Sound& load(int id, std::span<const std::uint8_t> wav);

    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec spec_{};
    std::map<int, Sound> cache_;
};
