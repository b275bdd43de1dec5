// Long honest games for the load tool: a player that looks ahead by playing the game again
// from its start (a World cannot be copied), so that submissions can carry replays of
// many minutes of play, each member's its own.
#pragma once

#include "game/replay.h"

#include <cstdint>

class Resources;

// Plays from `seed` for `updates` updates or until the game is over, choosing the arrows
// every `every` updates: of the four, one whose next `ahead` updates lose no life, and of
// those the one that scores most, keeping the way it goes on a tie. `variant` turns the
// opening moves, so that members' games differ from their first seconds.
struct LongGame {
    replay::Recording recording;
    std::int32_t score = 0;
    bool over = false;
};
LongGame playLongGame(std::uint32_t seed, std::uint32_t variant, std::uint32_t updates,
                      const Resources& resources, std::uint32_t every = 50,
                      std::uint32_t ahead = 200);
