// The form values' encoding and its inverse; see form_field.h.
#include "net/form_field.h"

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string encodeField(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[i]) ^
                                                 fieldKey[i % fieldKey.size()]);
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

std::optional<std::string> decodeField(std::string_view value) {
    if (value.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(value.size() / 2);
    for (std::size_t i = 0; i < value.size(); i += 2) {
        const int hi = hexDigitValue(value[i]), lo = hexDigitValue(value[i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        out += static_cast<char>((hi * 16 + lo) ^ fieldKey[(i / 2) % fieldKey.size()]);
    }
    return out;
}
