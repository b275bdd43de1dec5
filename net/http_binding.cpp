// The run-time binding to the HTTP client library; see http_binding.h. The failure texts
// name the step whose function is missing, by the names of the Windows library whose
// steps these are, whatever library stands behind them on this system.
#include "net/http_binding.h"

#include "app/build_config.h"
#include "net/highscore_request.h"

#include <array>
#include <vector>

namespace {

constexpr const char* libraryMissingText = "Kunde inte hitta WinInet.dll";

// The function of each step, in the order of HttpStep.
constexpr std::array<const char*, httpStepCount> stepNames = {
    "InternetOpenA",    "InternetConnectA", "InternetReadFile",    "InternetGetLastResponseInfoA",
    "HttpOpenRequestA", "HttpSendRequestA", "InternetCloseHandle",
};

constexpr std::size_t maxResponseText = 127;

std::string functionMissingText(HttpStep step) {
    return std::string("Kunde inte hitta funktionen ") + stepNames[static_cast<int>(step)] +
           " i WinInet.dll";
}

} // namespace

HttpBinding httpBinding(systemHttpClient());

HttpBinding::HttpBinding(HttpClient& client)
    : host(build_config::portalHost), port(build_config::portalPort), client_(client) {}

bool HttpBinding::bind(HighscoreRecord& record) {
    state_ = State::Incomplete;
    void* library = nullptr;
    for (const char* name : client_.libraryNames()) {
        library = platform().loadLibrary(name);
        if (library != nullptr) {
            break;
        }
    }
    if (library == nullptr) {
        record.result = resultLibraryMissing;
        record.message = libraryMissingText;
        return false;
    }
    std::vector<void*> addresses;
    for (const HttpFunction& function : client_.functions()) {
        void* address = platform().findFunction(library, function.name);
        if (address == nullptr) {
            record.result = resultLibraryMissing;
            record.message = functionMissingText(function.step);
            return false;
        }
        addresses.push_back(address);
    }
    client_.bind(addresses);
    library_ = library;
    state_ = State::Complete;
    return true;
}

bool HttpBinding::open(HighscoreRecord& record) {
    if (state_ != State::Complete && !bind(record)) {
        return false;
    }
    root_ = client_.openRoot(agent, timeouts);
    if (root_ == nullptr) {
        recordLastResponse(record);
        return false;
    }
    connection_ = client_.connect(root_, host, port);
    if (connection_ == nullptr) {
        recordLastResponse(record);
        client_.closeHandle(root_); // no handle outlives a failed attempt
        root_ = nullptr;
        return false;
    }
    return true;
}

void HttpBinding::close() {
    if (connection_ != nullptr) {
        client_.closeHandle(connection_);
        connection_ = nullptr;
    }
    if (root_ != nullptr) {
        client_.closeHandle(root_);
        root_ = nullptr;
    }
}

void HttpBinding::recordLastResponse(HighscoreRecord& record) {
    std::int32_t error = 0;
    std::string text;
    client_.lastResponse(error, text);
    // A failed step never reads as a code that the dialog acts on: not as accepted (0, 1),
    // not as an unknown account or password (2, 3), not as a missing library (-1).
    record.result = error >= -1 && error <= 3 ? resultStepFailed : error;
    record.message = text.substr(0, maxResponseText);
}

void HttpBinding::forget() {
    close();
    state_ = State::Empty;
    library_ = nullptr;
}

bool openHttpBinding(HighscoreRecord& record) {
    return httpBinding.open(record);
}

void closeHttpBinding() {
    httpBinding.close();
}

void recordLastResponse(HighscoreRecord& record) {
    httpBinding.recordLastResponse(record);
}
