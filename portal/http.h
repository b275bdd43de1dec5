// The portal's requests, replies and routes, as its handlers see them: a request whose
// head and body have arrived whole (decoded path, query and form fields, the client's
// address) and a reply to fill in. The server (http_server.h) owns the connections.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace http {

// Header names compare ignoring case.
struct NoCase {
    bool operator()(std::string_view a, std::string_view b) const;
    using is_transparent = void;
};
using Headers = std::multimap<std::string, std::string, NoCase>;
using Fields = std::multimap<std::string, std::string, std::less<>>;

struct Request {
    std::string method; // "GET", "HEAD" or "POST"
    std::string path;   // percent-decoded, without the query
    std::string rest;   // on a prefix route: what follows the prefix
    std::string client; // the client's address, or the one a trusted proxy names
    std::string peer;   // the address the connection comes from (a proxy's, behind one)
    Headers headers;
    Fields query; // decoded
    Fields form;  // the decoded fields of an application/x-www-form-urlencoded body
    std::string body;

    std::string header(std::string_view name) const; // the first value, or ""
    bool hasHeader(std::string_view name) const;
    // A field of the query, else of the form: its first value, or "".
    std::string param(std::string_view name) const;
    // The query again, percent-encoded ("?a=b&c=d"), or "" without one.
    std::string queryString() const;
};

struct Response {
    int status = 200;
    Headers headers;
    std::string body;
    // A body kept elsewhere and shared (a cached file), sent instead of `body` when set.
    std::shared_ptr<const std::string> shared;

    // Adds a header; a second Set-Cookie is a second header.
    void setHeader(std::string_view name, std::string_view value);
    void replaceHeader(std::string_view name, std::string_view value);
    bool hasHeader(std::string_view name) const;
    void setContent(std::string content, std::string_view type);
    void setContent(std::shared_ptr<const std::string> content, std::string_view type);
    void redirect(std::string_view location, int status = 302);
    std::size_t bodySize() const { return shared ? shared->size() : body.size(); }
};

using Handler = std::function<void(const Request&, Response&)>;

// Decodes an application/x-www-form-urlencoded text ("a=1&b=x+y%21").
Fields decodeForm(std::string_view text);

// Where a handler runs: on the portal's pool of workers, for anything that may wait (the
// database, a password check, a file); or at once on the thread that read the request,
// for a reply made from memory alone.
enum class Runs { OnWorker, AtOnce };

struct Route {
    enum class Method { Get, Post };
    Method method = Method::Get;
    std::string path;
    bool prefix = false; // `path` and anything after it
    Handler handler;
    Runs runs = Runs::OnWorker;
    // A state-changing route whose form a browser sends: the form's token must match the
    // visitor's before the handler runs. Every POST route is guarded unless it says why
    // not (`open`).
    bool guarded = true;
    std::string_view open; // why a POST route takes requests without a form token
    std::size_t bodyLimit = 16 * 1024;
    // When set, the route exists only for the requests it takes: to any other it is
    // missing (404), as a path without a route.
    std::function<bool(const Request&)> shownTo;
};

// Every route of the portal, in one table: the server looks a request up here, and the
// tests walk it.
class Routes {
  public:
    void get(std::string path, Handler handler, Runs runs = Runs::OnWorker);
    void getPrefix(std::string prefix, Handler handler, Runs runs = Runs::OnWorker);
    void post(std::string path, Handler handler);
    // A POST route that takes no form token, and why (the game's endpoint).
    void postOpen(std::string path, std::string_view why, std::size_t bodyLimit, Handler handler);
    // The route for a method and a path; nullptr when none. `otherMethod` says whether the
    // path has a route for another method. With `who`, a route not shown to that request
    // counts as missing.
    const Route* find(std::string_view method, std::string_view path, bool* otherMethod = nullptr,
                      const Request* who = nullptr) const;
    const std::vector<Route>& all() const { return routes_; }
    // The route added last, to set more of it.
    Route& added() { return routes_.back(); }
    // Whether a guarded POST's token matches; it writes the refusal itself when not.
    std::function<bool(const Request&, Response&)> formGuard;

  private:
    std::vector<Route> routes_;
};

} // namespace http
