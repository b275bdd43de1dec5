// WinInet behind the HTTP seam. The library is loaded at run time by name ("WinINet") and
// its seven functions looked up as an HttpLibrary; each post then runs WinInet's calls in
// turn: open a root handle with the agent, connect to the host and port, open a POST
// request, send its header and body, read the reply, and close the request, the
// connection and the root handle. The send and the read run on a thread of their own, so
// that the attempt ends at the whole exchange's bound even while a server trickles its
// answer (the exchange then finishes by itself). A failed step's outcome carries WinInet's
// last-response number and text (or, when WinInet reports none, the step's own error number),
// and the kind read from that number (failureKind).
#pragma once

#include "platform/http_library.h"

#include <memory>

class WinInetHttpClient : public HttpClient {
  public:
    // The library is loaded through `machine`.
    explicit WinInetHttpClient(Machine& machine);
    ~WinInetHttpClient() override;
    WinInetHttpClient(const WinInetHttpClient&) = delete;
    WinInetHttpClient& operator=(const WinInetHttpClient&) = delete;

    HttpOutcome post(const HttpRequest& request) override;
    // The portable kind of a WinInet error number.
    static HttpFailure failureKind(std::int32_t error);

    struct Functions; // the looked-up entry points

  private:
    HttpOutcome failure(HttpStep step) const;
    void bound(void* handle, const HttpTimeouts& timeouts) const;

    HttpLibrary library_;
    std::unique_ptr<Functions> fn_;
};
