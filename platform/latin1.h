// Latin-1 and UTF-8, the one place that converts between them and checks them. The
// program's texts are Latin-1; toolkits that draw text (SDL, Dear ImGui), the browser, the
// portal's database and pages want UTF-8. Latin-1 maps one byte to one code point, so the
// way there never fails. The way back comes in two strengths: the game's shells put '?'
// for what Latin-1 cannot hold, the portal refuses such text.
//
// Every reading of UTF-8 goes through readUtf8: a lead byte tells how many bytes its
// character takes (C0-DF two, E0-EF three, F0-F7 four), the continuation bytes that
// follow are taken up to that many, and what they make is then judged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct Utf8Char {
    enum class Form {
        WellFormed,    // a character in its shortest form
        Overlong,      // a code point in more bytes than it needs
        Surrogate,     // U+D800 to U+DFFF, which UTF-8 never carries
        BeyondUnicode, // above U+10FFFF
        Cut,           // fewer continuation bytes than the lead byte promised
        NoLead,        // a continuation byte where a character should start, or F8-FF
    };
    std::uint32_t codePoint = 0; // what the bytes taken make; meaningful when WellFormed
    std::size_t length = 1;      // the bytes taken, at least one
    Form form = Form::WellFormed;
};

// The character that starts at byte `at` (< text.size()) of `text`.
Utf8Char readUtf8(std::string_view text, std::size_t at);

std::string latin1ToUtf8(std::string_view latin1);
// Each well-formed character up to U+00FF becomes its byte; anything else that
// readUtf8 takes as one (a character beyond Latin-1, a broken sequence) becomes one '?'.
std::string utf8ToLatin1(std::string_view utf8);
// The text in Latin-1; nothing when it is not well-formed UTF-8 or holds a character
// beyond Latin-1.
std::optional<std::string> strictLatin1(std::string_view utf8);
// The number of characters of well-formed UTF-8; nothing for any other text.
std::optional<std::size_t> utf8Length(std::string_view text);
// True when the text is well-formed UTF-8.
bool isUtf8(std::string_view text);
// True when every byte is below 0x80.
bool isAscii(std::string_view text);
