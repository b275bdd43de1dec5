// Web page addresses from the build's host names; see web_pages.h.
#include "app/web_pages.h"

#include "app/build_config.h"

std::string makeUrl(std::string_view host, int port, std::string_view path) {
    std::string url = "http://";
    url += host;
    if (port != 80) {
        url += ':';
        url += std::to_string(port);
    }
    url += path;
    return url;
}

std::string portalUrl(std::string_view path) {
    return makeUrl(build_config::portalHost, build_config::portalPort, path);
}

std::string publisherUrl(std::string_view path) {
    return makeUrl(build_config::publisherHost, 80, path);
}
