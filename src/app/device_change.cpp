#include "app/device_change.hpp"

#include <algorithm>
#include <climits>

namespace dl250t {

std::optional<std::string> deviceParametersKeyPath(std::string_view interfacePath) {
    // "\\?\" then the instance ID with '#' for '\', then '#' and the class.
    constexpr std::string_view kPrefix = "SYSTEM\\CurrentControlSet\\Enum";
    constexpr std::string_view kSuffix = "Device Parameters";
    constexpr std::size_t kTextBufferLimit = 255;
    if (interfacePath.size() < 4) {
        return std::nullopt;
    }
    std::string key(kPrefix);
    int hashes = 0;
    for (std::size_t i = 3; i < interfacePath.size() && hashes < 3; ++i) {
        const char c = interfacePath[i];
        if (c == '#') {
            key += '\\';
            ++hashes;
        } else {
            key += c;
        }
    }
    if (hashes < 3) {
        return std::nullopt;
    }
    key += kSuffix;
    if (key.size() > kTextBufferLimit) {
        return std::nullopt;
    }
    return key;
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

}  // namespace dl250t
