// The game's own random source: the linear congruential generator of the classic Windows C
// runtime, written out here so that the butterflies wander the same way with every
// compiler and on every platform. Each World owns one, seeded with the clock value it was
// built with; each next() steps the 32-bit state by state = state x 214013 + 2531011
// (mod 2^32) and returns bits 16..30, 0 to 32767.
#pragma once

#include <cstdint>

class GameRandom {
  public:
    // 1 is the C runtime's state before any seeding.
    explicit GameRandom(std::uint32_t seed = 1) : state_(seed) {}

    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

  private:
    std::uint32_t state_;
};
