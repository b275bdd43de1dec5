// The portal's reply to a highscore: a short text that begins with the result code in
// decimal, a second number (the version page) after the first line feed. A reply that is
// no such text (an error status, an HTML page) is a failure, never an acceptance.
#pragma once

#include "net/highscore_record.h"

#include <string>
#include <string_view>

// Removes blanks, tabs, CRs and LFs from the end, then from the start.
void trimReply(std::string& text);
// The integer at the start of `text`: white space skipped, an optional sign, decimal
// digits up to the first other character; 0 without digits; held within 32 bits.
// `digits` tells whether there was at least one digit.
std::int32_t leadingInteger(std::string_view text, bool* digits = nullptr);
// Reads a reply (its body as received, and its HTTP status) into the record's result,
// message and version page.
void parseReply(HighscoreRecord& record, std::string reply, int status);
