#include "app/device_change.hpp"

namespace dl250t {

std::optional<std::string> deviceParametersKeyPath(std::string_view interfacePath) {
    // "\\?\" then the instance ID with '#' for '\', then '#' and the class.
    constexpr std::string_view kPrefix = "SYSTEM\\CurrentControlSet\\Enum";
    constexpr std::string_view kSuffix = "Device Parameters";
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
    if (key.size() > kMaxPortNameLength) {
        return std::nullopt;
    }
    return key;
}

}  // namespace dl250t
