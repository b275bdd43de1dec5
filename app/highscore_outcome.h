// What the highscore dialog tells the player after an attempt that did not get the score
// accepted: one short Swedish line (Latin-1) from the record's result code and the HTTP
// client's kind of failure, and for a number that the portal itself replied with, the
// portal's own text where it gave one.
#pragma once

#include "net/highscore_record.h"

#include <cstddef>
#include <string>

// At most this many characters of the portal's own text are shown.
constexpr std::size_t outcomeLineLimit = 40;

// The line for the last attempt in `record`; empty when the score was accepted.
std::string outcomeLine(const HighscoreRecord& record);
