// The highscore submission; see highscore_submission.h. The body's fields are a table of
// names and value makers, walked in order. The failure texts name the Windows library and
// its functions, whatever library stands behind the client on this system.
#include "net/highscore_submission.h"

#include "net/form_field.h"
#include "net/highscore_reply.h"
#include "net/machine_facts.h"

#include <array>
#include <functional>

namespace {

constexpr const char* libraryMissingText = "Kunde inte hitta WinInet.dll";

constexpr std::size_t maxResponseText = 127;

// What the body is made from: the record, where the machine's facts come from, and the
// program file's facts once read.
struct BodyValues {
    const HighscoreRecord& record;
    const FactSources& sources;
    OwnFile own;
};

struct BodyField {
    const char* name;
    bool encoded;
    std::function<std::string(BodyValues&)> value;
};

std::string decimal(std::int32_t v) {
    return std::to_string(v);
}

std::string cut(const std::string& text, std::size_t limit) {
    return text.substr(0, limit);
}

std::int32_t wrappingSum(std::uint32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(a + static_cast<std::uint32_t>(b));
}

std::int32_t negated(std::int32_t v) {
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(v));
}

const std::array<BodyField, 11> bodyFields = {{
    {"f1", true, [](BodyValues& v) { return cut(v.record.email, HighscoreRecord::maxEmail); }},
    {"f2", false, [](BodyValues& v) { return decimal(v.record.gameId); }},
    {"f3", true,
     [](BodyValues& v) { return cut(v.record.password, HighscoreRecord::maxPassword); }},
    {"f4", true, [](BodyValues& v) { return decimal(v.record.score); }},
    {"f5", true, [](BodyValues& v) { return decimal(v.record.playTimeMs); }},
    {"f6", true, [](BodyValues& v) { return decimal(measureCpuSpeed(v.sources.clock)); }},
    {"f7", true, [](BodyValues& v) { return describeCpu(v.sources.machine); }},
    {"f8", true,
     [](BodyValues& v) {
         v.own = checksumOwnFile(v.sources.machine);
         return std::to_string(v.own.checksum);
     }},
    {"f9", true, [](BodyValues& v) { return std::to_string(v.own.length); }},
    {"fa", true,
     [](BodyValues& v) {
         return decimal(v.record.score) + cut(v.record.email, HighscoreRecord::maxEmail);
     }},
    {"fb", true, [](BodyValues& v) { return decimal(wrappingSum(v.own.length, v.record.score)); }},
}};

// A failed step's outcome in the record: its error number and the start of its text.
void recordFailure(HighscoreRecord& record, const HttpOutcome& outcome) {
    // A failed step never reads as a code that the dialog acts on: not as accepted (0, 1),
    // not as an unknown account or password (2, 3), not as a missing library (-1).
    const std::int32_t error = outcome.error;
    record.result = error >= -1 && error <= 3 ? resultStepFailed : error;
    record.message = outcome.text.substr(0, maxResponseText);
}

} // namespace

std::string highscoreBody(const HighscoreRecord& record, const FactSources& sources) {
    BodyValues values{record, sources, {}};
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
    // The replay follows the eleven fields, as base64url: plain ASCII that needs no escaping.
    if (record.replay) {
        body += "&fc=";
        body += encodeBase64Url(record.replay(values.own.checksum, values.own.length));
    }
    return body;
}

std::int32_t submitHighscore(HighscoreRecord& record, HttpClient& client,
                             const HighscorePortal& portal, const FactSources& sources) {
    HttpRequest request;
    request.agent = highscoreAgent;
    request.host = portal.host;
    request.port = portal.port;
    request.object = highscoreObject;
    request.headers = highscoreHeader;
    request.body = [&record, &sources] {
        if (record.tampered) {
            record.score = negated(record.score);
        }
        return highscoreBody(record, sources);
    };
    request.timeouts = portal.timeouts;
    request.replyLimit = replyReadLimit;

    const HttpOutcome outcome = client.post(request);
    record.fromPortal = false;
    record.failure = outcome.failure;
    switch (outcome.kind) {
    case HttpOutcome::Kind::LibraryMissing:
        record.result = resultLibraryMissing;
        record.message = libraryMissingText;
        return -1;
    case HttpOutcome::Kind::FunctionMissing:
        record.result = resultLibraryMissing;
        record.message = std::string("Kunde inte hitta funktionen ") +
                         httpStepNames[static_cast<int>(outcome.step)] + " i WinInet.dll";
        return -1;
    case HttpOutcome::Kind::StepFailed:
        recordFailure(record, outcome);
        return outcome.step == HttpStep::OpenRoot || outcome.step == HttpStep::Connect ? -1 : -2;
    case HttpOutcome::Kind::Replied:
        parseReply(record, outcome.body, outcome.status);
        break;
    }
    return record.result == 0 ? 0 : -2;
}
