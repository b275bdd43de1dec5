// libcurl behind the HTTP seam; see curl_http.h. The libcurl declarations below are our
// own, made from its documented interface: the functions we look up with their C types,
// and the numbers of the options, the information item and the error codes we use.
#include "backends/curl/curl_http.h"

#include "net/url.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// --- libcurl, as much of it as we use ---

using CurlCode = int;  // CURLcode
using CurlEasy = void; // CURL
struct CurlSlist;      // struct curl_slist, never looked into
using WriteCallback = std::size_t (*)(char*, std::size_t, std::size_t, void*);

using GlobalInitFn = CurlCode (*)(long flags);
using EasyInitFn = CurlEasy* (*)();
using EasySetoptFn = CurlCode (*)(CurlEasy*, int option, ...);
using EasyPerformFn = CurlCode (*)(CurlEasy*);
using EasyGetinfoFn = CurlCode (*)(CurlEasy*, int info, ...);
using EasyStrerrorFn = const char* (*)(CurlCode);
using EasyCleanupFn = void (*)(CurlEasy*);
using SlistAppendFn = CurlSlist* (*)(CurlSlist*, const char*);
using SlistFreeAllFn = void (*)(CurlSlist*);

constexpr long globalAll = 3; // CURL_GLOBAL_ALL

// Options: a type base plus a number.
constexpr int optLong = 0, optPointer = 10000, optFunction = 20000;
constexpr int optWriteData = optPointer + 1;
constexpr int optUrl = optPointer + 2;
constexpr int optErrorBuffer = optPointer + 10;
constexpr int optWriteFunction = optFunction + 11;
constexpr int optPostFields = optPointer + 15;
constexpr int optUserAgent = optPointer + 18;
constexpr int optHttpHeader = optPointer + 23;
constexpr int optPost = optLong + 47;
constexpr int optPostFieldSize = optLong + 60;
constexpr int optTimeoutMs = optLong + 155;
constexpr int optConnectTimeoutMs = optLong + 156;

constexpr int infoResponseCode = 0x200000 + 2; // CURLINFO_LONG + 2

constexpr CurlCode curlOk = 0;
constexpr CurlCode curlUrlMalformat = 3;
constexpr CurlCode curlWriteError = 23;
constexpr CurlCode curlOutOfMemory = 27;
constexpr CurlCode curlBadFunctionArgument = 43;

// The error numbers whose kind is known; every other one is HttpFailure::Other.
constexpr std::array<HttpFailureNumber, 6> curlFailures = {{
    {28, HttpFailure::NoAnswer},  // CURLE_OPERATION_TIMEDOUT
    {6, HttpFailure::OutOfReach}, // CURLE_COULDNT_RESOLVE_HOST
    {7, HttpFailure::OutOfReach}, // CURLE_COULDNT_CONNECT
    {52, HttpFailure::Broken},    // CURLE_GOT_NOTHING: closed without an answer
    {55, HttpFailure::Broken},    // CURLE_SEND_ERROR
    {56, HttpFailure::Broken},    // CURLE_RECV_ERROR: a reset connection
}};

constexpr std::size_t errorSize = 256; // CURL_ERROR_SIZE

// --- what we look up ---

constexpr std::array<const char*, 2> libraryFiles = {"libcurl.so.4", "libcurl-gnutls.so.4"};

// In the order of the steps that need them; a missing one names its step.
constexpr std::array<HttpFunction, 9> curlFunctions = {{
    {"curl_global_init", HttpStep::OpenRoot},
    {"curl_easy_getinfo", HttpStep::ReadReply},
    {"curl_easy_strerror", HttpStep::LastResponse},
    {"curl_easy_init", HttpStep::OpenRequest},
    {"curl_easy_setopt", HttpStep::SendRequest},
    {"curl_slist_append", HttpStep::SendRequest},
    {"curl_easy_perform", HttpStep::SendRequest},
    {"curl_easy_cleanup", HttpStep::CloseHandle},
    {"curl_slist_free_all", HttpStep::CloseHandle},
}};

template <class F> F asFunction(void* address) {
    static_assert(sizeof(F) == sizeof(void*));
    F f;
    std::memcpy(&f, &address, sizeof f);
    return f;
}

// A host usable in a URL: no characters that would end the authority or add to it.
bool plausibleHost(const std::string& host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == ':' || c == '[' || c == ']' || c == '_';
    });
}

// The reply's body as it arrives, up to the limit; past it the transfer stops.
struct Reply {
    std::size_t limit;
    std::string body;
    bool full = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* reply = static_cast<Reply*>(user);
    const std::size_t n = size * count;
    const std::size_t room = reply->limit - reply->body.size();
    if (n > room) {
        reply->body.append(data, room);
        reply->full = true;
        return 0; // fewer than offered: libcurl ends the transfer
    }
    reply->body.append(data, n);
    return n;
}

} // namespace

struct CurlHttpClient::Functions {
    GlobalInitFn globalInit = nullptr;
    EasyGetinfoFn getinfo = nullptr;
    EasyStrerrorFn strerror = nullptr;
    EasyInitFn init = nullptr;
    EasySetoptFn setopt = nullptr;
    SlistAppendFn slistAppend = nullptr;
    EasyPerformFn perform = nullptr;
    EasyCleanupFn cleanup = nullptr;
    SlistFreeAllFn slistFreeAll = nullptr;
};

CurlHttpClient::CurlHttpClient(Machine& machine)
    : library_(machine, libraryFiles, curlFunctions), fn_(std::make_unique<Functions>()) {}

CurlHttpClient::~CurlHttpClient() = default;

HttpFailure CurlHttpClient::failureKind(int code) {
    return httpFailureOf(curlFailures, code);
}

HttpOutcome CurlHttpClient::failure(HttpStep step, int code, const char* detail) const {
    std::string text;
    if (detail != nullptr && detail[0] != '\0') {
        text = detail;
    } else if (const char* known = fn_->strerror(code)) {
        text = known;
    }
    return HttpOutcome::failed(step, failureKind(code), code, std::move(text));
}

HttpOutcome CurlHttpClient::post(const HttpRequest& r) {
    if (library_.state() != HttpLibrary::State::Complete) {
        if (auto missing = library_.bind()) {
            return *missing;
        }
        Functions& f = *fn_;
        f.globalInit = asFunction<GlobalInitFn>(library_.address(0));
        f.getinfo = asFunction<EasyGetinfoFn>(library_.address(1));
        f.strerror = asFunction<EasyStrerrorFn>(library_.address(2));
        f.init = asFunction<EasyInitFn>(library_.address(3));
        f.setopt = asFunction<EasySetoptFn>(library_.address(4));
        f.slistAppend = asFunction<SlistAppendFn>(library_.address(5));
        f.perform = asFunction<EasyPerformFn>(library_.address(6));
        f.cleanup = asFunction<EasyCleanupFn>(library_.address(7));
        f.slistFreeAll = asFunction<SlistFreeAllFn>(library_.address(8));
    }
    if (!globalReady_) {
        // Once for the run: the library stays loaded and initialised until the end.
        const CurlCode code = fn_->globalInit(globalAll);
        if (code != curlOk) {
            return failure(HttpStep::OpenRoot, code);
        }
        globalReady_ = true;
    }
    if (!plausibleHost(r.host) || r.port < 1 || r.port > 65535) {
        return failure(HttpStep::Connect, curlUrlMalformat, "Ogiltig v\xE4rd eller port");
    }
    // Without a request to send, the send fails on it: that failure is the one that stands.
    CurlEasy* e = r.object.empty() || r.object[0] != '/' ? nullptr : fn_->init();
    const std::string body = r.body(); // made whether or not the request could be opened
    if (e == nullptr) {
        return failure(HttpStep::SendRequest, curlBadFunctionArgument);
    }

    CurlSlist* headers = nullptr;
    std::array<char, errorSize> errorText{};
    Reply reply{r.replyLimit, {}};
    const std::string url = httpUrl(r.host, r.port, r.object);
    const HttpOutcome outcome = [&] {
        for (std::string_view rest = r.headers; !rest.empty();) {
            const std::size_t end = rest.find("\r\n");
            const std::string line(rest.substr(0, end));
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
            if (line.empty()) {
                continue;
            }
            CurlSlist* list = fn_->slistAppend(headers, line.c_str());
            if (list == nullptr) {
                return failure(HttpStep::SendRequest, curlOutOfMemory);
            }
            headers = list;
        }
        const CurlCode codes[] = {
            fn_->setopt(e, optErrorBuffer, errorText.data()),
            fn_->setopt(e, optUrl, url.c_str()),
            fn_->setopt(e, optUserAgent, r.agent.c_str()),
            fn_->setopt(e, optConnectTimeoutMs, static_cast<long>(r.timeouts.connect)),
            fn_->setopt(e, optTimeoutMs, static_cast<long>(r.timeouts.exchange)),
            fn_->setopt(e, optWriteFunction, &collect),
            fn_->setopt(e, optWriteData, static_cast<void*>(&reply)),
            fn_->setopt(e, optHttpHeader, headers),
            fn_->setopt(e, optPost, 1L),
            fn_->setopt(e, optPostFieldSize, static_cast<long>(body.size())),
            fn_->setopt(e, optPostFields, body.data()),
        };
        for (CurlCode code : codes) {
            if (code != curlOk) {
                return failure(HttpStep::SendRequest, code);
            }
        }
        CurlCode code = fn_->perform(e);
        if (code == curlWriteError && reply.full) {
            code = curlOk; // we stopped it ourselves, at the end of what we keep
        }
        if (code != curlOk) {
            return failure(HttpStep::SendRequest, code, errorText.data());
        }
        long status = 0;
        if (fn_->getinfo(e, infoResponseCode, &status) != curlOk) {
            status = 0;
        }
        return HttpOutcome::replied(static_cast<int>(status), std::move(reply.body));
    }();
    fn_->cleanup(e);
    if (headers != nullptr) {
        fn_->slistFreeAll(headers);
    }
    return outcome;
}
