// Text helpers of the portal: the game speaks Latin-1, the database and the pages UTF-8;
// e-mail addresses compare without regard to case; every value put into a page is
// HTML-escaped.
#pragma once

#include "platform/latin1.h" // latin1ToUtf8, strictLatin1: shared with the game's shells

#include <string>
#include <string_view>

// The form in which an address is stored and looked up: letters in lower case (ASCII and
// the Latin-1 letters), surrounding blanks removed. Input and output are UTF-8.
std::string emailKey(std::string_view utf8);
std::string htmlEscape(std::string_view text);
// What the game can send: non-empty Latin-1 text of at most `limit` characters.
bool fitsTheGame(std::string_view utf8, std::size_t limit);

// An e-mail address (UTF-8) without control characters (C0, DEL, C1; CR and LF among
// them) or commas: one that can stand in a mail header as one recipient and nothing else.
bool addressCharactersAllowed(std::string_view utf8);

// A nickname as it is stored: NFC, 1 to 32 characters, none of them a control character
// (C0, DEL, C1, line and paragraph separators), a bidirectional control, a private-use
// character or a surrogate. `problem` says in Swedish why one was refused ("" when not).
struct NicknameCheck {
    std::string nfc;
    std::string problem;
};
NicknameCheck checkNickname(std::string_view utf8);
// The key under which nicknames are unique: NFC and case folded, so "Anna" and "ANNA" are
// one name. "" for text that is not valid UTF-8.
std::string nicknameKey(std::string_view utf8);
