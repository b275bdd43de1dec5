// Latin-1 and UTF-8; see latin1.h.
#include "platform/latin1.h"

#include <algorithm>
#include <array>

Utf8Char readUtf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    Utf8Char c;
    if (lead < 0x80) {
        c.codePoint = lead;
        return c;
    }
    // The length of the sequence and the bits its lead byte carries.
    std::size_t length = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c.codePoint = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c.codePoint = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c.codePoint = lead & 0x07u;
    } else {
        c.form = Utf8Char::Form::NoLead;
        return c;
    }
    while (c.length < length && at + c.length < text.size() &&
           (static_cast<std::uint8_t>(text[at + c.length]) & 0xC0) == 0x80) {
        c.codePoint = c.codePoint << 6 | (static_cast<std::uint8_t>(text[at + c.length]) & 0x3Fu);
        ++c.length;
    }
    static constexpr std::array<std::uint32_t, 5> smallest = {0, 0, 0x80, 0x800, 0x10000};
    if (c.length < length) {
        c.form = Utf8Char::Form::Cut;
    } else if (c.codePoint < smallest[length]) {
        c.form = Utf8Char::Form::Overlong;
    } else if (c.codePoint >= 0xD800 && c.codePoint <= 0xDFFF) {
        c.form = Utf8Char::Form::Surrogate;
    } else if (c.codePoint > 0x10FFFF) {
        c.form = Utf8Char::Form::BeyondUnicode;
    }
    return c;
}

std::string latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (const char ch : latin1) {
        const auto c = static_cast<std::uint8_t>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

bool inLatin1(const Utf8Char& c) {
    return c.form == Utf8Char::Form::WellFormed && c.codePoint <= 0xFF;
}

} // namespace

std::string utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = readUtf8(utf8, i);
        out += inLatin1(c) ? static_cast<char>(c.codePoint) : '?';
        i += c.length;
    }
    return out;
}

std::optional<std::string> strictLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = readUtf8(utf8, i);
        if (!inLatin1(c)) {
            return std::nullopt;
        }
        out += static_cast<char>(c.codePoint);
        i += c.length;
    }
    return out;
}

std::optional<std::size_t> utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        const Utf8Char c = readUtf8(text, i);
        if (c.form != Utf8Char::Form::WellFormed) {
            return std::nullopt;
        }
        i += c.length;
    }
    return count;
}

bool isUtf8(std::string_view text) {
    return utf8Length(text).has_value();
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
}
