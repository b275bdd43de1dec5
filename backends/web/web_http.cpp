// fetch() behind the HTTP seam; see web_http.h. The exchange runs in the page's script
// while the program waits through Asyncify; its outcome is written into memory the call
// provides: four numbers (what came of it, the status or the step, the error number, the
// length of the body or of the error text) and then the bytes.
#include "backends/web/web_http.h"

#include <emscripten.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

enum Result : int { kindReplied = 0, kindStepFailed = 1, kindLibraryMissing = 2 };

// clang-format off
EM_JS(int, jsFetchAvailable, (), {
    return typeof fetch === 'function' && typeof AbortController === 'function' ? 1 : 0;
});
// Posts `body` to `object` on the page's origin. `out` receives kind, status or step,
// error and byte count; the bytes go to `bytes` (at most `limit`).
EM_ASYNC_JS(void, jsPost, (const char* object, const char* headers, const char* body,
                           int bodyLength, int connectMs, int exchangeMs, std::int32_t* out,
                           char* bytes, int limit), {
    const path = UTF8ToString(object);
    const headerLines = UTF8ToString(headers);
    const payload = HEAPU8.slice(body, body + bodyLength);
    const result = await PingelPage.post(path, headerLines, payload, connectMs, exchangeMs, limit);
    HEAP32[out >> 2] = result.kind;
    HEAP32[(out >> 2) + 1] = result.code;
    HEAP32[(out >> 2) + 2] = result.error;
    const data = result.bytes.subarray(0, limit);
    HEAP32[(out >> 2) + 3] = data.length;
    HEAPU8.set(data, bytes);
});
// clang-format on

} // namespace

HttpFailure WebHttpClient::failureKind(std::int32_t error) {
    switch (error) {
    case webErrorTimeout:
        return HttpFailure::NoAnswer;
    case webErrorCannotConnect:
        return HttpFailure::OutOfReach;
    case webErrorConnectionReset:
        return HttpFailure::Broken;
    default:
        return HttpFailure::Other;
    }
}

HttpOutcome WebHttpClient::post(const HttpRequest& request) {
    if (jsFetchAvailable() == 0) {
        return HttpOutcome::libraryMissing();
    }
    // The page's origin is always there: the connection stands, the body can be made.
    const std::string body = request.body ? request.body() : std::string();
    const std::size_t limit = std::max<std::size_t>(request.replyLimit, 256);
    std::vector<char> bytes(limit);
    std::array<std::int32_t, 4> out{};
    jsPost(request.object.c_str(), request.headers.c_str(), body.data(),
           static_cast<int>(body.size()), static_cast<int>(request.timeouts.connect),
           static_cast<int>(request.timeouts.exchange), out.data(), bytes.data(),
           static_cast<int>(limit));
    const std::size_t count =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(out[3], 0)), limit);
    std::string data(bytes.data(), count);
    if (out[0] == kindReplied) {
        if (data.size() > request.replyLimit) {
            data.resize(request.replyLimit);
        }
        return HttpOutcome::replied(out[1], std::move(data));
    }
    if (out[0] == kindLibraryMissing) {
        return HttpOutcome::libraryMissing();
    }
    const int step =
        out[1] >= 0 && out[1] < httpStepCount ? out[1] : static_cast<int>(HttpStep::SendRequest);
    return HttpOutcome::failed(static_cast<HttpStep>(step), failureKind(out[2]), out[2],
                               std::move(data));
}
