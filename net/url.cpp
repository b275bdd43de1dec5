// The one URL builder and percent-encoding; see url.h.
#include "net/url.h"

std::string httpUrl(std::string_view host, int port, std::string_view path) {
    std::string url = "http://";
    const bool bare6 = host.find(':') != std::string_view::npos && host.front() != '[';
    if (bare6) {
        url += '[';
    }
    url += host;
    if (bare6) {
        url += ']';
    }
    if (port != 80) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on ":" + a temporary.
        url += ':';
        url += std::to_string(port);
    }
    url += path;
    return url;
}

std::string percentEncode(std::string_view text, bool (*keep)(unsigned char)) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (keep(c)) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}
