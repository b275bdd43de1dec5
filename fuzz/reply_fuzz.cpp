// A libFuzzer target for the reading of the portal's reply: arbitrary bytes as the reply
// (the first byte picks the HTTP status) must never crash the reading, and its outcome
// must keep its promises: the trimmed text is the reply less its blanks and line ends at
// both ends, the leading number agrees with the C library's reading held to 32 bits, the
// message stays within its 255 characters, and nothing but a 2xx reply that begins with
// a number is ever read as accepted.
#include "net/highscore_reply.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr std::array<int, 8> statuses = {200, 200, 200, 204, 302, 404, 500, 0};

bool trimmedAway(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void check(bool promise) {
    if (!promise) {
        __builtin_trap();
    }
}

// The C library's reading of the leading number, held to 32 bits.
std::int32_t referenceInteger(const std::string& text, bool& digits) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(start, &end, 10);
    // strtoll takes a sign with nothing after it as no number at all, as we do.
    digits = end != start;
    return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int status = statuses[data[0] & 7];
    const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string trimmed = reply;
    trimReply(trimmed);
    check(trimmed.empty() || (!trimmedAway(trimmed.front()) && !trimmedAway(trimmed.back())));
    check(reply.find(trimmed) != std::string::npos);
    std::string again = trimmed;
    trimReply(again);
    check(again == trimmed);

    bool digits = false, referenceDigits = false;
    const std::int32_t value = leadingInteger(reply, &digits);
    // The C library stops at a NUL byte; so does the reading, which takes no NUL for a digit.
    const std::int32_t reference = referenceInteger(reply, referenceDigits);
    check(digits == referenceDigits);
    check(value == (referenceDigits ? reference : 0));

    HighscoreRecord record;
    record.versionPageId = 77;
    parseReply(record, reply, status);
    check(record.message.size() <= HighscoreRecord::maxMessage);
    const bool ok = status >= 200 && status <= 299;
    bool begins = false;
    leadingInteger(trimmed, &begins);
    if (!ok) {
        check(record.result == resultHttpStatus && record.versionPageId == 77);
    } else if (!begins) {
        check(record.result == resultUnreadableReply && record.versionPageId == 77);
    } else {
        check(record.result == leadingInteger(trimmed));
        check(record.message == trimmed.substr(0, HighscoreRecord::maxMessage));
    }
    if (record.result == 0 || record.result == 1) {
        check(ok && begins);
    }
    return 0;
}
