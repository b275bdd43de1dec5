// An HTTP client for tests that talks to no network: every post returns the outcome the
// test set, and the requests it was given are kept with the bodies they made. Like a real
// client it makes the body only when the attempt gets that far: not when the library is
// missing or the root handle or the connection failed.
#pragma once

#include "platform/http_client.h"

#include <string>
#include <vector>

class FakeHttpClient : public HttpClient {
  public:
    HttpOutcome outcome = HttpOutcome::replied(200, "0");
    std::vector<HttpRequest> requests;
    std::vector<std::string> bodies;

    HttpOutcome post(const HttpRequest& request) override {
        requests.push_back(request);
        const bool stoppedEarly =
            outcome.kind == HttpOutcome::Kind::LibraryMissing ||
            outcome.kind == HttpOutcome::Kind::FunctionMissing ||
            (outcome.kind == HttpOutcome::Kind::StepFailed &&
             (outcome.step == HttpStep::OpenRoot || outcome.step == HttpStep::Connect));
        if (!stoppedEarly) {
            bodies.push_back(request.body());
        }
        return outcome;
    }
};
