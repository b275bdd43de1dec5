// The portal's pages; see pages.h.
#include "portal/pages.h"

#include "platform/latin1.h"
#include "portal/clock.h"
#include "portal/password.h"
#include "portal/templates.h"
#include "portal/text.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>

namespace {

constexpr const char* htmlType = "text/html; charset=utf-8";

constexpr const char* style =
    "body{font-family:system-ui,sans-serif;max-width:42rem;margin:0 auto;padding:0 1rem 2rem;"
    "line-height:1.5;color:#1b1b1b;background:#fdfcf7}"
    "header{display:flex;flex-wrap:wrap;gap:.4rem 1rem;align-items:baseline;"
    "border-bottom:2px solid #2b5d8a;padding:.6rem 0;margin-bottom:1rem}"
    "header a{color:#2b5d8a}header .name{font-size:1.5rem;font-weight:bold;"
    "text-decoration:none;margin-right:auto}"
    "a{color:#1f4f7a}table{border-collapse:collapse;width:100%}"
    "th,td{text-align:left;padding:.25rem .5rem;border-bottom:1px solid #ddd}"
    "label{display:block;font-weight:bold;margin-top:1rem}"
    "input{font:inherit;width:100%;max-width:24rem;box-sizing:border-box;padding:.4rem;"
    "border:1px solid #888;border-radius:4px}input.wrong{border-color:#b00020}"
    ".error{color:#b00020;margin:.2rem 0}.hint{color:#555;font-size:.9rem;margin:.2rem 0}"
    "button,.button{font:inherit;margin-top:1.2rem;padding:.5rem 1.2rem;background:#2b5d8a;"
    "color:#fff;border:0;border-radius:4px;text-decoration:none;display:inline-block}"
    ".notice{background:#fff3cd;border:1px solid #e0c870;padding:.6rem;border-radius:4px}"
    "form button{display:block}code{background:#eee;padding:0 .2rem}"
    "caption{text-align:left;color:#555;font-size:.9rem;padding:0 .5rem}"
    "section.notice ul{padding-left:1.2rem}section.notice h2{margin-top:0}"
    "table.toplist{margin-bottom:1rem}table.toplist td{white-space:nowrap}"
    "table.toplist td:last-child{white-space:normal}"
    ".proven{color:#1b6e20;font-size:.85rem;white-space:nowrap}"
    ".unproven{color:#777;font-size:.85rem}"
    // Narrower on a phone, without a media query: the tests take any "@" on a page for
    // an address.
    "table.toplist{font-size:clamp(.85rem,3.6vw,1rem)}"
    "table.toplist th,table.toplist td{padding:.25rem clamp(.2rem,1vw,.5rem)}"
    "table.toplist td:nth-child(2){white-space:normal;overflow-wrap:anywhere}"
    "header form.inline{display:inline;margin:0}header form.inline button{display:inline;"
    "margin:0;padding:0;background:none;color:#2b5d8a;text-decoration:underline;"
    "cursor:pointer}";

} // namespace

namespace web {

void sendPage(http::Response& res, std::string_view title, std::string_view body, int status,
              const Visitor& visitor) {
    res.status = status;
    res.setHeader("Cache-Control", "no-cache");
    res.setContent(pageFrame(title, body, visitor), htmlType);
}

// The number of characters in valid UTF-8 without control characters, or nothing.
std::optional<std::size_t> printableLength(std::string_view text) {
    // In valid UTF-8 a byte below 0x80 is a character of its own.
    const bool control = std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    return control ? std::nullopt : utf8Length(text);
}

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// An address the game can send (Latin-1, at most 64 characters) of the form local@domain.
bool plausibleAddress(const std::string& email) {
    const auto at = email.find('@');
    return fitsTheGame(email, 64) && at != std::string::npos && at > 0 &&
           email.find('@', at + 1) == std::string::npos &&
           email.find('.', at + 2) != std::string::npos && email.back() != '.' &&
           email.find_first_of(" \t<>\"") == std::string::npos && addressCharactersAllowed(email);
}

std::string cookieValue(const http::Request& req, std::string_view name) {
    const std::string header = req.header("Cookie");
    std::size_t start = 0;
    while (start < header.size()) {
        const std::size_t end = std::min(header.find(';', start), header.size());
        const std::string pair = trimmed(header.substr(start, end - start));
        if (pair.size() > name.size() && pair.compare(0, name.size(), name) == 0 &&
            pair[name.size()] == '=') {
            return pair.substr(name.size() + 1);
        }
        start = end + 1;
    }
    return "";
}

bool looksLikeToken(const std::string& token) {
    return token.size() == 64 && token.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Compares in time that does not depend on where the texts differ.
bool sameToken(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

// The form's token: the one in the visitor's cookie when it is one of ours, else a new
// one, set as a cookie that other sites' pages do not send along.
std::string formToken(const http::Request& req, http::Response& res, const Cookies& cookies) {
    std::string token = cookieValue(req, cookies.csrf());
    if (looksLikeToken(token)) {
        return token;
    }
    // Once per reply: a second form on the page takes the token set for the first.
    const std::string prefix = std::string(cookies.csrf()) + "=";
    const auto [first, last] = res.headers.equal_range("Set-Cookie");
    for (auto it = first; it != last; ++it) {
        if (it->second.starts_with(prefix)) {
            return it->second.substr(prefix.size(), 64);
        }
    }
    token = randomToken();
    res.setHeader("Set-Cookie", prefix + token + cookies.flags() + "; HttpOnly; SameSite=Strict");
    return token;
}

bool formTokenMatches(const http::Request& req, const Cookies& cookies) {
    return sameToken(cookieValue(req, cookies.csrf()), req.param("csrf"));
}

bool formGuard(const http::Request& req, http::Response& res, const Cookies& cookies) {
    if (formTokenMatches(req, cookies)) {
        return true;
    }
    // A fresh token for the next try, when the visitor has none of ours.
    formToken(req, res, cookies);
    Data data;
    data.set("path", req.path);
    sendPage(res, "Formuläret kunde inte tas emot", render("refused", data), 403);
    return false;
}

Visitor visitorOf(Storage& storage, const http::Request& req, http::Response& res,
                  const Cookies& cookies) {
    const std::string token = cookieValue(req, cookies.session());
    if (!looksLikeToken(token)) {
        return {};
    }
    const auto id = storage.sessionMember(tokenDigest(token), unixNow());
    const auto member = id ? storage.memberById(*id) : std::nullopt;
    if (!member) {
        return {};
    }
    return {member->id, member->nickname, member->email, formToken(req, res, cookies),
            member->confirmed};
}

Data input(const FieldErrors& errors, const char* name, const char* type, const std::string& value,
           const char* autocomplete, bool hint) {
    Data data;
    data.set("name", name);
    data.set("type", type);
    data.set("value", value);
    if (const auto error = errors.find(name); error != errors.end()) {
        data.set("error", error->second);
    }
    if (autocomplete) {
        data.set("autocomplete", autocomplete);
    }
    data.set("hint", hint);
    return data;
}

bool acceptablePassword(const std::string& password) {
    const auto latin1 = strictLatin1(password);
    return latin1 && latin1->size() >= shortestPassword && latin1->size() <= 16;
}

std::string registrationForm(const Registration& form, const std::string& token,
                             RegistrationNotice notice) {
    Data data;
    data.set("csrf", token);
    data.set("tooManyMails", notice == RegistrationNotice::TooManyMails);
    data.set("mistakes", notice == RegistrationNotice::Mistakes);
    data.set("epost", input(form.errors, "epost", "email", form.email, "email", true));
    data.set("smeknamn", input(form.errors, "smeknamn", "text", form.nickname, "nickname", true));
    data.set("losenord", input(form.errors, "losenord", "password", "", "new-password", true));
    data.set("losenord2", input(form.errors, "losenord2", "password", "", "new-password"));
    data.set("tipsare", input(form.errors, "tipsare", "email", form.recruiter, "off", true));
    return render("register", data);
}

void checkRegistration(Storage& storage, Registration& form) {
    auto& errors = form.errors;
    if (form.email.empty()) {
        errors["epost"] = "Skriv din e-postadress.";
    } else if (!addressCharactersAllowed(form.email)) {
        errors["epost"] = "En e-postadress kan inte innehålla kommatecken, radbrytningar "
                          "eller andra styrtecken.";
    } else if (!plausibleAddress(form.email)) {
        errors["epost"] = "Det ser inte ut som en e-postadress (högst 64 tecken).";
    }
    // Whether the address is a member's is never said here: a member who registers again
    // is answered as anyone else, and told the rest by mail.
    NicknameCheck nickname = checkNickname(form.nickname);
    if (form.nickname.empty()) {
        errors["smeknamn"] = "Välj ett smeknamn.";
    } else if (!nickname.problem.empty()) {
        errors["smeknamn"] = nickname.problem;
    } else {
        form.nickname = std::move(nickname.nfc);
        if (storage.nicknameTaken(form.nickname)) {
            errors["smeknamn"] = "Smeknamnet är upptaget (stora och små "
                                 "bokstäver räknas lika). Välj ett annat.";
        }
    }
    if (form.password.empty()) {
        errors["losenord"] = "Välj ett lösenord.";
    } else if (!acceptablePassword(form.password)) {
        errors["losenord"] = "Lösenordet ska ha 8 till 16 tecken, och bara "
                             "sådana som spelet kan skicka.";
    } else if (form.repeated != form.password) {
        errors["losenord2"] = "Lösenorden är inte lika.";
    }
    if (!form.recruiter.empty()) {
        if (!plausibleAddress(form.recruiter)) {
            errors["tipsare"] = "Det ser inte ut som en e-postadress.";
        } else if (emailKey(form.recruiter) == emailKey(form.email)) {
            errors["tipsare"] = "Du kan inte vara din egen tipsare.";
        }
    }
}

} // namespace web

using namespace web;

std::string pageFrame(std::string_view title, std::string_view body, const Visitor& visitor) {
    Data data;
    data.set("title", std::string(title));
    data.set("style", stylePath);
    data.set("body", std::string(body));
    if (visitor.memberId != 0) {
        Data member;
        member.set("nickname", visitor.nickname);
        member.set("csrf", visitor.csrf);
        data.set("member", member);
    } else {
        data.set("member", false);
    }
    return render("frame", data);
}

std::string dllPage(const Visitor& visitor) {
    return pageFrame("Det här behöver spelet för att skicka poäng", render("dll", {}), visitor);
}

std::string versionPage(std::string_view gameId, const Visitor& visitor) {
    Data data;
    if (!gameId.empty()) {
        data.set("gameId", std::string(gameId.substr(0, 16)));
    }
    return pageFrame("Det finns en nyare version", render("version", data), visitor);
}

void addPages(http::Routes& routes, Storage& storage, const web::Cookies& cookies) {
    // Revalidated on each load, so a new portal's pages never get an old portal's style.
    const std::string styleTag = "\"" + std::to_string(std::hash<std::string_view>{}(style)) + "\"";
    routes.get(
        stylePath,
        [styleTag](const http::Request& req, http::Response& res) {
            res.setHeader("Cache-Control", "no-cache");
            res.setHeader("ETag", styleTag);
            if (req.header("If-None-Match").find(styleTag) != std::string::npos) {
                res.status = 304;
                return;
            }
            res.setContent(style, "text/css; charset=utf-8");
        },
        http::Runs::AtOnce);
    for (const char* short_ : {"/dll", "/registrera"}) {
        routes.get(
            short_,
            [short_](const http::Request& req, http::Response& res) {
                res.redirect(std::string(short_) + "/" + req.queryString(), 301);
            },
            http::Runs::AtOnce);
    }
    routes.get("/dll/", [&storage, &cookies](const http::Request& req, http::Response& res) {
        res.setHeader("Cache-Control", "no-cache");
        res.setContent(dllPage(visitorOf(storage, req, res, cookies)), htmlType);
    });
    routes.get("/version.asp", [&storage, &cookies](const http::Request& req, http::Response& res) {
        res.setHeader("Cache-Control", "no-cache");
        res.setContent(versionPage(req.param("gameid"), visitorOf(storage, req, res, cookies)),
                       htmlType);
    });
    routes.get("/registrera/", [&storage, &cookies](const http::Request& req, http::Response& res) {
        // A challenge's link names the recruiter: "/registrera/?tipsare=ADDRESS".
        Registration form;
        form.recruiter = trimmed(req.param("tipsare")).substr(0, 254);
        sendPage(res, "Bli medlem", registrationForm(form, formToken(req, res, cookies)), 200,
                 visitorOf(storage, req, res, cookies));
    });
}
