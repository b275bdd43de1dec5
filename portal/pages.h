// The portal's server-rendered pages in Swedish: one frame (UTF-8, a viewport for phones,
// one small style sheet, the links between the pages) and the pages the game opens
// besides the home page: what the game needs to send scores ("/dll/"), the version page
// ("/version.asp?gameid=N") and becoming a member ("/registrera/"). Every value put into a
// page is HTML-escaped; no page shows an e-mail address but the visitor's own.
#pragma once

#include "portal/storage.h"

#include <httplib.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Who asks for a page: a logged-in member (his session cookie names a live session), or
// nobody (memberId 0). `csrf` is the token for the forms on the page, such as "Logga ut".
struct Visitor {
    std::int64_t memberId = 0;
    std::string nickname;
    std::string email; // for the member's own page only
    std::string csrf;
};

// A whole page around `body` (HTML); `title` is plain text and escaped here. The header
// shows "Logga in", or the member's nickname and "Logga ut".
std::string pageFrame(std::string_view title, std::string_view body, const Visitor& visitor = {});

std::string dllPage(const Visitor& visitor = {});
std::string versionPage(std::string_view gameId, const Visitor& visitor = {});

// What the portal's page handlers share: cookies, the forms' CSRF token, the session.
namespace web {

constexpr const char* csrfCookie = "pingel_csrf";
constexpr const char* sessionCookie = "pingel_session";
using FieldErrors = std::map<std::string, std::string>; // by field name

void sendPage(httplib::Response& res, std::string_view title, std::string_view body,
              int status = 200, const Visitor& visitor = {});
// The number of characters in valid UTF-8 without control characters, or nothing.
std::optional<std::size_t> printableLength(std::string_view text);
std::string trimmed(std::string text);
// An address the game can send (Latin-1, at most 64 characters) of the form local@domain.
bool plausibleAddress(const std::string& email);
std::string cookieValue(const httplib::Request& req, std::string_view name);
// 64 lower-case hex digits, the form of every token the portal hands out.
bool looksLikeToken(const std::string& token);
// The visitor's form token (set as a cookie when he has none yet).
std::string formToken(const httplib::Request& req, httplib::Response& res);
// The posted "csrf" field equals the token in the visitor's cookie.
bool formTokenMatches(const httplib::Request& req);
std::string hiddenToken(const std::string& token);
// A labelled input, with its error (if any) right below it.
std::string field(const FieldErrors& errors, const char* name, const char* label, const char* type,
                  const std::string& value, const char* hint = nullptr,
                  const char* autocomplete = nullptr);
Visitor visitorOf(Storage& storage, const httplib::Request& req, httplib::Response& res);

} // namespace web

// Registers "/dll/", "/version.asp" and "/registrera/" (and their forms without the
// closing slash) on the server. "/registrera/?tipsare=ADDRESS" fills in the recruiter.
void addPages(httplib::Server& server, Storage& storage);
