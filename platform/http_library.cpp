// The run-time binding of an HTTP client library; see http_library.h.
#include "platform/http_library.h"

std::optional<HttpOutcome> HttpLibrary::bind() {
    if (state_ == State::Complete) {
        return std::nullopt;
    }
    state_ = State::Incomplete;
    addresses_.clear();
    void* library = nullptr;
    for (const char* name : files_) {
        library = machine_.loadLibrary(name);
        if (library != nullptr) {
            break;
        }
    }
    if (library == nullptr) {
        return HttpOutcome::libraryMissing();
    }
    for (const HttpFunction& function : functions_) {
        void* address = machine_.findFunction(library, function.name);
        if (address == nullptr) {
            addresses_.clear();
            return HttpOutcome::functionMissing(function.step);
        }
        addresses_.push_back(address);
    }
    state_ = State::Complete;
    return std::nullopt;
}
