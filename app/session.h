// What the shell keeps for the whole run beside the game: the best score and the
// bookkeeping of offering it, the highscore record with the portal account, and which text
// the information dialog shows. One Session belongs to the run of runPingel, which passes
// it down to the main loop, the menu and the dialogs. Nothing of it is ever written to
// disk.
#pragma once

#include "game/counter.h"
#include "game/replay.h"
#include "net/highscore_record.h"
#include "platform/clock.h"

#include <cstdint>

struct Session {
    // The best score since start-up. It belongs to the run, not to a game: it spans every
    // game of the process and is given up only when the portal has accepted it.
    Counter bestScore;
    // The best score for which the offer to send it was last made (0 at start).
    std::int32_t lastOfferedScore = 0;
    // Milliseconds of play when the best score was last recorded or offered.
    Millis playTimeAtBest = 0;
    // Whether the game's numbers or the best score had been found tampered with then.
    bool tamperedAtBest = false;
    // The game that made the best score, up to the update at which it made it.
    replay::Recording bestGame;
    // The portal account as last typed, and the outcome of the last submission.
    HighscoreRecord highscoreRecord;
    // The information dialog's text: 0 the game rules, 1 the competition rules, 2 the
    // about text.
    std::int32_t infoTextSelector = 0;
};
