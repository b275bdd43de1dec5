// The generator's one word of state and its step.
#include "game/random.h"

namespace game_random {
namespace {
std::uint32_t current = 1; // the C runtime's state before any srand
} // namespace

void srand(std::uint32_t seed) {
    current = seed;
}

int rand() {
    current = current * 214013u + 2531011u;
    return static_cast<int>((current >> 16) & 0x7FFFu);
}

} // namespace game_random
