#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dl250t {

// Baud rate, parity ('N', 'E', 'O', 'M' or 'S'), data bits and stop bits.
struct LineSettings {
    std::uint32_t baudRate = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// The module talks at 115200 baud, no parity, 8 data bits, 1 stop bit.
inline constexpr LineSettings kModuleLine{115200, 'N', 8, 1};

// "baud=115200 parity=N data=8 stop=1"
std::string formatLineDescription(const LineSettings& settings);

// Reads a description in the form formatLineDescription writes: the four
// keys, each once, in any order, separated by spaces. Parity letters may be
// lower case; data bits are 5..8, stop bits 1 or 2. Anything else is refused.
std::optional<LineSettings> parseLineDescription(std::string_view description);

}  // namespace dl250t
