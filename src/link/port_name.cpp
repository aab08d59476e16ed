#include "link/port_name.hpp"

#include <algorithm>
#include <climits>

namespace dl250t {

std::string comName(int number) {
    return "COM" + std::to_string(number);
}

int portNumberFromName(std::string_view portName) {
    std::size_t i = 3;
    while (i < portName.size() &&
           (portName[i] == ' ' || portName[i] == '\t' || portName[i] == '\n' ||
            portName[i] == '\v' || portName[i] == '\f' || portName[i] == '\r')) {
        ++i;
    }
    bool negative = false;
    if (i < portName.size() && (portName[i] == '+' || portName[i] == '-')) {
        negative = portName[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < portName.size() && portName[i] >= '0' && portName[i] <= '9'; ++i) {
        // Saturate instead of overflowing on an absurd number of digits.
        value = std::min<long long>(value * 10 + (portName[i] - '0'), INT_MAX);
    }
    return static_cast<int>(negative ? -value : value);
}

std::optional<int> parseComName(std::string_view name) {
    constexpr std::string_view kPrefix = "COM";
    if (name.size() <= kPrefix.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        const char c = name[i];
        if (c != kPrefix[i] && c != kPrefix[i] - 'A' + 'a') {
            return std::nullopt;
        }
    }
    const int number = portNumberFromName(name);
    if (number < 1 || number > kMaxComNumber ||
        name.substr(kPrefix.size()) != std::to_string(number)) {
        return std::nullopt;
    }
    return number;
}

}  // namespace dl250t
