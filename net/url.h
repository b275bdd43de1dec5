// The addresses of web pages and of the portal's highscore script: "http://", the host (an
// IPv6 address in brackets), ":" and the port unless it is 80, then the path.
#pragma once

#include <string>
#include <string_view>

std::string httpUrl(std::string_view host, int port, std::string_view path);
