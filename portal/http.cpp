// The portal's requests, replies and routes; see http.h.
#include "portal/http.h"

#include <microhttpd.h>

#include <algorithm>
#include <cctype>

namespace http {

namespace {

std::string unescaped(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '+', ' ');
    out.resize(MHD_http_unescape(out.data()));
    return out;
}

std::string escaped(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

bool NoCase::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string Request::header(std::string_view name) const {
    const auto at = headers.find(name);
    return at == headers.end() ? std::string() : at->second;
}

bool Request::hasHeader(std::string_view name) const {
    return headers.find(name) != headers.end();
}

std::string Request::param(std::string_view name) const {
    if (const auto at = query.find(name); at != query.end()) {
        return at->second;
    }
    const auto at = form.find(name);
    return at == form.end() ? std::string() : at->second;
}

std::string Request::queryString() const {
    std::string text;
    for (const auto& [name, value] : query) {
        text += (text.empty() ? "?" : "&") + escaped(name) + "=" + escaped(value);
    }
    return text;
}

void Response::setHeader(std::string_view name, std::string_view value) {
    headers.emplace(name, value);
}

void Response::replaceHeader(std::string_view name, std::string_view value) {
    headers.erase(std::string(name));
    headers.emplace(name, value);
}

bool Response::hasHeader(std::string_view name) const {
    return headers.find(name) != headers.end();
}

void Response::setContent(std::string content, std::string_view type) {
    body = std::move(content);
    shared.reset();
    replaceHeader("Content-Type", type);
}

void Response::setContent(std::shared_ptr<const std::string> content, std::string_view type) {
    body.clear();
    shared = std::move(content);
    replaceHeader("Content-Type", type);
}

void Response::redirect(std::string_view location, int code) {
    status = code;
    replaceHeader("Location", location);
}

Fields decodeForm(std::string_view text) {
    Fields fields;
    while (!text.empty()) {
        const auto end = std::min(text.find('&'), text.size());
        const std::string_view pair = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (pair.empty()) {
            continue;
        }
        const auto equals = pair.find('=');
        fields.emplace(unescaped(pair.substr(0, equals)), equals == std::string_view::npos
                                                              ? std::string()
                                                              : unescaped(pair.substr(equals + 1)));
    }
    return fields;
}

void Routes::get(std::string path, Handler handler, Runs runs) {
    Route route;
    route.path = std::move(path);
    route.handler = std::move(handler);
    route.runs = runs;
    routes_.push_back(std::move(route));
}

void Routes::getPrefix(std::string prefix, Handler handler, Runs runs) {
    get(std::move(prefix), std::move(handler), runs);
    routes_.back().prefix = true;
}

void Routes::post(std::string path, Handler handler) {
    Route route;
    route.method = Route::Method::Post;
    route.path = std::move(path);
    route.handler = std::move(handler);
    routes_.push_back(std::move(route));
}

void Routes::postOpen(std::string path, std::string_view why, std::size_t bodyLimit,
                      Handler handler) {
    Route route;
    route.method = Route::Method::Post;
    route.path = std::move(path);
    route.handler = std::move(handler);
    route.guarded = false;
    route.open = why;
    route.bodyLimit = bodyLimit;
    routes_.push_back(std::move(route));
}

const Route* Routes::find(std::string_view method, std::string_view path, bool* otherMethod,
                          const Request* who) const {
    const bool get = method == "GET" || method == "HEAD";
    const Route* found = nullptr;
    bool other = false;
    for (const Route& r : routes_) {
        const bool matches = r.prefix ? path.starts_with(r.path) : path == r.path;
        if (!matches || (who && r.shownTo && !r.shownTo(*who))) {
            continue;
        }
        if ((r.method == Route::Method::Get) == get && (get || method == "POST")) {
            // An exact route wins over a prefix, a longer prefix over a shorter one.
            if (!found || (found->prefix && (!r.prefix || r.path.size() > found->path.size()))) {
                found = &r;
            }
        } else {
            other = true;
        }
    }
    if (otherMethod) {
        *otherMethod = other;
    }
    return found;
}

} // namespace http
