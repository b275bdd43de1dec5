// libcurl behind the HTTP steps; see curl_http.h. The libcurl declarations below are our
// own, made from its documented interface: the functions we look up with their C types,
// and the numbers of the options, the information item and the error codes we use.
#include "platform/curl/curl_http.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

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
constexpr int optHttpGet = optLong + 80;
constexpr int optTimeoutMs = optLong + 155;
constexpr int optConnectTimeoutMs = optLong + 156;

constexpr int infoResponseCode = 0x200000 + 2; // CURLINFO_LONG + 2

constexpr CurlCode curlOk = 0;
constexpr CurlCode curlFailedInit = 2;
constexpr CurlCode curlUrlMalformat = 3;
constexpr CurlCode curlWriteError = 23;
constexpr CurlCode curlOutOfMemory = 27;
constexpr CurlCode curlBadFunctionArgument = 43;

constexpr std::size_t errorSize = 256; // CURL_ERROR_SIZE

// --- what we look up ---

constexpr std::array<const char*, 2> libraryFiles = {"libcurl.so.4", "libcurl-gnutls.so.4"};

// In the order of the steps that need them; the binding names the step of a missing one.
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

// A host name goes into the URL as it is; an IPv6 address in brackets.
std::string urlHost(const std::string& host) {
    if (host.find(':') != std::string::npos && host.front() != '[') {
        return "[" + host + "]";
    }
    return host;
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

struct CurlHttpClient::Node {
    virtual ~Node() = default;
};

namespace {

struct Root : CurlHttpClient::Node {
    std::string agent;
    HttpTimeouts timeouts;
};

struct Connection : CurlHttpClient::Node {
    std::string agent;
    HttpTimeouts timeouts;
    std::string host;
    int port = 80;
};

struct Request : CurlHttpClient::Node {
    CurlEasy* easy = nullptr;
    CurlSlist* headers = nullptr;
    std::string agent;
    HttpTimeouts timeouts;
    std::string url;
    bool post = false;
    std::string body;
    bool sent = false;
    bool full = false;
    long status = 0;
    std::string reply;
    std::size_t readOffset = 0;
    std::array<char, errorSize> errorText{};
};

// Collects the reply's body; past the limit it stops the transfer.
std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* request = static_cast<Request*>(user);
    const std::size_t n = size * count;
    const std::size_t room = CurlHttpClient::replyLimit - request->reply.size();
    if (n > room) {
        request->reply.append(data, room);
        request->full = true;
        return 0; // fewer than offered: libcurl ends the transfer
    }
    request->reply.append(data, n);
    return n;
}

} // namespace

CurlHttpClient::CurlHttpClient() : fn_(std::make_unique<Functions>()) {}

CurlHttpClient::~CurlHttpClient() {
    while (!live_.empty()) {
        closeHandle(*live_.begin());
    }
}

std::span<const char* const> CurlHttpClient::libraryNames() const {
    return libraryFiles;
}

std::span<const HttpFunction> CurlHttpClient::functions() const {
    return curlFunctions;
}

void CurlHttpClient::bind(std::span<void* const> a) {
    if (a.size() != curlFunctions.size()) {
        return;
    }
    fn_->globalInit = asFunction<GlobalInitFn>(a[0]);
    fn_->getinfo = asFunction<EasyGetinfoFn>(a[1]);
    fn_->strerror = asFunction<EasyStrerrorFn>(a[2]);
    fn_->init = asFunction<EasyInitFn>(a[3]);
    fn_->setopt = asFunction<EasySetoptFn>(a[4]);
    fn_->slistAppend = asFunction<SlistAppendFn>(a[5]);
    fn_->perform = asFunction<EasyPerformFn>(a[6]);
    fn_->cleanup = asFunction<EasyCleanupFn>(a[7]);
    fn_->slistFreeAll = asFunction<SlistFreeAllFn>(a[8]);
}

template <class T> T* CurlHttpClient::live(Handle handle) const {
    auto* node = static_cast<Node*>(handle);
    if (node == nullptr || live_.count(node) == 0) {
        return nullptr;
    }
    return dynamic_cast<T*>(node);
}

void CurlHttpClient::fail(int code, const char* detail) {
    lastError_ = code;
    if (detail != nullptr && detail[0] != '\0') {
        lastText_ = detail;
    } else if (fn_->strerror != nullptr) {
        const char* text = fn_->strerror(code);
        lastText_ = text != nullptr ? text : "";
    } else {
        lastText_.clear();
    }
}

HttpClient::Handle CurlHttpClient::openRoot(const char* agent, const HttpTimeouts& timeouts) {
    if (fn_->globalInit == nullptr) {
        fail(curlFailedInit);
        return nullptr;
    }
    if (!globalReady_) {
        // Once for the run: the library stays loaded and initialised until the end.
        const CurlCode code = fn_->globalInit(globalAll);
        if (code != curlOk) {
            fail(code);
            return nullptr;
        }
        globalReady_ = true;
    }
    auto* root = new Root;
    root->agent = agent != nullptr ? agent : "";
    root->timeouts = timeouts;
    live_.insert(root);
    return root;
}

HttpClient::Handle CurlHttpClient::connect(Handle rootHandle, const std::string& host, int port) {
    Root* root = live<Root>(rootHandle);
    if (root == nullptr) {
        fail(curlBadFunctionArgument);
        return nullptr;
    }
    if (!plausibleHost(host) || port < 1 || port > 65535) {
        fail(curlUrlMalformat, "Ogiltig v\xE4rd eller port");
        return nullptr;
    }
    auto* connection = new Connection;
    connection->agent = root->agent;
    connection->timeouts = root->timeouts;
    connection->host = host;
    connection->port = port;
    live_.insert(connection);
    return connection;
}

HttpClient::Handle CurlHttpClient::openRequest(Handle connectionHandle, const char* verb,
                                               const char* object) {
    Connection* connection = live<Connection>(connectionHandle);
    const std::string method = verb != nullptr ? verb : "GET";
    if (connection == nullptr || object == nullptr || object[0] != '/' ||
        (method != "POST" && method != "GET")) {
        fail(curlBadFunctionArgument);
        return nullptr;
    }
    CurlEasy* easy = fn_->init != nullptr ? fn_->init() : nullptr;
    if (easy == nullptr) {
        fail(curlFailedInit);
        return nullptr;
    }
    auto* request = new Request;
    request->easy = easy;
    request->agent = connection->agent;
    request->timeouts = connection->timeouts;
    request->post = method == "POST";
    request->url = "http://" + urlHost(connection->host);
    if (connection->port != 80) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on ":" + a temporary.
        request->url += ':';
        request->url += std::to_string(connection->port);
    }
    request->url += object;
    live_.insert(request);
    return request;
}

bool CurlHttpClient::sendRequest(Handle handle, std::string_view headers, std::string_view body) {
    Request* request = live<Request>(handle);
    if (request == nullptr) {
        fail(curlBadFunctionArgument);
        return false;
    }
    request->sent = false;
    request->full = false;
    request->status = 0;
    request->reply.clear();
    request->readOffset = 0;
    request->errorText.fill('\0');
    request->body.assign(body);

    if (request->headers != nullptr) {
        fn_->slistFreeAll(request->headers);
        request->headers = nullptr;
    }
    while (!headers.empty()) {
        const std::size_t end = headers.find("\r\n");
        const std::string line(headers.substr(0, end));
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 2);
        if (line.empty()) {
            continue;
        }
        CurlSlist* list = fn_->slistAppend(request->headers, line.c_str());
        if (list == nullptr) {
            fail(curlOutOfMemory);
            return false;
        }
        request->headers = list;
    }

    CurlEasy* e = request->easy;
    const CurlCode codes[] = {
        fn_->setopt(e, optErrorBuffer, request->errorText.data()),
        fn_->setopt(e, optUrl, request->url.c_str()),
        fn_->setopt(e, optUserAgent, request->agent.c_str()),
        fn_->setopt(e, optConnectTimeoutMs, static_cast<long>(request->timeouts.connect)),
        fn_->setopt(e, optTimeoutMs, static_cast<long>(request->timeouts.exchange)),
        fn_->setopt(e, optWriteFunction, &collect),
        fn_->setopt(e, optWriteData, static_cast<void*>(request)),
        fn_->setopt(e, optHttpHeader, request->headers),
        request->post ? fn_->setopt(e, optPost, 1L) : fn_->setopt(e, optHttpGet, 1L),
        request->post ? fn_->setopt(e, optPostFieldSize, static_cast<long>(request->body.size()))
                      : curlOk,
        request->post ? fn_->setopt(e, optPostFields, request->body.data()) : curlOk,
    };
    for (CurlCode code : codes) {
        if (code != curlOk) {
            fail(code);
            return false;
        }
    }

    CurlCode code = fn_->perform(e);
    if (code == curlWriteError && request->full) {
        code = curlOk; // we stopped it ourselves, at the end of what we keep
    }
    if (code != curlOk) {
        fail(code, request->errorText.data());
        return false;
    }
    long status = 0;
    if (fn_->getinfo(e, infoResponseCode, &status) == curlOk) {
        request->status = status;
    }
    request->sent = true;
    return true;
}

bool CurlHttpClient::readReply(Handle handle, char* buffer, std::size_t capacity,
                               std::size_t& bytesRead) {
    bytesRead = 0;
    Request* request = live<Request>(handle);
    if (request == nullptr || buffer == nullptr) {
        fail(curlBadFunctionArgument);
        return false;
    }
    if (!request->sent) {
        return false; // the failed send has left its own error
    }
    const std::size_t n = std::min(capacity, request->reply.size() - request->readOffset);
    std::memcpy(buffer, request->reply.data() + request->readOffset, n);
    request->readOffset += n;
    bytesRead = n;
    return true;
}

int CurlHttpClient::replyStatus(Handle handle) {
    Request* request = live<Request>(handle);
    return request != nullptr && request->sent ? static_cast<int>(request->status) : 0;
}

void CurlHttpClient::lastResponse(std::int32_t& error, std::string& text) {
    error = lastError_;
    text = lastText_;
}

void CurlHttpClient::closeHandle(Handle handle) {
    auto* node = static_cast<Node*>(handle);
    if (node == nullptr || live_.erase(node) == 0) {
        fail(curlBadFunctionArgument);
        return;
    }
    if (auto* request = dynamic_cast<Request*>(node)) {
        if (request->easy != nullptr && fn_->cleanup != nullptr) {
            fn_->cleanup(request->easy);
        }
        if (request->headers != nullptr && fn_->slistFreeAll != nullptr) {
            fn_->slistFreeAll(request->headers);
        }
    }
    delete node;
}

#if !defined(_WIN32)
HttpClient& systemHttpClient() {
    static CurlHttpClient client;
    return client;
}
#endif
