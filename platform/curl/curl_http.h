// The HTTP steps over libcurl, loaded at run time and never linked. Portable C++: it
// declares the few libcurl types and constants it uses and calls the functions whose
// addresses it was given. A root handle keeps the agent and the time bounds, a connection
// the host and port; the exchange itself happens when a request is sent, with one easy
// handle per request. The reply's body is collected up to replyLimit bytes; a longer
// reply is cut there and the rest of it is never read.
#pragma once

#include "platform/http_client.h"

#include <cstddef>
#include <memory>
#include <set>
#include <string>

class CurlHttpClient : public HttpClient {
  public:
    static constexpr std::size_t replyLimit = 16384;

    CurlHttpClient();
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    std::span<const char* const> libraryNames() const override;
    std::span<const HttpFunction> functions() const override;
    void bind(std::span<void* const> addresses) override;

    Handle openRoot(const char* agent, const HttpTimeouts& timeouts) override;
    Handle connect(Handle root, const std::string& host, int port) override;
    Handle openRequest(Handle connection, const char* verb, const char* object) override;
    bool sendRequest(Handle request, std::string_view headers, std::string_view body) override;
    bool readReply(Handle request, char* buffer, std::size_t capacity,
                   std::size_t& bytesRead) override;
    int replyStatus(Handle request) override;
    void lastResponse(std::int32_t& error, std::string& text) override;
    void closeHandle(Handle handle) override;

    struct Functions; // the looked-up entry points
    struct Node;      // what a handle points to

  private:
    template <class T> T* live(Handle handle) const;
    void fail(int code, const char* detail = nullptr);

    std::unique_ptr<Functions> fn_;
    bool globalReady_ = false;
    std::set<Node*> live_;
    std::int32_t lastError_ = 0;
    std::string lastText_;
};
