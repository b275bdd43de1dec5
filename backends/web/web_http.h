// The HTTP seam in the browser: the request goes through fetch() to the origin that served
// the page (whatever host and port the request names), so it needs no cross-origin rule.
// The steps keep their meaning: the browser's fetch is the library (OpenRoot), the page's
// origin is the connection (Connect), the body is made after both, the send and the wait
// for the reply's head are SendRequest, the reading of its body ReadReply. A fetch that
// fails or runs past the request's time bounds is a failed step with the Windows library's
// error number for it (the number a player on Windows would see) and that number's kind,
// never a reply. A browser cannot tell the connection apart from the rest of the exchange,
// so the attempt as a whole is bounded by both bounds added: it never runs longer than it
// may on the other systems.
#pragma once

#include "platform/http_client.h"

// The Windows library's numbers for the failures a browser can tell apart.
constexpr std::int32_t webErrorTimeout = 12002;         // the exchange ran out of time
constexpr std::int32_t webErrorCannotConnect = 12029;   // no answer from the server
constexpr std::int32_t webErrorConnectionReset = 12031; // the reply broke off

class WebHttpClient : public HttpClient {
  public:
    HttpOutcome post(const HttpRequest& request) override;
    // The portable kind of one of the numbers above; any other is HttpFailure::Other.
    static HttpFailure failureKind(std::int32_t error);
};
