// Text helpers; see text.h.
#include "portal/text.h"

#include <cstdint>

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
