#include "production/serial_number.hpp"

#include <algorithm>
#include <array>

#include "config/hex_text.hpp"

namespace dl250t {

namespace {

using SerialBytes = std::array<std::uint8_t, block::kSerialSize>;

SerialNumber fromBytes(const SerialBytes& bytes) {
    std::uint64_t value = 0;
    for (const std::uint8_t byte : bytes) {
        value = value << 8 | byte;
    }
    return SerialNumber(value);
}

SerialBytes toBytes(std::uint64_t value) {
    SerialBytes bytes{};
    for (std::size_t i = bytes.size(); i-- > 0; value >>= 8) {
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

}  // namespace

SerialNumber SerialNumber::fromText(std::string_view text) {
    SerialBytes bytes{};
    parseHexBytes(text, bytes, bytes.size());
    return fromBytes(bytes);
}

std::optional<SerialNumber> SerialNumber::fromExactText(std::string_view text) {
    constexpr std::size_t kLength = 3 * block::kSerialSize - 1;
    if (text.size() != kLength) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < kLength; ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != ' ') {
                return std::nullopt;
            }
            continue;
        }
        const bool digit = c >= '0' && c <= '9';
        if (!digit && !(c >= 'A' && c <= 'F')) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint64_t>(digit ? c - '0' : c - 'A' + 10);
    }
    return SerialNumber(value);
}

SerialNumber SerialNumber::fromBlock(const ConfigBlock& block) {
    SerialBytes bytes{};
    std::copy_n(block.bytes.begin() + block::kSerial, bytes.size(), bytes.begin());
    return fromBytes(bytes);
}

std::string SerialNumber::text() const {
    return formatHexBytes(toBytes(value_));
}

void SerialNumber::storeIn(ConfigBlock& block) const {
    const SerialBytes bytes = toBytes(value_);
    std::copy(bytes.begin(), bytes.end(), block.bytes.begin() + block::kSerial);
}

}  // namespace dl250t
