// "Is this key down now, or was it pressed since I last asked?" A press is latched when
// the key-down event arrives (an SDL event watch, which sees every event as it is queued)
// and forgotten when the key is next asked about. So a tap shorter than a frame, down and
// up between two polls, is still seen once.
#pragma once

#include "platform/keyboard.h"

#include <array>
#include <atomic>

class KeyLatch {
  public:
    static constexpr int keyCount = 5; // the values of Key

    void press(Key key) { latched_[index(key)].store(true); }
    // The answer for one query: down now, or pressed since the previous query.
    bool query(Key key, bool downNow) {
        const bool pressed = latched_[index(key)].exchange(false);
        return downNow || pressed;
    }

  private:
    static std::size_t index(Key key) { return static_cast<std::size_t>(key); }
    std::array<std::atomic<bool>, keyCount> latched_{};
};
