// Text helpers; see text.h.
#include "portal/text.h"

#include <unicase.h>
#include <unictype.h>
#include <uninorm.h>
#include <unistr.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

std::string emailKey(std::string_view utf8) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!utf8.empty() && blank(utf8.front())) {
        utf8.remove_prefix(1);
    }
    while (!utf8.empty() && blank(utf8.back())) {
        utf8.remove_suffix(1);
    }
    std::string out(utf8);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<std::uint8_t>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00C0 to U+00DE, the multiplication sign U+00D7 aside.
            const auto next = static_cast<std::uint8_t>(out[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) {
                out[i + 1] = static_cast<char>(next + 0x20);
            }
            ++i;
        }
    }
    return out;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool fitsTheGame(std::string_view utf8, std::size_t limit) {
    const auto latin1 = strictLatin1(utf8);
    return latin1 && !latin1->empty() && latin1->size() <= limit;
}

bool addressCharactersAllowed(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<std::uint8_t>(utf8[i]);
        // U+0080 to U+009F are 0xC2 0x80 to 0xC2 0x9F in UTF-8.
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                        static_cast<std::uint8_t>(utf8[i + 1]) <= 0x9F &&
                        static_cast<std::uint8_t>(utf8[i + 1]) >= 0x80;
        if (c < 0x20 || c == 0x7F || c == ',' || c1) {
            return false;
        }
    }
    return true;
}

namespace {

struct FreeBytes {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using Bytes = std::unique_ptr<std::uint8_t, FreeBytes>;

const std::uint8_t* bytesOf(std::string_view text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

std::string textOf(const Bytes& bytes, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(bytes.get()), length);
}

} // namespace

NicknameCheck checkNickname(std::string_view utf8) {
    // Surrogates and malformed sequences are not valid UTF-8 for u8_check.
    if (u8_check(bytesOf(utf8), utf8.size()) != nullptr) {
        return {"", "Smeknamnet inneh\xC3\xA5ller tecken som inte g\xC3\xA5r att visa."};
    }
    std::size_t length = 0;
    const Bytes nfc(u8_normalize(UNINORM_NFC, bytesOf(utf8), utf8.size(), nullptr, &length));
    if (!nfc) {
        throw std::bad_alloc();
    }
    NicknameCheck check{textOf(nfc, length), ""};
    std::size_t characters = 0;
    for (const std::uint8_t* at = nfc.get(); at < nfc.get() + length; ++characters) {
        ucs4_t c = 0;
        at += u8_mbtouc_unsafe(&c, at, static_cast<std::size_t>(nfc.get() + length - at));
        if (uc_is_general_category(c, UC_CATEGORY_Cc) ||
            uc_is_general_category(c, UC_CATEGORY_Zl) ||
            uc_is_general_category(c, UC_CATEGORY_Zp)) {
            check.problem = "Smeknamnet f\xC3\xA5r inte inneh\xC3\xA5lla radbrytningar "
                            "eller andra styrtecken.";
        } else if (uc_is_property_bidi_control(c)) {
            check.problem = "Smeknamnet f\xC3\xA5r inte inneh\xC3\xA5lla tecken som "
                            "v\xC3\xA4nder skrivriktningen.";
        } else if (uc_is_general_category(c, UC_CATEGORY_Co)) {
            check.problem = "Smeknamnet f\xC3\xA5r inte inneh\xC3\xA5lla tecken f\xC3\xB6r "
                            "privat bruk.";
        }
        if (!check.problem.empty()) {
            return check;
        }
    }
    if (characters > 32) {
        check.problem = "Smeknamnet f\xC3\xA5r ha h\xC3\xB6gst 32 tecken.";
    }
    return check;
}

std::string nicknameKey(std::string_view utf8) {
    if (u8_check(bytesOf(utf8), utf8.size()) != nullptr) {
        return "";
    }
    std::size_t length = 0;
    const Bytes folded(
        u8_casefold(bytesOf(utf8), utf8.size(), nullptr, UNINORM_NFC, nullptr, &length));
    if (!folded) {
        throw std::bad_alloc();
    }
    return textOf(folded, length);
}
