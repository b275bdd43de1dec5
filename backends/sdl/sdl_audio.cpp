// SDL audio for the game's sounds; see sdl_audio.h.
#include "backends/sdl/sdl_audio.h"

namespace {
// The format of the game's sounds, asked of the device; SDL converts to the hardware's.
constexpr int soundRate = 8000;
constexpr Uint16 deviceBufferFrames = 256; // 32 ms at 8 kHz
// A synchronous sound waits no longer than its length and this for the queue to drain.
constexpr Uint32 drainAllowanceMs = 500;
} // namespace

SdlAudio::SdlAudio() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return;
    }
    SDL_AudioSpec want{};
    want.freq = soundRate;
    want.format = AUDIO_U8;
    want.channels = 1;
    want.samples = deviceBufferFrames;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &spec_, 0);
    if (device_ == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    SDL_PauseAudioDevice(device_, 0);
}

SdlAudio::~SdlAudio() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

const SdlAudio::Sound& SdlAudio::load(int id, std::span<const std::uint8_t> wav) {
    if (auto it = cache_.find(id); it != cache_.end()) {
        return it->second;
    }
    Sound& sound = cache_[id];
    if (wav.empty()) {
        return sound;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(wav.data(), static_cast<int>(wav.size()));
    SDL_AudioSpec wave{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (rw == nullptr || SDL_LoadWAV_RW(rw, 1, &wave, &buffer, &length) == nullptr) {
        return sound;
    }
    const Uint32 bytesPerSecond =
        static_cast<Uint32>(wave.freq) * wave.channels * (SDL_AUDIO_BITSIZE(wave.format) / 8);
    if (bytesPerSecond != 0) {
        sound.lengthMs = static_cast<std::uint32_t>(std::uint64_t(length) * 1000 / bytesPerSecond);
        sound.valid = true;
    }
    if (device_ != 0 && sound.valid) {
        SDL_AudioCVT cvt;
        const int needed = SDL_BuildAudioCVT(&cvt, wave.format, wave.channels, wave.freq,
                                             spec_.format, spec_.channels, spec_.freq);
        if (needed == 0) {
            sound.samples.assign(buffer, buffer + length);
        } else if (needed > 0) {
            std::vector<std::uint8_t> work(static_cast<std::size_t>(length) *
                                           static_cast<std::size_t>(cvt.len_mult));
            std::copy(buffer, buffer + length, work.begin());
            cvt.buf = work.data();
            cvt.len = static_cast<int>(length);
            if (SDL_ConvertAudio(&cvt) == 0) {
                work.resize(static_cast<std::size_t>(cvt.len_cvt));
                sound.samples = std::move(work);
            }
        }
    }
    SDL_FreeWAV(buffer);
    return sound;
}

void SdlAudio::play(int id, std::span<const std::uint8_t> wav, bool sync) {
    const Sound& sound = load(id, wav);
    if (!sound.valid) {
        return;
    }
    if (device_ != 0) {
        SDL_ClearQueuedAudio(device_);
        if (!sound.samples.empty()) {
            SDL_QueueAudio(device_, sound.samples.data(),
                           static_cast<Uint32>(sound.samples.size()));
        }
    }
    if (!sync) {
        return;
    }
    SDL_Delay(sound.lengthMs);
    if (device_ != 0) {
        // What is still queued, then what the device holds in its buffer.
        const Uint32 giveUp = SDL_GetTicks() + drainAllowanceMs;
        while (SDL_GetQueuedAudioSize(device_) > 0 &&
               static_cast<Sint32>(SDL_GetTicks() - giveUp) < 0) {
            SDL_Delay(1);
        }
        SDL_Delay(static_cast<Uint32>(spec_.samples) * 1000 / static_cast<Uint32>(spec_.freq));
    }
}
