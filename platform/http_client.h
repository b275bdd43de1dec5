// The HTTP seam: one call posts a request to a host and port within time bounds and tells
// what came of it: the reply's status and body, or the step of the exchange that failed
// with the library's error number and text, or the library (or one of its functions)
// that this machine lacks, and in every case the portable kind of failure (HttpFailure)
// that the backend maps its library's number to. Each backend runs its own library's
// steps inside the call: WinInet on Windows, libcurl on POSIX systems, fetch() in the
// browser, a scripted fake in tests.
//
// The steps are named after the Windows library's seven functions, whatever library
// stands behind them, so that an outcome reads the same on every system.
#pragma once

#include "platform/clock.h"
#include "platform/http_failure.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The steps of one exchange, in the order in which their functions are looked up.
enum class HttpStep : int {
    OpenRoot,
    Connect,
    ReadReply,
    LastResponse,
    OpenRequest,
    SendRequest,
    CloseHandle,
};
constexpr int httpStepCount = 7;
// The Windows library's function of each step, in the order of HttpStep: the names that
// WinInet is bound by and that the outcome texts use on every system.
constexpr std::array<const char*, httpStepCount> httpStepNames = {
    "InternetOpenA",    "InternetConnectA", "InternetReadFile",    "InternetGetLastResponseInfoA",
    "HttpOpenRequestA", "HttpSendRequestA", "InternetCloseHandle",
};

// Bounds on one exchange: establishing the connection, and the whole exchange from the
// start of the send to the last byte of the reply.
struct HttpTimeouts {
    Millis connect = 10000;
    Millis exchange = 30000;
};

struct HttpRequest {
    std::string agent;
    std::string host;
    int port = 80;
    std::string object; // the path, beginning with '/'
    // Header lines separated by CR LF, without a final line end.
    std::string headers;
    // Makes the body, once, when the exchange reaches it: after the library is bound and
    // the connection is opened, so that a caller whose body takes seconds to make (the
    // highscore measures the processor for it) spends nothing when the attempt cannot go on.
    std::function<std::string()> body;
    HttpTimeouts timeouts;
    // At most this many bytes of the reply's body are kept; the rest is never read.
    std::size_t replyLimit = 16384;
};

struct HttpOutcome {
    enum class Kind {
        Replied,         // status and body
        StepFailed,      // step, error and text
        LibraryMissing,  // the library could not be loaded
        FunctionMissing, // step: the step whose function the library lacks
    };
    Kind kind = Kind::Replied;
    int status = 0;
    std::string body;
    HttpStep step = HttpStep::OpenRoot;
    // The library's own number and text: shown and recorded, never told apart above the
    // seam; `failure` is what tells.
    std::int32_t error = 0;
    std::string text;
    HttpFailure failure = HttpFailure::None;

    static HttpOutcome replied(int status, std::string body) {
        HttpOutcome outcome;
        outcome.status = status;
        outcome.body = std::move(body);
        outcome.failure = httpSuccess(status) ? HttpFailure::None : HttpFailure::ErrorStatus;
        return outcome;
    }
    static HttpOutcome failed(HttpStep step, HttpFailure failure, std::int32_t error,
                              std::string text) {
        return {Kind::StepFailed, 0, {}, step, error, std::move(text), failure};
    }
    static HttpOutcome libraryMissing() {
        HttpOutcome outcome;
        outcome.kind = Kind::LibraryMissing;
        outcome.failure = HttpFailure::LibraryMissing;
        return outcome;
    }
    static HttpOutcome functionMissing(HttpStep step) {
        HttpOutcome outcome = libraryMissing();
        outcome.kind = Kind::FunctionMissing;
        outcome.step = step;
        return outcome;
    }
};

class HttpClient {
  public:
    virtual ~HttpClient() = default;
    // Posts the request synchronously; every handle it opens is closed before it returns.
    virtual HttpOutcome post(const HttpRequest& request) = 0;
};
