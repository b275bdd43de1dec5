// What the shell keeps for the whole run beside the game: the highscore bookkeeping that the
// main loop keeps up and the highscore dialog reads, and which text the information dialog
// shows. Nothing of it is ever written to disk.
#pragma once

#include "platform/platform.h"

#include <cstdint>

class CounterDisplay;

// The best score for which the offer to send it was last made (0 at start).
extern std::int32_t lastOfferedScore;
// Milliseconds of play when the best score was last recorded or offered.
extern Millis playTimeAtBest;
// scoreTampered as it stood at that moment.
extern bool tamperedAtBest;
// The information dialog's text: 0 the game rules, 1 the competition rules, 2 the about text.
extern std::int32_t infoTextSelector;
// The score display of the current game, set by each World when it is built; null before
// the first. The main loop reads it, the highscore dialog resets it.
extern CounterDisplay* scoreCounter;
