// What kind of failure ended an HTTP exchange, told the same way on every system. Each
// HTTP backend maps its own library's error numbers to these kinds; the numbers stay the
// backend's, for showing and recording only, and nothing above the seam reads them to
// tell one failure from another.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

enum class HttpFailure : int {
    None,           // a reply came with a 2xx status
    NoAnswer,       // no answer within the time bounds
    OutOfReach,     // the server could not be reached: name not resolved, nothing listening
    Broken,         // the connection broke off before the reply was complete
    ErrorStatus,    // a reply came with a status other than 2xx (or none that could be read)
    LibraryMissing, // the HTTP library, or a function of it, is not on this machine
    Other,          // any other failure of a step
};

// A short name of each kind, for checks and logs.
constexpr const char* httpFailureName(HttpFailure failure) {
    constexpr std::array<const char*, 7> names = {
        "none", "no-answer", "out-of-reach", "broken", "error-status", "library-missing", "other",
    };
    return names.at(static_cast<std::size_t>(failure));
}

// One error number of a backend's library and its kind.
struct HttpFailureNumber {
    std::int32_t error;
    HttpFailure kind;
};

// The kind of `error` in a backend's table of the numbers it knows; Other for the rest.
constexpr HttpFailure httpFailureOf(std::span<const HttpFailureNumber> known, std::int32_t error) {
    for (const HttpFailureNumber& k : known) {
        if (k.error == error) {
            return k.kind;
        }
    }
    return HttpFailure::Other;
}

// True for the statuses of a reply that the server accepted the request with (2xx).
constexpr bool httpSuccess(int status) {
    return status >= 200 && status <= 299;
}
