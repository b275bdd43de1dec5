// The game's own random source: the linear congruential generator of the classic Windows C
// runtime, written out here so that the butterflies wander the same way with every
// compiler and on every platform. srand sets the 32-bit state; each rand steps it by
// state = state x 214013 + 2531011 (mod 2^32) and returns bits 16..30, 0 to 32767. The
// state is process-wide like the C runtime's: each new World seeds it from the clock.
#pragma once

#include <cstdint>

namespace game_random {

void srand(std::uint32_t seed);
int rand();

} // namespace game_random
