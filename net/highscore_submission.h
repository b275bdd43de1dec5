// One highscore submission: the best score, the account and the machine's facts go to the
// portal as an HTTP POST of eleven form fields and the game's replay, through the HTTP client it is
// given, and what comes back (a reply, a failed step, a missing library) is left in the record as a
// result code, a message and the client's kind of failure, and from a reply the version
// page number.
#pragma once

#include "net/highscore_record.h"
#include "net/machine_facts.h"
#include "platform/http_client.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where a highscore goes, and how long the exchange may take.
struct HighscorePortal {
    std::string host;
    int port = 80;
    HttpTimeouts timeouts;
};

constexpr std::string_view highscoreAgent = "SpelHttp";
constexpr std::string_view highscoreObject = "/r0002.asp";
constexpr std::string_view highscoreHeader = "Content-Type: application/x-www-form-urlencoded";
// At most this many bytes of the reply are read; the rest is dropped.
constexpr std::size_t replyReadLimit = 16383;

// The eleven fields of the body, each value worked out in field order: the speed count
// (some seconds) before the processor's name, the file's checksum before its length; the
// machine's facts from `sources`. Then, when the record has a replay, a twelfth field
// "fc": the replay, made with the file's checksum and length, in base64url.
std::string highscoreBody(const HighscoreRecord& record, const FactSources& sources);

// One attempt. Once the library is bound and the connection open, a tampered
// score is negated in the record and the body is made. Returns -1 when the
// library is missing or no connection could be opened, 0 when a reply gave result 0,
// -2 otherwise; the outcome is in the record.
std::int32_t submitHighscore(HighscoreRecord& record, HttpClient& client,
                             const HighscorePortal& portal, const FactSources& sources);
