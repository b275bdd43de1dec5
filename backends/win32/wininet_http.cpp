// WinInet behind the HTTP seam; see wininet_http.h. Two more functions are used when the
// library has them and are not required: InternetSetOptionA bounds the connection and the
// exchange with WinInet's timeout options, and HttpQueryInfoA reads the reply's status.
#include "backends/win32/wininet_http.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using HINTERNET_ = void*;
using InternetOpenFn = HINTERNET_(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using InternetConnectFn = HINTERNET_(WINAPI*)(HINTERNET_, LPCSTR, WORD, LPCSTR, LPCSTR, DWORD,
                                              DWORD, DWORD_PTR);
using InternetReadFileFn = BOOL(WINAPI*)(HINTERNET_, LPVOID, DWORD, LPDWORD);
using LastResponseInfoFn = BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD);
using HttpOpenRequestFn = HINTERNET_(WINAPI*)(HINTERNET_, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*,
                                              DWORD, DWORD_PTR);
using HttpSendRequestFn = BOOL(WINAPI*)(HINTERNET_, LPCSTR, DWORD, LPVOID, DWORD);
using InternetCloseHandleFn = BOOL(WINAPI*)(HINTERNET_);
using InternetSetOptionFn = BOOL(WINAPI*)(HINTERNET_, DWORD, LPVOID, DWORD);
using HttpQueryInfoFn = BOOL(WINAPI*)(HINTERNET_, DWORD, LPVOID, LPDWORD, LPDWORD);

constexpr DWORD openTypePreconfig = 0;        // INTERNET_OPEN_TYPE_PRECONFIG
constexpr DWORD serviceHttp = 3;              // INTERNET_SERVICE_HTTP
constexpr DWORD optionConnectTimeout = 2;     // INTERNET_OPTION_CONNECT_TIMEOUT
constexpr DWORD optionSendTimeout = 5;        // INTERNET_OPTION_SEND_TIMEOUT
constexpr DWORD optionReceiveTimeout = 6;     // INTERNET_OPTION_RECEIVE_TIMEOUT
constexpr DWORD queryStatusCode = 19;         // HTTP_QUERY_STATUS_CODE
constexpr DWORD queryFlagNumber = 0x20000000; // HTTP_QUERY_FLAG_NUMBER

constexpr std::array<const char*, 1> libraryFiles = {"WinINet"};

// Each step's function, looked up in the order of the steps.
constexpr std::array<HttpFunction, httpStepCount> wininetFunctions = [] {
    std::array<HttpFunction, httpStepCount> functions{};
    for (int i = 0; i < httpStepCount; ++i) {
        functions[static_cast<std::size_t>(i)] = {httpStepNames[static_cast<std::size_t>(i)],
                                                  static_cast<HttpStep>(i)};
    }
    return functions;
}();

template <class F> F asFunction(void* address) {
    return reinterpret_cast<F>(address);
}

constexpr std::int32_t errorInternetTimeout = 12002; // ERROR_INTERNET_TIMEOUT

// The error numbers whose kind is known; every other one is HttpFailure::Other.
constexpr std::array<HttpFailureNumber, 5> wininetFailures = {{
    {errorInternetTimeout, HttpFailure::NoAnswer},
    {12007, HttpFailure::OutOfReach}, // ERROR_INTERNET_NAME_NOT_RESOLVED
    {12029, HttpFailure::OutOfReach}, // ERROR_INTERNET_CANNOT_CONNECT
    {12030, HttpFailure::Broken},     // ERROR_INTERNET_CONNECTION_ABORTED
    {12031, HttpFailure::Broken},     // ERROR_INTERNET_CONNECTION_RESET
}};

} // namespace

HttpFailure WinInetHttpClient::failureKind(std::int32_t error) {
    return httpFailureOf(wininetFailures, error);
}

struct WinInetHttpClient::Functions {
    InternetOpenFn open = nullptr;
    InternetConnectFn connect = nullptr;
    InternetReadFileFn read = nullptr;
    LastResponseInfoFn lastInfo = nullptr;
    HttpOpenRequestFn openRequest = nullptr;
    HttpSendRequestFn send = nullptr;
    InternetCloseHandleFn close = nullptr;
    InternetSetOptionFn setOption = nullptr;
    HttpQueryInfoFn queryInfo = nullptr;
};

WinInetHttpClient::WinInetHttpClient(Machine& machine)
    : library_(machine, libraryFiles, wininetFunctions), fn_(std::make_unique<Functions>()) {}

WinInetHttpClient::~WinInetHttpClient() = default;

// Windows hands the root handle's time bounds down to the request; some WinInet versions
// (Wine's) read them from the request handle only, so it is given them too.
void WinInetHttpClient::bound(void* handle, const HttpTimeouts& timeouts) const {
    if (fn_->setOption == nullptr) {
        return;
    }
    // Each send and receive a little inside the whole exchange's bound, so that a server
    // that stays silent ends the way WinInet reports it (its own number for a late answer)
    // before the exchange's bound cuts the attempt off.
    DWORD connect = timeouts.connect;
    DWORD exchange = timeouts.exchange - std::min<Millis>(timeouts.exchange / 5, 2000);
    fn_->setOption(handle, optionConnectTimeout, &connect, sizeof connect);
    fn_->setOption(handle, optionSendTimeout, &exchange, sizeof exchange);
    fn_->setOption(handle, optionReceiveTimeout, &exchange, sizeof exchange);
}

// Called right after the step failed, before anything else can change the thread's error.
namespace {

HttpOutcome failureOf(const WinInetHttpClient::Functions& f, HttpStep step) {
    const DWORD stepError = GetLastError();
    DWORD number = 0;
    char info[8192] = {};
    DWORD size = sizeof info;
    std::string text;
    if (f.lastInfo(&number, info, &size)) {
        text.assign(info, strnlen(info, sizeof info));
    }
    // The last-response number is often 0 for a step that failed before any server
    // answered; the failing step's own error number tells more.
    const DWORD error = number != 0 ? number : stepError;
    if (text.empty() && stepError != 0) {
        text = "WinInet error " + std::to_string(stepError);
    }
    const auto code = static_cast<std::int32_t>(error);
    return HttpOutcome::failed(step, WinInetHttpClient::failureKind(code), code, std::move(text));
}

// The send and the read of one exchange, on a thread of their own, so that the attempt can
// end at the whole exchange's bound. WinInet bounds each send and each receive on its own:
// a server that trickles its answer byte by byte keeps every call within its bound while
// holding the exchange for as long as it likes, and a call under way cannot be cut short
// everywhere (Wine's WinInet finishes it even when its handle is closed). At the bound the
// attempt goes on without the exchange, which ends by itself later, when the server or
// WinInet's own bounds end it. So the exchange owns everything it uses: the functions, its
// handles (it closes them), the body and the reply, and the last of its two owners frees it.
struct Exchange {
    WinInetHttpClient::Functions f;
    HINTERNET_ root = nullptr, connection = nullptr, request = nullptr;
    std::string headers, body;
    std::size_t replyLimit = 0;
    HttpOutcome outcome;
    volatile LONG sent = 0; // set once the send is done and the reply is being read
    volatile LONG owners = 2;
};

void release(Exchange* x) {
    if (InterlockedDecrement(&x->owners) == 0) {
        delete x;
    }
}

void sendAndRead(Exchange& x) {
    const WinInetHttpClient::Functions& f = x.f;
    if (f.send(x.request, x.headers.c_str(), static_cast<DWORD>(x.headers.size()), x.body.data(),
               static_cast<DWORD>(x.body.size())) != TRUE) {
        x.outcome = failureOf(f, HttpStep::SendRequest);
        return;
    }
    InterlockedExchange(&x.sent, 1);
    // The reply up to the limit: WinInet may hand it over in pieces.
    std::string reply(x.replyLimit, '\0');
    std::size_t got = 0;
    while (got < reply.size()) {
        DWORD n = 0;
        if (f.read(x.request, reply.data() + got, static_cast<DWORD>(reply.size() - got), &n) !=
            TRUE) {
            x.outcome = failureOf(f, HttpStep::ReadReply);
            return;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    reply.resize(got);
    // Without the query the status cannot be told: the reply is taken as it is.
    DWORD status = 200, size = sizeof status;
    if (f.queryInfo != nullptr &&
        !f.queryInfo(x.request, queryStatusCode | queryFlagNumber, &status, &size, nullptr)) {
        status = 0;
    }
    x.outcome = HttpOutcome::replied(static_cast<int>(status), std::move(reply));
}

DWORD WINAPI runExchange(void* exchange) {
    auto* x = static_cast<Exchange*>(exchange);
    sendAndRead(*x);
    x->f.close(x->request);
    x->f.close(x->connection);
    x->f.close(x->root);
    release(x);
    return 0;
}

} // namespace

HttpOutcome WinInetHttpClient::failure(HttpStep step) const {
    return failureOf(*fn_, step);
}

HttpOutcome WinInetHttpClient::post(const HttpRequest& r) {
    if (library_.state() != HttpLibrary::State::Complete) {
        if (auto missing = library_.bind()) {
            return *missing;
        }
        Functions& f = *fn_;
        f.open = asFunction<InternetOpenFn>(library_.address(0));
        f.connect = asFunction<InternetConnectFn>(library_.address(1));
        f.read = asFunction<InternetReadFileFn>(library_.address(2));
        f.lastInfo = asFunction<LastResponseInfoFn>(library_.address(3));
        f.openRequest = asFunction<HttpOpenRequestFn>(library_.address(4));
        f.send = asFunction<HttpSendRequestFn>(library_.address(5));
        f.close = asFunction<InternetCloseHandleFn>(library_.address(6));
        // The optional two, from the library that was loaded.
        if (HMODULE library = GetModuleHandleA("wininet.dll")) {
            f.setOption = asFunction<InternetSetOptionFn>(
                reinterpret_cast<void*>(GetProcAddress(library, "InternetSetOptionA")));
            f.queryInfo = asFunction<HttpQueryInfoFn>(
                reinterpret_cast<void*>(GetProcAddress(library, "HttpQueryInfoA")));
        }
    }
    const Functions& f = *fn_;

    HINTERNET_ root = f.open(r.agent.c_str(), openTypePreconfig, nullptr, nullptr, 0);
    if (root == nullptr) {
        return failure(HttpStep::OpenRoot);
    }
    bound(root, r.timeouts);
    HINTERNET_ connection =
        f.connect(root, r.host.c_str(), static_cast<WORD>(r.port), "", "", serviceHttp, 0, 0);
    if (connection == nullptr) {
        HttpOutcome outcome = failure(HttpStep::Connect);
        f.close(root); // no handle outlives a failed attempt
        return outcome;
    }

    HINTERNET_ request =
        f.openRequest(connection, "POST", r.object.c_str(), nullptr, nullptr, nullptr, 0, 0);
    if (request == nullptr) {
        // Recorded, and the send fails on the missing request in turn: its failure is the
        // one that stands.
        HttpOutcome outcome = failure(HttpStep::OpenRequest);
        (void)r.body(); // the body is made all the same, as the attempt goes on
        outcome = failure(HttpStep::SendRequest);
        f.close(connection);
        f.close(root);
        return outcome;
    }
    bound(request, r.timeouts);
    auto* x = new Exchange{f, root, connection, request, r.headers, r.body(), r.replyLimit, {}};
    // From the start of the send to the last byte of the reply, within the exchange's bound.
    HANDLE thread = CreateThread(nullptr, 0, runExchange, x, 0, nullptr);
    if (thread == nullptr) {
        runExchange(x); // here, then, without a bound of its own beyond WinInet's
    } else {
        const bool done = WaitForSingleObject(thread, r.timeouts.exchange) == WAIT_OBJECT_0;
        CloseHandle(thread);
        if (!done) {
            const bool sent = InterlockedCompareExchange(&x->sent, 0, 0) != 0;
            release(x);
            return HttpOutcome::failed(sent ? HttpStep::ReadReply : HttpStep::SendRequest,
                                       failureKind(errorInternetTimeout), errorInternetTimeout,
                                       "WinInet error " + std::to_string(errorInternetTimeout));
        }
    }
    HttpOutcome outcome = std::move(x->outcome);
    release(x);
    return outcome;
}
