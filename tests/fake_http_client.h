// An HTTP client for tests that talks to no network: every post returns the outcome the
// test set, and the requests it was given are kept.
#pragma once

#include "platform/http_client.h"

#include <vector>

class FakeHttpClient : public HttpClient {
  public:
    HttpOutcome outcome = HttpOutcome::replied(200, "0");
    std::vector<HttpRequest> requests;

    HttpOutcome post(const HttpRequest& request) override {
        requests.push_back(request);
        return outcome;
    }
};
