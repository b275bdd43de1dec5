// One highscore submission: the best score, the account and a few facts about the
// machine and the program go to the portal's host as an HTTP POST of eleven form fields,
// and the short text reply comes back as a result code, a message and a version page
// number, all in a HighscoreRecord (the shell keeps one for the run).
//
// Every field value but the game id is obscured: each byte is XORed with fieldKey (the
// key position restarting at every field) and written as two upper-case hex digits.
// The reply begins with the result code in decimal; a second number may follow after the
// first line feed. A reply that is no such text (an error status, an HTML page) is a
// failure, never an acceptance.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class HttpBinding;

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
    std::int32_t result = 0;        // of the last attempt; see the codes below
    std::string message;            // outcome text of the last attempt, never shown
    std::int32_t versionPageId = 1; // the reply's second number
};

// Result codes. 0 and 1 (accepted), 2 (unknown account) and 3 (wrong password) come
// from the server; the library's own error numbers pass through unless they would read
// as one of those. The codes below are ours.
constexpr std::int32_t resultLibraryMissing = -1;  // the HTTP client library or a function
constexpr std::int32_t resultStepFailed = -2;      // a step failed without a usable number
constexpr std::int32_t resultHttpStatus = -3;      // the reply's HTTP status was not 2xx
constexpr std::int32_t resultUnreadableReply = -4; // the reply does not begin with a number

constexpr std::array<std::uint8_t, 8> fieldKey = {0x3C, 0xA1, 0x5E, 0x07, 0xD2, 0x68, 0x9B, 0x41};
constexpr std::string_view highscoreObject = "/r0002.asp";
constexpr std::string_view highscoreHeader = "Content-Type: application/x-www-form-urlencoded";
// At most this many bytes of the reply are read; the rest is dropped.
constexpr std::size_t replyReadLimit = 16383;

// Bytes of the program's file that the last checksumOwnFile() read; 0 if it did not open.
extern std::uint32_t ownFileLength;

// One attempt through the process-wide binding: -1 when the binding could not be opened,
// 0 when the request ran and result is 0, -2 otherwise. The outcome is in the record.
std::int32_t submitHighscore(HighscoreRecord& record);
std::int32_t submitHighscore(HighscoreRecord& record, HttpBinding& binding);
// Sends on an open binding; true when result is 0 after the attempt.
bool sendHighscoreRequest(HighscoreRecord& record, HttpBinding& binding);

// The eleven fields of the body, each value worked out in field order.
std::string highscoreBody(const HighscoreRecord& record);
std::string encodeField(std::string_view text);
// Clock readings counted in two whole seconds of the calendar clock; 0 if too slow.
std::int32_t measureCpuSpeed();
std::string describeCpu();
// CRC-32 of the program's own file; sets ownFileLength.
std::uint32_t checksumOwnFile();
std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0);

// Removes blanks, tabs, CRs and LFs from the end, then from the start.
void trimReply(std::string& text);
// The integer at the start of `text`: white space skipped, an optional sign, decimal
// digits up to the first other character; 0 without digits; held within 32 bits.
// `digits` tells whether there was at least one digit.
std::int32_t leadingInteger(std::string_view text, bool* digits = nullptr);
// Reads a reply (its body as received, and its HTTP status) into the record.
void parseReply(HighscoreRecord& record, std::string reply, int status);
