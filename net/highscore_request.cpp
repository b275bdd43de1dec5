// The highscore submission; see highscore_request.h. The body's fields are a table of
// names and value makers, walked in order, so every value is worked out in field order
// (the speed measurement before the processor's name, the checksum before the length).
#include "net/highscore_request.h"

#include "net/http_binding.h"
#include "platform/platform.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <limits>

std::uint32_t ownFileLength = 0;

namespace {

struct ProcessorName {
    int type;
    const char* text;
};

constexpr std::array<ProcessorName, 5> processorNames = {{
    {386, "CPU INTEL 386"},
    {486, "CPU INTEL 486"},
    {586, "CPU INTEL PENTIUM"},
    {4000, "CPU MIPS R4000"},
    {21064, "CPU ALPHA 21064"},
}};
constexpr const char* unknownProcessor = "CPU UNKNOWN";

// What the body is made from: the record, with the score as sent.
struct BodyValues {
    const HighscoreRecord& record;
    std::int32_t score;
};

struct BodyField {
    const char* name;
    bool encoded;
    std::function<std::string(const BodyValues&)> value;
};

std::string decimal(std::int32_t v) {
    return std::to_string(v);
}

std::string unsignedDecimal(std::uint32_t v) {
    return std::to_string(v);
}

std::int32_t wrappingSum(std::uint32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(a + static_cast<std::uint32_t>(b));
}

std::string cut(const std::string& text, std::size_t limit) {
    return text.substr(0, limit);
}

const std::array<BodyField, 11> bodyFields = {{
    {"f1", true,
     [](const BodyValues& v) { return cut(v.record.email, HighscoreRecord::maxEmail); }},
    {"f2", false, [](const BodyValues& v) { return decimal(v.record.gameId); }},
    {"f3", true,
     [](const BodyValues& v) { return cut(v.record.password, HighscoreRecord::maxPassword); }},
    {"f4", true, [](const BodyValues& v) { return decimal(v.score); }},
    {"f5", true, [](const BodyValues& v) { return decimal(v.record.playTimeMs); }},
    {"f6", true, [](const BodyValues&) { return decimal(measureCpuSpeed()); }},
    {"f7", true, [](const BodyValues&) { return describeCpu(); }},
    {"f8", true, [](const BodyValues&) { return unsignedDecimal(checksumOwnFile()); }},
    {"f9", true, [](const BodyValues&) { return unsignedDecimal(ownFileLength); }},
    {"fa", true,
     [](const BodyValues& v) {
         return decimal(v.score) + cut(v.record.email, HighscoreRecord::maxEmail);
     }},
    {"fb", true, [](const BodyValues& v) { return decimal(wrappingSum(ownFileLength, v.score)); }},
}};

constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    return table;
}();

bool isTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::int32_t negated(std::int32_t v) {
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(v));
}

} // namespace

std::string encodeField(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[i]) ^
                                                 fieldKey[i % fieldKey.size()]);
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

std::string highscoreBody(const HighscoreRecord& record) {
    const BodyValues values{record, record.score};
    std::string body;
    for (const BodyField& field : bodyFields) {
        if (!body.empty()) {
            body += '&';
        }
        body += field.name;
        body += '=';
        const std::string value = field.value(values);
        body += field.encoded ? encodeField(value) : value;
    }
    return body;
}

std::int32_t measureCpuSpeed() {
    Platform& p = platform();
    // Wait for the clock to tick over, so that the count starts at the start of a second.
    const std::int64_t t0 = p.calendarSeconds();
    std::int64_t t = t0;
    while (t < t0 + 2) {
        t = p.calendarSeconds();
        if (t < t0) {
            return 0; // the clock was set back: no measure
        }
    }
    const std::int64_t t1 = p.calendarSeconds();
    if (p.calendarSeconds() >= t1 + 2) {
        return 0;
    }
    std::int64_t n = 0;
    do {
        ++n;
        t = p.calendarSeconds();
        if (t < t1) {
            return 0;
        }
    } while (t < t1 + 2);
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(n, std::numeric_limits<std::int32_t>::max()));
}

std::string describeCpu() {
    const int type = platform().processorType();
    for (const ProcessorName& p : processorNames) {
        if (p.type == type) {
            return p.text;
        }
    }
    return unknownProcessor;
}

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc) {
    crc = ~crc;
    for (char c : bytes) {
        crc = crcTable[(crc ^ static_cast<std::uint8_t>(c)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

std::uint32_t checksumOwnFile() {
    ownFileLength = 0;
    const std::string path = platform().ownExecutablePath();
    if (path.empty()) {
        return 0;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return 0;
    }
    std::uint32_t crc = 0;
    std::array<char, 65536> chunk;
    while (file) {
        file.read(chunk.data(), chunk.size());
        const auto n = static_cast<std::size_t>(file.gcount());
        crc = crc32(std::string_view(chunk.data(), n), crc);
        ownFileLength += static_cast<std::uint32_t>(n);
    }
    return crc;
}

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
    const std::string start = reply.substr(0, HighscoreRecord::maxMessage);
    if (status < 200 || status > 299) {
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
    const std::size_t lineFeed = reply.find('\n');
    record.versionPageId = lineFeed == std::string::npos
                               ? 0
                               : leadingInteger(std::string_view(reply).substr(lineFeed + 1));
    record.message = start;
}

bool sendHighscoreRequest(HighscoreRecord& record, HttpBinding& binding) {
    HttpClient& client = binding.client();
    if (record.tampered) {
        record.score = negated(record.score);
    }
    HttpClient::Handle request =
        client.openRequest(binding.connection(), "POST", std::string(highscoreObject).c_str());
    if (request == nullptr) {
        binding.recordLastResponse(record); // the steps below fail and record in turn
    }
    const std::string body = highscoreBody(record);
    if (!client.sendRequest(request, highscoreHeader, body)) {
        // Nothing that could be read now is an answer to this request: the failure stands.
        binding.recordLastResponse(record);
    } else {
        std::string reply(replyReadLimit, '\0');
        std::size_t read = 0;
        if (client.readReply(request, reply.data(), replyReadLimit, read)) {
            reply.resize(std::min(read, replyReadLimit));
            parseReply(record, std::move(reply), client.replyStatus(request));
        } else {
            binding.recordLastResponse(record);
        }
    }
    if (request != nullptr) {
        client.closeHandle(request);
    }
    return record.result == 0;
}

std::int32_t submitHighscore(HighscoreRecord& record, HttpBinding& binding) {
    if (!binding.open(record)) {
        return -1;
    }
    const bool accepted = sendHighscoreRequest(record, binding);
    binding.close();
    return accepted ? 0 : -2;
}

std::int32_t submitHighscore(HighscoreRecord& record) {
    return submitHighscore(record, httpBinding);
}
