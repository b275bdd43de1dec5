// The reading of the portal's reply; see highscore_reply.h.
#include "net/highscore_reply.h"

#include "platform/http_failure.h"

#include <algorithm>
#include <limits>

namespace {

bool isTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

void trimReply(std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && isTrimmed(text[end - 1])) {
        --end;
    }
    std::size_t start = 0;
    while (start < end && isTrimmed(text[start])) {
        ++start;
    }
    text = text.substr(start, end - start);
}

std::int32_t leadingInteger(std::string_view text, bool* digits) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Held at the 32-bit bounds: a long run of digits is a very large number, not garbage.
    const std::int64_t limit = negative ? -std::int64_t(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), limit);
    }
    if (digits != nullptr) {
        *digits = any;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

void parseReply(HighscoreRecord& record, std::string reply, int status) {
    trimReply(reply);
    record.fromPortal = false;
    const std::string start = reply.substr(0, HighscoreRecord::maxMessage);
    if (!httpSuccess(status)) {
        record.result = resultHttpStatus;
        record.message = ("HTTP " + std::to_string(status) + ": " + start)
                             .substr(0, HighscoreRecord::maxMessage);
        return;
    }
    bool digits = false;
    const std::int32_t result = leadingInteger(reply, &digits);
    if (!digits) {
        record.result = resultUnreadableReply;
        record.message = start;
        return;
    }
    record.result = result;
    record.fromPortal = true;
    const std::size_t lineFeed = reply.find('\n');
    record.versionPageId = lineFeed == std::string::npos
                               ? 0
                               : leadingInteger(std::string_view(reply).substr(lineFeed + 1));
    record.message = start;
}
