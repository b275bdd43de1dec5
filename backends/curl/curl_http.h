// libcurl behind the HTTP seam, loaded at run time ("libcurl.so.4", then
// "libcurl-gnutls.so.4") and never linked. Portable C++: it declares the few libcurl types
// and constants it uses and drives its easy interface, one easy handle per post. The
// reply's body is collected up to the request's limit; a longer reply is cut there and the
// rest of it is never read. A failed step keeps libcurl's error number (CURLcode) and
// text, and its kind is read from the number (failureKind).
#pragma once

#include "platform/http_library.h"

#include <memory>

class CurlHttpClient : public HttpClient {
  public:
    // The library is loaded through `machine`.
    explicit CurlHttpClient(Machine& machine);
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    HttpOutcome post(const HttpRequest& request) override;
    // The portable kind of a libcurl error number.
    static HttpFailure failureKind(int code);

    struct Functions; // the looked-up entry points

  private:
    HttpOutcome failure(HttpStep step, int code, const char* detail = nullptr) const;

    HttpLibrary library_;
    std::unique_ptr<Functions> fn_;
    bool globalReady_ = false;
};
