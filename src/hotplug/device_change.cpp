#include "hotplug/device_change.hpp"

#include <cstring>

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

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::optional<std::string> deviceInterfacePath(std::span<const std::uint8_t> record) {
    if (record.size() < kDeviceInterfacePathOffset) {
        return std::nullopt;
    }
    // The record's own size field is not trusted: the path ends at its
    // terminator or at the end of what was delivered.
    std::string path;
    constexpr char32_t kReplacement = 0xFFFD;
    char32_t highSurrogate = 0;
    for (std::size_t i = kDeviceInterfacePathOffset; i + 1 < record.size(); i += 2) {
        const char32_t unit = static_cast<char32_t>(record[i] | record[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit < 0xDC00) {
            if (highSurrogate != 0) {
                appendUtf8(path, kReplacement);
            }
            highSurrogate = unit;
            continue;
        }
        if (unit >= 0xDC00 && unit < 0xE000) {
            appendUtf8(path, highSurrogate != 0
                                 ? 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00)
                                 : kReplacement);
            highSurrogate = 0;
            continue;
        }
        if (highSurrogate != 0) {
            appendUtf8(path, kReplacement);
            highSurrogate = 0;
        }
        appendUtf8(path, unit);
    }
    if (highSurrogate != 0) {
        appendUtf8(path, kReplacement);
    }
    return path;
}

std::optional<PortEvent> portEventFromDeviceChange(std::uint32_t eventCode,
                                                   std::span<const std::uint8_t> record,
                                                   DevicePortNames& names) {
    if (eventCode != kDeviceArrival && eventCode != kDeviceRemoveComplete) {
        return std::nullopt;
    }
    if (record.size() < kDeviceInterfacePathOffset) {
        return std::nullopt;
    }
    std::uint32_t deviceType = 0;
    std::memcpy(&deviceType, record.data() + 4, sizeof deviceType);
    if (deviceType != kDeviceTypeInterface) {
        return std::nullopt;
    }
    const auto key = deviceParametersKeyPath(deviceInterfacePath(record).value_or(""));
    if (!key) {
        return std::nullopt;
    }
    auto portName = names.portNameAt(*key);
    if (!portName || portName->size() > kMaxPortNameLength) {
        return std::nullopt;
    }
    return PortEvent{
        eventCode == kDeviceArrival ? PortEvent::Kind::Arrival : PortEvent::Kind::Removal,
        std::move(*portName)};
}

}  // namespace dl250t
