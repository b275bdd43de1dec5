// The steps of one HTTP exchange, as the online highscore takes them: open a root handle
// with an agent name, connect to a host and port, open a request, send its header and
// body, read the reply, ask for the last error, close handles. A backend puts one
// system's HTTP client library behind these steps (libcurl on POSIX systems, WinInet on
// Windows). The library is never linked: the caller loads it by name through the
// platform, looks up the functions that the backend lists, and hands their addresses to
// bind(); only then are the steps called.
//
// Handles are opaque. A step that fails returns a null handle or false and leaves its
// error number and text for lastResponse(); a step given a null or closed handle fails.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The steps in the order in which their functions are looked up.
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

// One function of the library, and the step that needs it.
struct HttpFunction {
    const char* name;
    HttpStep step;
};

// Bounds on one exchange: establishing the connection, and the whole exchange from the
// start of the send to the last byte of the reply.
struct HttpTimeouts {
    Millis connect = 10000;
    Millis exchange = 30000;
};

class HttpClient {
  public:
    using Handle = void*;
    virtual ~HttpClient() = default;

    // The library's file names, tried in this order.
    virtual std::span<const char* const> libraryNames() const = 0;
    // The functions to look up, in the order of their steps.
    virtual std::span<const HttpFunction> functions() const = 0;
    // The addresses of all functions(), in the same order.
    virtual void bind(std::span<void* const> addresses) = 0;

    virtual Handle openRoot(const char* agent, const HttpTimeouts& timeouts) = 0;
    virtual Handle connect(Handle root, const std::string& host, int port) = 0;
    virtual Handle openRequest(Handle connection, const char* verb, const char* object) = 0;
    // Sends the request: `headers` are header lines separated by CR LF, without a final
    // line end. True when a reply arrived.
    virtual bool sendRequest(Handle request, std::string_view headers, std::string_view body) = 0;
    // Reads the next at most `capacity` bytes of the reply's body into `buffer`.
    virtual bool readReply(Handle request, char* buffer, std::size_t capacity,
                           std::size_t& bytesRead) = 0;
    // The HTTP status of the reply to a sent request; 0 when none arrived.
    virtual int replyStatus(Handle request) = 0;
    // The error number and text of the last step that failed.
    virtual void lastResponse(std::int32_t& error, std::string& text) = 0;
    virtual void closeHandle(Handle handle) = 0;
};

// The HTTP client of the system the program was built for.
HttpClient& systemHttpClient();
