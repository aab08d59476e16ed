#include "config/hex_text.hpp"

#include <algorithm>
#include <optional>

namespace dl250t {

namespace {

std::optional<std::uint8_t> hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    return std::nullopt;
}

}  // namespace

std::string formatHexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.empty() ? 0 : bytes.size() * 3 - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::size_t parseHexBytes(std::string_view text, std::span<std::uint8_t> destination,
                          std::size_t maxCount) {
    const std::size_t limit = std::min(maxCount, destination.size());
    if (limit == 0) {
        return 0;
    }
    std::uint8_t accumulator = 0;
    bool haveDigit = false;
    std::size_t count = 0;
    // The end of the text counts as one final separator.
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const std::optional<std::uint8_t> digit =
            i < text.size() ? hexDigitValue(text[i]) : std::nullopt;
        if (digit) {
            accumulator = static_cast<std::uint8_t>((accumulator << 4) | *digit);
            haveDigit = true;
        } else if (haveDigit) {
            destination[count++] = accumulator;
            accumulator = 0;
            haveDigit = false;
            if (count == limit) {
                break;
            }
        }
    }
    return count;
}

}  // namespace dl250t
