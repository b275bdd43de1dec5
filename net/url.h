// The addresses of web pages and of the portal's highscore script: "http://", the host (an
// IPv6 address in brackets), ":" and the port unless it is 80, then the path.
#pragma once

#include <string>
#include <string_view>

std::string httpUrl(std::string_view host, int port, std::string_view path);
// `text` with every byte that `keep` refuses written as %XX (upper-case hex digits).
std::string percentEncode(std::string_view text, bool (*keep)(unsigned char));
