// The information dialog's three texts (Latin-1, CR LF line ends), chosen by the
// session's infoTextSelector: 0 the game rules, 1 the competition rules, 2 the text about
// the portal.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

constexpr std::int32_t infoTextCount = 3;

// The text for a selector; a selector out of range gets the game rules.
std::string_view infoText(std::int32_t selector);
