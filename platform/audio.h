// Sounds: the wave resources of the game, played by id.
#pragma once

// Play a sound and return at once (a sound already playing stops), or play it to its end.
enum class SoundMode { Async, Sync };

class Audio {
  public:
    virtual ~Audio() = default;
    // Wave resource `id`; Sync returns only when the sound has ended.
    virtual void playSound(int id, SoundMode mode) = 0;
};
