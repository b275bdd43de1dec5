// An HTTP client for tests that talks to no network: its steps succeed or fail as the test
// says, the reply is whatever the test put there, and it logs what it was asked to do and
// which handles are still open. Its library is a fake one that a HeadlessPlatform serves.
#pragma once

#include "platform/headless/headless.h"
#include "platform/http_client.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

class FakeHttpClient : public HttpClient {
  public:
    static constexpr const char* libraryName = "fakeinet";

    // The library's functions: the Windows names, one per step.
    std::vector<HttpFunction> table = {
        {"InternetOpenA", HttpStep::OpenRoot},
        {"InternetConnectA", HttpStep::Connect},
        {"InternetReadFile", HttpStep::ReadReply},
        {"InternetGetLastResponseInfoA", HttpStep::LastResponse},
        {"HttpOpenRequestA", HttpStep::OpenRequest},
        {"HttpSendRequestA", HttpStep::SendRequest},
        {"InternetCloseHandle", HttpStep::CloseHandle},
    };

    // Offers the fake library on `headless`, without the functions named in `missing`.
    void install(HeadlessPlatform& headless, const std::set<std::string>& missing = {}) {
        static int anything;
        std::map<std::string, void*> functions;
        for (const HttpFunction& f : table) {
            if (missing.count(f.name) == 0) {
                functions[f.name] = &anything;
            }
        }
        headless.addLibrary(libraryName, functions);
    }

    // --- what the steps do ---
    std::set<HttpStep> failing;
    std::int32_t errorNumber = 12029;
    std::string errorText = "connection refused";
    std::string reply = "0";
    int status = 200;

    // --- what happened ---
    std::vector<HttpStep> calls;
    int binds = 0;
    std::string agent, host, verb, object, headers, body;
    int port = 0;
    HttpTimeouts timeouts;
    std::set<std::uintptr_t> open;
    std::vector<std::uintptr_t> closed; // in closing order
    int opened = 0;

    std::span<const char* const> libraryNames() const override { return names_; }
    std::span<const HttpFunction> functions() const override { return table; }
    void bind(std::span<void* const> addresses) override {
        ++binds;
        bound_ = addresses.size();
    }

    Handle openRoot(const char* a, const HttpTimeouts& t) override {
        agent = a;
        timeouts = t;
        return step(HttpStep::OpenRoot) ? handle() : nullptr;
    }
    Handle connect(Handle root, const std::string& h, int p) override {
        host = h;
        port = p;
        return step(HttpStep::Connect) && isOpen(root) ? handle() : nullptr;
    }
    Handle openRequest(Handle connection, const char* v, const char* o) override {
        verb = v;
        object = o;
        return step(HttpStep::OpenRequest) && isOpen(connection) ? handle() : nullptr;
    }
    bool sendRequest(Handle request, std::string_view h, std::string_view b) override {
        headers = h;
        body = b;
        return step(HttpStep::SendRequest) && isOpen(request);
    }
    bool readReply(Handle request, char* buffer, std::size_t capacity, std::size_t& n) override {
        n = 0;
        if (!step(HttpStep::ReadReply) || !isOpen(request)) {
            return false;
        }
        n = std::min(capacity, reply.size());
        std::memcpy(buffer, reply.data(), n);
        return true;
    }
    int replyStatus(Handle) override { return status; }
    void lastResponse(std::int32_t& error, std::string& text) override {
        calls.push_back(HttpStep::LastResponse);
        error = errorNumber;
        text = errorText;
    }
    void closeHandle(Handle h) override {
        calls.push_back(HttpStep::CloseHandle);
        open.erase(reinterpret_cast<std::uintptr_t>(h));
        closed.push_back(reinterpret_cast<std::uintptr_t>(h));
    }

    std::size_t boundFunctions() const { return bound_; }

  private:
    bool step(HttpStep s) {
        calls.push_back(s);
        return failing.count(s) == 0;
    }
    bool isOpen(Handle h) const { return open.count(reinterpret_cast<std::uintptr_t>(h)) != 0; }
    Handle handle() {
        const std::uintptr_t h = 0x1000 + static_cast<std::uintptr_t>(++opened);
        open.insert(h);
        return reinterpret_cast<Handle>(h);
    }

    std::vector<const char*> names_ = {libraryName};
    std::size_t bound_ = 0;
};
