// The portal's server-rendered pages in Swedish: one frame (UTF-8, a viewport for phones,
// one small style sheet, the links between the pages) and the pages the game opens
// besides the home page: what the game needs to send scores ("/dll/"), the version page
// ("/version.asp?gameid=N") and becoming a member ("/registrera/"). Every value put into a
// page is HTML-escaped; no page shows an e-mail address but the visitor's own.
#pragma once

#include "portal/storage.h"

#include "portal/http.h"
#include "portal/templates.h"

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
    bool confirmed = false; // whether the member has confirmed his address
};

// A whole page (the template "frame") around `body`, HTML rendered from a template (without
// a final newline); `title` is plain text and escaped here. The header
// shows "Logga in", or the member's nickname and "Logga ut".
std::string pageFrame(std::string_view title, std::string_view body, const Visitor& visitor = {});

std::string dllPage(const Visitor& visitor = {});
std::string versionPage(std::string_view gameId, const Visitor& visitor = {});

// What the portal's page handlers share: cookies, the forms' CSRF token, the session.
namespace web {

// The names of the portal's cookies. Behind TLS (a public address beginning "https://")
// they are "__Host-" cookies, marked Secure: a browser keeps them only from a secure page
// of this very host for the whole path, so neither a plain-HTTP page nor a sibling domain
// can plant or overwrite them. A plain-HTTP portal keeps the plain names.
struct Cookies {
    bool secure = false;
    const char* csrf() const { return secure ? "__Host-pingel_csrf" : "pingel_csrf"; }
    const char* session() const { return secure ? "__Host-pingel_session" : "pingel_session"; }
    // The attributes every cookie of the portal carries besides its own.
    const char* flags() const { return secure ? "; Path=/; Secure" : "; Path=/"; }
};

using FieldErrors = std::map<std::string, std::string>; // by field name

void sendPage(http::Response& res, std::string_view title, std::string_view body, int status = 200,
              const Visitor& visitor = {});
// The number of characters in valid UTF-8 without control characters, or nothing.
std::optional<std::size_t> printableLength(std::string_view text);
std::string trimmed(std::string text);
// An address the game can send (Latin-1, at most 64 characters) of the form local@domain,
// without commas or control characters.
bool plausibleAddress(const std::string& email);
std::string cookieValue(const http::Request& req, std::string_view name);
// 64 lower-case hex digits, the form of every token the portal hands out.
bool looksLikeToken(const std::string& token);
// The visitor's form token (set as a cookie when he has none yet).
std::string formToken(const http::Request& req, http::Response& res, const Cookies& cookies);
// The posted "csrf" field equals the token in the visitor's cookie.
bool formTokenMatches(const http::Request& req, const Cookies& cookies);
// What stands in front of every state-changing form: true when the form's token matches;
// otherwise a 403 page that offers to try again (with a fresh token), and false.
bool formGuard(const http::Request& req, http::Response& res, const Cookies& cookies);
// What the partial "input" shows: a form's input `name`, with its error (if any) right
// below it; `hint` when the template has a hint for it (the "NAME-hint" paragraph). The
// template writes the label and the hint.
Data input(const FieldErrors& errors, const char* name, const char* type, const std::string& value,
           const char* autocomplete = nullptr, bool hint = false);
Visitor visitorOf(Storage& storage, const http::Request& req, http::Response& res,
                  const Cookies& cookies);

// A password the portal takes when one is chosen: 8 to 16 characters that the game can send
// (Latin-1). Logins take whatever password is stored.
constexpr std::size_t shortestPassword = 8;
bool acceptablePassword(const std::string& password);

// The registration form ("/registrera/") as typed, and its errors by field.
struct Registration {
    std::string email, nickname, password, repeated, recruiter;
    FieldErrors errors;
};
// What the registration form says above its fields, if anything.
enum class RegistrationNotice { None, TooManyMails, Mistakes };
std::string registrationForm(const Registration& form, const std::string& token,
                             RegistrationNotice notice = RegistrationNotice::None);
// The form's checks, none of which tells whether an address is a member's; the nickname
// comes back in NFC.
void checkRegistration(Storage& storage, Registration& form);

} // namespace web

// Registers "/dll/", "/version.asp", the form of "/registrera/" (and their forms without
// the closing slash) and the pages' style sheet on the server; the members' pages take the
// form when it is sent. "/registrera/?tipsare=ADDRESS" fills in the recruiter. The routes
// read `cookies` when they run: it outlives the server.
void addPages(http::Routes& routes, Storage& storage, const web::Cookies& cookies);

// The path of the style sheet every page links to (no page holds a style of its own, so
// the pages' Content-Security-Policy allows none inline).
constexpr const char* stylePath = "/portal.css";
