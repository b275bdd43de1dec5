// WinInet behind the HTTP seam; see wininet_http.h. Two more functions are used when the
// library has them and are not required: InternetSetOptionA bounds the connection and the
// exchange with WinInet's timeout options, and HttpQueryInfoA reads the reply's status.
#include "platform/win32/wininet_http.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <optional>

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

// After the deadline, how long a call may still take before its handle is closed.
constexpr DWORD cancelGraceMs = 1000;
constexpr std::int32_t errorInternetTimeout = 12002; // ERROR_INTERNET_TIMEOUT

} // namespace

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

namespace {

// The bound on the whole exchange. WinInet bounds each send and each receive on its own, so
// a server that trickles its answer byte by byte could hold the exchange for as long as it
// likes. This watch, on a thread of its own, turns the request's bounds down to the least
// at the deadline, so that where WinInet applies them to the connection under way the next
// receive ends as a late answer does (with WinInet's own number for it). Should the
// exchange still go on a moment later (Wine's WinInet keeps the bounds it connected with),
// it closes the request's handle, which cancels the call that waits on it, and the attempt
// reads as WinInet's timeout.
class ExchangeWatch {
  public:
    ExchangeWatch(const WinInetHttpClient::Functions& f, HINTERNET_ request, DWORD bound)
        : f_(f), request_(request), bound_(bound),
          done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        if (done_ != nullptr) {
            thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
        }
    }
    ~ExchangeWatch() { finish(); }
    ExchangeWatch(const ExchangeWatch&) = delete;
    ExchangeWatch& operator=(const ExchangeWatch&) = delete;

    // Ends the watch; true when it had to close the request's handle.
    bool finish() {
        if (thread_ != nullptr) {
            SetEvent(done_);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
        if (done_ != nullptr) {
            CloseHandle(done_);
            done_ = nullptr;
        }
        return closed_;
    }

  private:
    static DWORD WINAPI run(void* self) {
        auto& w = *static_cast<ExchangeWatch*>(self);
        if (WaitForSingleObject(w.done_, w.bound_) != WAIT_TIMEOUT) {
            return 0;
        }
        if (w.f_.setOption != nullptr) {
            DWORD least = 1; // 0 would mean no bound at all
            w.f_.setOption(w.request_, optionSendTimeout, &least, sizeof least);
            w.f_.setOption(w.request_, optionReceiveTimeout, &least, sizeof least);
            if (WaitForSingleObject(w.done_, cancelGraceMs) != WAIT_TIMEOUT) {
                return 0;
            }
        }
        w.closed_ = true;
        w.f_.close(w.request_);
        return 0;
    }

    const WinInetHttpClient::Functions& f_;
    HINTERNET_ request_;
    DWORD bound_;
    HANDLE done_;
    HANDLE thread_ = nullptr;
    bool closed_ = false;
};

} // namespace

WinInetHttpClient::WinInetHttpClient()
    : library_(libraryFiles, wininetFunctions), fn_(std::make_unique<Functions>()) {}

WinInetHttpClient::~WinInetHttpClient() = default;

// Windows hands the root handle's time bounds down to the request; some WinInet versions
// (Wine's) read them from the request handle only, so it is given them too.
void WinInetHttpClient::bound(void* handle, const HttpTimeouts& timeouts) const {
    if (fn_->setOption == nullptr) {
        return;
    }
    DWORD connect = timeouts.connect, exchange = timeouts.exchange;
    fn_->setOption(handle, optionConnectTimeout, &connect, sizeof connect);
    fn_->setOption(handle, optionSendTimeout, &exchange, sizeof exchange);
    fn_->setOption(handle, optionReceiveTimeout, &exchange, sizeof exchange);
}

// Called right after the step failed, before anything else can change the thread's error.
HttpOutcome WinInetHttpClient::failure(HttpStep step) const {
    const DWORD stepError = GetLastError();
    DWORD number = 0;
    char info[8192] = {};
    DWORD size = sizeof info;
    std::string text;
    if (fn_->lastInfo(&number, info, &size)) {
        text.assign(info, strnlen(info, sizeof info));
    }
    // The last-response number is often 0 for a step that failed before any server
    // answered; the failing step's own error number tells more.
    const DWORD error = number != 0 ? number : stepError;
    if (text.empty() && stepError != 0) {
        text = "WinInet error " + std::to_string(stepError);
    }
    return HttpOutcome::failed(step, static_cast<std::int32_t>(error), std::move(text));
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

    HttpOutcome outcome;
    std::string body;
    std::optional<ExchangeWatch> watch;
    HINTERNET_ request =
        f.openRequest(connection, "POST", r.object.c_str(), nullptr, nullptr, nullptr, 0, 0);
    bool sent = false;
    if (request == nullptr) {
        // Recorded, and the send below fails on the missing request in turn: its failure is
        // the one that stands.
        outcome = failure(HttpStep::OpenRequest);
        (void)r.body(); // the body is made all the same, as the attempt goes on
        outcome = failure(HttpStep::SendRequest);
    } else {
        bound(request, r.timeouts);
        body = r.body();
        // From here to the last byte of the reply, within the exchange's bound.
        watch.emplace(f, request, static_cast<DWORD>(r.timeouts.exchange));
        sent = f.send(request, r.headers.c_str(), static_cast<DWORD>(r.headers.size()), body.data(),
                      static_cast<DWORD>(body.size())) == TRUE;
        if (!sent) {
            outcome = failure(HttpStep::SendRequest);
        }
    }
    if (sent) {
        // The reply up to the limit: WinInet may hand it over in pieces.
        std::string reply(r.replyLimit, '\0');
        std::size_t got = 0;
        bool read = true;
        while (got < reply.size()) {
            DWORD n = 0;
            if (f.read(request, reply.data() + got, static_cast<DWORD>(reply.size() - got), &n) !=
                TRUE) {
                read = false;
                break;
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
        if (!read) {
            outcome = failure(HttpStep::ReadReply);
        } else if (!(watch && watch->finish())) {
            reply.resize(got);
            // Without the query the status cannot be told: the reply is taken as it is.
            DWORD status = 200, size = sizeof status;
            if (f.queryInfo != nullptr &&
                !f.queryInfo(request, queryStatusCode | queryFlagNumber, &status, &size, nullptr)) {
                status = 0;
            }
            outcome = HttpOutcome::replied(static_cast<int>(status), std::move(reply));
        }
    }
    // A watch that had to close the request's handle cut the exchange off at its bound,
    // whatever the call that waited on the handle said then; the handle is not closed again.
    if (watch && watch->finish()) {
        outcome = HttpOutcome::failed(sent ? HttpStep::ReadReply : HttpStep::SendRequest,
                                      errorInternetTimeout,
                                      "WinInet error " + std::to_string(errorInternetTimeout));
    } else if (request != nullptr) {
        f.close(request);
    }
    f.close(connection);
    f.close(root);
    return outcome;
}
