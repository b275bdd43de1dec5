// The portal's clock, and the dates it writes into mail and HTTP headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Seconds since 1970 (UTC).
std::int64_t unixNow();
// "Tue, 08 Dec 2026 07:05:00 " and `zone` after it ("GMT" in HTTP, "+0000" in mail): the
// instant in UTC, with English names as both formats want.
std::string internetDate(std::int64_t at, std::string_view zone);
