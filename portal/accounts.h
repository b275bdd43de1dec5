// The members' side of the portal: logging in and out ("/logga-in/", "/logga-ut/"), the
// member's own page ("/useradm/"), a forgotten password ("/getpass.asp?mail=ADDRESS", which
// the game opens after a wrong password, and the one-time link's "/nytt-losenord/?t=TOKEN")
// and challenging a friend ("/useradm/challenge/"); becoming a member (the form of
// "/registrera/") and confirming the address by a mailed one-time link ("/bekrafta/?t=TOKEN",
// a new one from the member's page by "/bekrafta/ny/"). Sessions and links live in the
// database, stored as digests of their tokens; the login form goes through the same
// password throttle as the game's endpoint. No page tells whether an address is a member's:
// a registration with a member's address is answered as any other and mails him a notice,
// and a login with an unknown address costs what a wrong password costs.
#pragma once

#include "portal/mail.h"
#include "portal/storage.h"
#include "portal/submission.h"

#include "portal/http.h"

#include <cstdint>
#include <string>
#include <string_view>

struct AccountSettings {
    // The portal's address as the members' browsers reach it, for the links in mail;
    // "https://..." also marks the session cookie Secure (the pages are behind TLS).
    std::string publicUrl = "http://127.0.0.1:8080";
    std::int64_t sessionSeconds = 30 * 24 * 3600;
    std::int64_t resetSeconds = 3600;        // how long a reset link works
    std::int64_t confirmSeconds = 24 * 3600; // how long a confirmation link works
    int confirmMailsPerAddress = 3;          // registration and confirmation mails an hour
    int resetsPerAddress = 3;                // reset mails for one address an hour
    int resetsPerClient = 10;                // reset requests from one client an hour
    int newPasswordsPerClient = 10;          // new passwords sent by one client an hour
    int loginsPerClient = 60;                // logins (right or wrong) from one client an hour
    int challengesPerDay = 10;               // challenges one member sends a day
    ThrottleRules login; // the server's own rules (PortalServer::serveAccounts sets them)
};

// The Set-Cookie value of a session: HttpOnly, SameSite=Lax, Path=/; when `secure`, named
// "__Host-pingel_session" and Secure (see web::Cookies). An empty token with age 0 ends
// the cookie.
std::string sessionCookieHeader(std::string_view token, std::int64_t maxAgeSeconds, bool secure);
// Letters, digits and "-._~" as they are, every other byte as %XX.
std::string percentEncoded(std::string_view text);
// `path` when it is a path on this site ("/..." but not "//..."), else the member's page.
std::string localReturnPath(std::string_view path);

void addAccountPages(http::Routes& routes, Storage& storage, PasswordChecks& passwords,
                     const Mailer& mailer, const AccountSettings& settings);
