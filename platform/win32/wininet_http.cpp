// WinInet behind the HTTP steps. The library is loaded by name ("WinINet") and its
// functions looked up by the caller; this file only knows their C types. Two more functions
// are used when the library has them and are not required: InternetSetOptionA bounds the
// connection and the exchange with WinInet's timeout options, and HttpQueryInfoA reads the
// reply's HTTP status.
#include "platform/http_client.h"

#include <windows.h>

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

constexpr std::array<HttpFunction, httpStepCount> wininetFunctions = {{
    {"InternetOpenA", HttpStep::OpenRoot},
    {"InternetConnectA", HttpStep::Connect},
    {"InternetReadFile", HttpStep::ReadReply},
    {"InternetGetLastResponseInfoA", HttpStep::LastResponse},
    {"HttpOpenRequestA", HttpStep::OpenRequest},
    {"HttpSendRequestA", HttpStep::SendRequest},
    {"InternetCloseHandle", HttpStep::CloseHandle},
}};

class WinInetHttpClient : public HttpClient {
  public:
    std::span<const char* const> libraryNames() const override { return libraryFiles; }
    std::span<const HttpFunction> functions() const override { return wininetFunctions; }

    void bind(std::span<void* const> a) override {
        if (a.size() != wininetFunctions.size()) {
            return;
        }
        open_ = reinterpret_cast<InternetOpenFn>(a[0]);
        connect_ = reinterpret_cast<InternetConnectFn>(a[1]);
        read_ = reinterpret_cast<InternetReadFileFn>(a[2]);
        lastInfo_ = reinterpret_cast<LastResponseInfoFn>(a[3]);
        openRequest_ = reinterpret_cast<HttpOpenRequestFn>(a[4]);
        send_ = reinterpret_cast<HttpSendRequestFn>(a[5]);
        close_ = reinterpret_cast<InternetCloseHandleFn>(a[6]);
        // The optional two, from the library the caller loaded.
        if (HMODULE library = GetModuleHandleA("wininet.dll")) {
            setOption_ = reinterpret_cast<InternetSetOptionFn>(
                reinterpret_cast<void*>(GetProcAddress(library, "InternetSetOptionA")));
            queryInfo_ = reinterpret_cast<HttpQueryInfoFn>(
                reinterpret_cast<void*>(GetProcAddress(library, "HttpQueryInfoA")));
        }
    }

    Handle openRoot(const char* agent, const HttpTimeouts& timeouts) override {
        if (open_ == nullptr) {
            return fail();
        }
        Handle root = open_(agent, openTypePreconfig, nullptr, nullptr, 0);
        if (root == nullptr) {
            return fail();
        }
        if (setOption_ != nullptr) {
            DWORD connect = timeouts.connect, exchange = timeouts.exchange;
            setOption_(root, optionConnectTimeout, &connect, sizeof connect);
            setOption_(root, optionSendTimeout, &exchange, sizeof exchange);
            setOption_(root, optionReceiveTimeout, &exchange, sizeof exchange);
        }
        return root;
    }

    Handle connect(Handle root, const std::string& host, int port) override {
        if (connect_ == nullptr || root == nullptr) {
            return fail();
        }
        Handle connection =
            connect_(root, host.c_str(), static_cast<WORD>(port), "", "", serviceHttp, 0, 0);
        return connection == nullptr ? fail() : connection;
    }

    Handle openRequest(Handle connection, const char* verb, const char* object) override {
        if (openRequest_ == nullptr || connection == nullptr) {
            return fail();
        }
        Handle request = openRequest_(connection, verb, object, nullptr, nullptr, nullptr, 0, 0);
        return request == nullptr ? fail() : request;
    }

    bool sendRequest(Handle request, std::string_view headers, std::string_view body) override {
        if (send_ == nullptr || request == nullptr) {
            fail();
            return false;
        }
        std::string headerText(headers), bodyText(body);
        if (send_(request, headerText.c_str(), static_cast<DWORD>(headerText.size()),
                  bodyText.data(), static_cast<DWORD>(bodyText.size())) != TRUE) {
            fail();
            return false;
        }
        return true;
    }

    bool readReply(Handle request, char* buffer, std::size_t capacity,
                   std::size_t& bytesRead) override {
        bytesRead = 0;
        if (read_ == nullptr || request == nullptr) {
            fail();
            return false;
        }
        // The reply up to `capacity` bytes: WinInet may hand it over in pieces.
        while (bytesRead < capacity) {
            DWORD got = 0;
            if (read_(request, buffer + bytesRead, static_cast<DWORD>(capacity - bytesRead),
                      &got) != TRUE) {
                fail();
                return false;
            }
            if (got == 0) {
                break;
            }
            bytesRead += got;
        }
        return true;
    }

    int replyStatus(Handle request) override {
        if (request == nullptr) {
            return 0;
        }
        if (queryInfo_ == nullptr) {
            return 200; // without the query the status cannot be told: take the reply as it is
        }
        DWORD status = 0, size = sizeof status;
        if (!queryInfo_(request, queryStatusCode | queryFlagNumber, &status, &size, nullptr)) {
            return 0;
        }
        return static_cast<int>(status);
    }

    void lastResponse(std::int32_t& error, std::string& text) override {
        DWORD number = 0;
        char info[8192] = {};
        DWORD size = sizeof info;
        if (lastInfo_ != nullptr && lastInfo_(&number, info, &size)) {
            text.assign(info, std::strlen(info));
        } else {
            text.clear();
        }
        // The library's last-response number is often 0 for a step that failed before any
        // server answered; the failing step's own error number tells more.
        error = static_cast<std::int32_t>(number != 0 ? number : lastError_);
        if (text.empty() && lastError_ != 0) {
            text = "WinInet error " + std::to_string(lastError_);
        }
    }

    void closeHandle(Handle handle) override {
        if (close_ != nullptr && handle != nullptr) {
            close_(handle);
        }
    }

  private:
    Handle fail() {
        lastError_ = GetLastError();
        return nullptr;
    }

    InternetOpenFn open_ = nullptr;
    InternetConnectFn connect_ = nullptr;
    InternetReadFileFn read_ = nullptr;
    LastResponseInfoFn lastInfo_ = nullptr;
    HttpOpenRequestFn openRequest_ = nullptr;
    HttpSendRequestFn send_ = nullptr;
    InternetCloseHandleFn close_ = nullptr;
    InternetSetOptionFn setOption_ = nullptr;
    HttpQueryInfoFn queryInfo_ = nullptr;
    DWORD lastError_ = 0;
};

} // namespace

HttpClient& systemHttpClient() {
    static WinInetHttpClient client;
    return client;
}
