// The program's texts are Latin-1; toolkits that draw text (SDL, Dear ImGui) want UTF-8.
// These two conversions sit where the texts meet them. Latin-1 maps one byte to one code
// point, so the way there never fails; on the way back a code point above 255, or a byte
// that is not valid UTF-8, becomes '?'.
#pragma once

#include <string>
#include <string_view>

std::string latin1ToUtf8(std::string_view latin1);
std::string utf8ToLatin1(std::string_view utf8);
