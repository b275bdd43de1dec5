// The one URL builder; see url.h.
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
