// The game's own random source: the linear congruential generator of the classic Windows C
// runtime, written out here so that the butterflies wander the same way with every
// compiler and on every platform. srand sets the 32-bit state; each rand steps it by
// state = state x 214013 + 2531011 (mod 2^32) and returns bits 16..30, 0 to 32767.
#pragma once

#include <cstdint>

namespace game_random {

constexpr int randMax = 32767;

void srand(std::uint32_t seed);
int rand();
// The state as it stands, for tests and for replaying a run.
std::uint32_t state();

} // namespace game_random
