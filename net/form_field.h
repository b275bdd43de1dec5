// The obscuring of the highscore form's values: each byte is XORed with fieldKey (the key
// position restarting at every field) and written as two upper-case hex digits. The
// inverse reads such a value back, as the portal's side does.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr std::array<std::uint8_t, 8> fieldKey = {0x3C, 0xA1, 0x5E, 0x07, 0xD2, 0x68, 0x9B, 0x41};

std::string encodeField(std::string_view text);
// Nothing when the value is not pairs of hex digits (either case).
std::optional<std::string> decodeField(std::string_view value);
// Binary data as a form value that needs no escaping: base64url (RFC 4648, section 5),
// without padding. The decoder takes only that form (no padding, no other characters, no
// stray bits in the last digit) and nothing longer than `limit` bytes decoded.
std::string encodeBase64Url(std::string_view bytes);
std::optional<std::string> decodeBase64Url(std::string_view text, std::size_t limit);
// The value of one hex digit (either case), or -1.
int hexDigitValue(char c);
