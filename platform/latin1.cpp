// Latin-1 <-> UTF-8; see latin1.h.
#include "platform/latin1.h"

#include <cstdint>

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

std::string utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // The length of the sequence and the bits its lead byte carries.
        int length = 0;
        std::uint32_t cp = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07;
        } else {
            out += '?'; // a stray continuation byte or an invalid lead
            ++i;
            continue;
        }
        int taken = 1;
        while (taken < length && i + taken < utf8.size() &&
               (static_cast<std::uint8_t>(utf8[i + taken]) & 0xC0) == 0x80) {
            cp = cp << 6 | (static_cast<std::uint8_t>(utf8[i + taken]) & 0x3F);
            ++taken;
        }
        static constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        const bool complete = taken == length && cp >= smallest[length] && cp <= 0x10FFFF;
        out += complete && cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += static_cast<std::size_t>(taken);
    }
    return out;
}
