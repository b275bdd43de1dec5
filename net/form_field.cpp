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

namespace {
constexpr char base64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '-' ? 62 : c == '_' ? 63 : -1;
}
} // namespace

std::string encodeBase64Url(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() * 4 + 2) / 3);
    std::uint32_t bits = 0;
    int held = 0;
    for (const char c : bytes) {
        bits = (bits << 8) | static_cast<std::uint8_t>(c);
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += base64Digits[(bits >> held) & 63];
        }
    }
    if (held > 0) {
        out += base64Digits[(bits << (6 - held)) & 63];
    }
    return out;
}

std::optional<std::string> decodeBase64Url(std::string_view text, std::size_t limit) {
    if (text.size() % 4 == 1 || text.size() / 4 * 3 > limit + 2) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t bits = 0;
    int held = 0;
    for (const char c : text) {
        const int v = base64Value(c);
        if (v < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFF);
        }
    }
    // What is left over must be the zero bits that filled the last digit.
    if ((bits & ((1u << held) - 1)) != 0 || out.size() > limit) {
        return std::nullopt;
    }
    return out;
}
