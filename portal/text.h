// Text helpers of the portal: the game speaks Latin-1, the database and the pages UTF-8;
// e-mail addresses compare without regard to case; every value put into a page is
// HTML-escaped.
#pragma once

#include "platform/latin1.h" // latin1ToUtf8, shared with the game's shells

#include <optional>
#include <string>
#include <string_view>

// The text in Latin-1; nothing when it is not valid UTF-8 or holds a character beyond
// Latin-1 (where the game's shells put '?', the portal refuses).
std::optional<std::string> strictLatin1(std::string_view utf8);
// The form in which an address is stored and looked up: letters in lower case (ASCII and
// the Latin-1 letters), surrounding blanks removed. Input and output are UTF-8.
std::string emailKey(std::string_view utf8);
std::string htmlEscape(std::string_view text);
// What the game can send: non-empty Latin-1 text of at most `limit` characters.
bool fitsTheGame(std::string_view utf8, std::size_t limit);
