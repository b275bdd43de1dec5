// The highscore dialog's outcome line; see highscore_outcome.h. The known outcomes are two
// tables: the codes of ours and of the portal's that have a line of their own, and the
// HTTP client's kinds of failure (each backend maps its library's numbers to these).
#include "app/highscore_outcome.h"

#include "platform/latin1.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view noAnswer = "Inget svar fr\xE5n portalen i tid.";
constexpr std::string_view unreachable = "Kunde inte n\xE5 portalen.";
constexpr std::string_view broken = "Portalen br\xF6t f\xF6rbindelsen.";
constexpr std::string_view portalError = "Portalen svarade med ett fel.";
constexpr std::string_view notSent = "Kunde inte skicka po\xE4ngen.";

struct CodeText {
    std::int32_t result;
    bool fromPortal;
    std::string_view text;
};

constexpr std::array<CodeText, 3> codeTexts = {{
    {2, true, "Ok\xE4nd anv\xE4ndare."},
    {3, true, "Fel l\xF6senord."},
    {resultUnreadableReply, false, portalError},
}};

struct FailureText {
    HttpFailure failure;
    std::string_view text;
};

constexpr std::array<FailureText, 5> failureTexts = {{
    {HttpFailure::LibraryMissing, "HTTP-biblioteket saknas."},
    {HttpFailure::ErrorStatus, portalError},
    {HttpFailure::NoAnswer, noAnswer},
    {HttpFailure::OutOfReach, unreachable},
    {HttpFailure::Broken, broken},
}};

// The portal's own text: the first line of its reply after the leading number and the
// separators behind it, as Latin-1 (a reply in UTF-8 is converted), control characters
// blanked, cut to the line's limit.
std::string portalText(std::string_view reply) {
    std::size_t at = 0;
    while (at < reply.size() && (reply[at] == ' ' || reply[at] == '\t')) {
        ++at;
    }
    if (at < reply.size() && (reply[at] == '-' || reply[at] == '+')) {
        ++at;
    }
    while (at < reply.size() && reply[at] >= '0' && reply[at] <= '9') {
        ++at;
    }
    while (at < reply.size() &&
           std::string_view(" \t:;,.-").find(reply[at]) != std::string_view::npos) {
        ++at;
    }
    std::string_view line = reply.substr(at);
    line = line.substr(0, line.find_first_of("\r\n"));
    std::string text = !isAscii(line) && isUtf8(line) ? utf8ToLatin1(line) : std::string(line);
    for (char& ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            ch = ' ';
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    if (text.size() > outcomeLineLimit) {
        text = text.substr(0, outcomeLineLimit - 3) + "...";
    }
    return text;
}

} // namespace

std::string outcomeLine(const HighscoreRecord& record) {
    if (record.result == 0 || record.result == 1) {
        return {};
    }
    for (const CodeText& known : codeTexts) {
        if (known.result == record.result && known.fromPortal == record.fromPortal) {
            return std::string(known.text);
        }
    }
    if (!record.fromPortal) {
        for (const FailureText& known : failureTexts) {
            if (known.failure == record.failure) {
                return std::string(known.text);
            }
        }
        return std::string(notSent);
    }
    const std::string text = portalText(record.message);
    return text.empty() ? std::string(portalError) : text;
}
