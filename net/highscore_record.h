// The highscore record: what the dialog fills in for a submission (the account, the score
// and its play time) and what the submission leaves in it (a result code, a message, the
// kind of failure and a version page number), with the result codes that the dialog acts on.
#pragma once

#include "platform/http_failure.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct HighscoreRecord {
    static constexpr std::size_t maxEmail = 64;
    static constexpr std::size_t maxPassword = 16;
    static constexpr std::size_t maxMessage = 255;

    std::string email;       // the account's user name, at most maxEmail characters
    std::int32_t gameId = 8; // the one value sent in plain
    std::string password;    // at most maxPassword characters
    std::int32_t score = 0;  // negated by the submission when tampered
    std::int32_t playTimeMs = 0;
    bool tampered = false;
    // The game that made the score as replay bytes, given the facts of the program file
    // (checksum, length) that the body reports; empty when there is none to send.
    std::function<std::string(std::uint32_t checksum, std::uint32_t length)> replay;
    std::int32_t result = 0;        // of the last attempt; see the codes below
    std::string message;            // outcome text of the last attempt
    bool fromPortal = false;        // the result is the number the portal's reply began with
    std::int32_t versionPageId = 1; // the reply's second number
    // The HTTP client's kind of failure of the last attempt (None for a reply with a 2xx status).
    HttpFailure failure = HttpFailure::None;
};

// Result codes. 0 and 1 (accepted), 2 (unknown account) and 3 (wrong password) come
// from the server; the library's own error numbers pass through unless they would read
// as one of those (fromPortal tells a server's number from a library's, and `failure`
// what kind of failure a library's number stands for). The codes below are ours.
constexpr std::int32_t resultLibraryMissing = -1;  // the HTTP client library or a function
constexpr std::int32_t resultStepFailed = -2;      // a step failed without a usable number
constexpr std::int32_t resultHttpStatus = -3;      // the reply's HTTP status was not 2xx
constexpr std::int32_t resultUnreadableReply = -4; // the reply does not begin with a number
