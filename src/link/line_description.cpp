#include "link/line_description.hpp"

#include <array>
#include <charconv>
#include <cstdio>

namespace dl250t {

namespace {

constexpr const char* kLineDescriptionFormat = "baud=%d parity=%c data=%d stop=%d";

std::optional<long> parseNumber(std::string_view text) {
    long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || text.empty() || value < 0) {
        return std::nullopt;
    }
    return value;
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string formatLineDescription(const LineSettings& settings) {
    std::array<char, 64> text{};
    const int length = std::snprintf(text.data(), text.size(), kLineDescriptionFormat,
                                     static_cast<int>(settings.baudRate), settings.parity,
                                     settings.dataBits, settings.stopBits);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

std::optional<LineSettings> parseLineDescription(std::string_view description) {
    LineSettings settings;
    bool seenBaud = false, seenParity = false, seenData = false, seenStop = false;

    while (!description.empty()) {
        const std::size_t start = description.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        description.remove_prefix(start);
        const std::size_t end = description.find(' ');
        const std::string_view token = description.substr(0, end);
        description.remove_prefix(end == std::string_view::npos ? description.size() : end);

        const std::size_t equals = token.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view key = token.substr(0, equals);
        const std::string_view value = token.substr(equals + 1);

        if (key == "baud" && !seenBaud) {
            const auto baud = parseNumber(value);
            if (!baud || *baud == 0 || *baud > 4'000'000) {
                return std::nullopt;
            }
            settings.baudRate = static_cast<std::uint32_t>(*baud);
            seenBaud = true;
        } else if (key == "parity" && !seenParity) {
            if (value.size() != 1) {
                return std::nullopt;
            }
            const char parity = upper(value[0]);
            if (std::string_view("NEOMS").find(parity) == std::string_view::npos) {
                return std::nullopt;
            }
            settings.parity = parity;
            seenParity = true;
        } else if (key == "data" && !seenData) {
            const auto bits = parseNumber(value);
            if (!bits || *bits < 5 || *bits > 8) {
                return std::nullopt;
            }
            settings.dataBits = static_cast<int>(*bits);
            seenData = true;
        } else if (key == "stop" && !seenStop) {
            const auto bits = parseNumber(value);
            if (!bits || (*bits != 1 && *bits != 2)) {
                return std::nullopt;
            }
            settings.stopBits = static_cast<int>(*bits);
            seenStop = true;
        } else {
            return std::nullopt;
        }
    }
    if (!(seenBaud && seenParity && seenData && seenStop)) {
        return std::nullopt;
    }
    return settings;
}

}  // namespace dl250t
