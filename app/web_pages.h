// The web pages the shell opens in the user's browser: "http://", a host fixed when the
// program is built, and a path. The portal's address carries its port unless it is 80.
#pragma once

#include <string>
#include <string_view>

// A page of the online portal and of the publisher's site.
std::string portalUrl(std::string_view path);
std::string publisherUrl(std::string_view path);
