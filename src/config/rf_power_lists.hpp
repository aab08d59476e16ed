#pragma once

#include <array>
#include <string_view>

namespace dl250t {

// The items of the RF output power list. The module's power class (a character
// of its identity string) chooses which of the two lists the form offers.
inline constexpr std::array<std::string_view, 8> kRfPowerItems10Dbm = {
    "+10dBm", "+07dBm", "+05dBm", "+00dBm", "-05dBm", "-10dBm", "-15dBm", "-20dBm"};
inline constexpr std::array<std::string_view, 8> kRfPowerItems20Dbm = {
    "+20dBm", "+17dBm", "+15dBm", "+10dBm", "+05dBm", "+00dBm", "-05dBm", "-10dBm"};

}  // namespace dl250t
