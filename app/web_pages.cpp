// Web page addresses from the build's host names; see web_pages.h.
#include "app/web_pages.h"

#include "app/build_config.h"
#include "net/url.h"

std::string portalUrl(std::string_view path) {
    return httpUrl(build_config::portalHost, build_config::portalPort, path);
}

std::string publisherUrl(std::string_view path) {
    return httpUrl(build_config::publisherHost, 80, path);
}
