#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace dl250t {

// The block checksum is CRC-16/CMS: polynomial 0x8005, initial value 0xFFFF,
// neither input nor output reflected, no final XOR. Its check value over the
// ASCII digits "123456789" is 0xAEE7.
namespace crc16_detail {

constexpr std::uint16_t kPolynomial = 0x8005;
constexpr std::uint16_t kInitial = 0xFFFF;

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        auto reg = static_cast<std::uint16_t>(value << 8);
        for (int bit = 0; bit < 8; ++bit) {
            const bool feedback = (reg & 0x8000) != 0;
            reg = static_cast<std::uint16_t>(reg << 1);
            if (feedback) {
                reg ^= kPolynomial;
            }
        }
        table[value] = reg;
    }
    return table;
}

inline constexpr std::array<std::uint16_t, 256> kTable = makeTable();

}  // namespace crc16_detail

constexpr std::uint16_t computeCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t reg = crc16_detail::kInitial;
    for (const std::uint8_t byte : bytes) {
        const auto index = static_cast<std::uint8_t>((reg >> 8) ^ byte);
        reg = static_cast<std::uint16_t>((reg << 8) ^ crc16_detail::kTable[index]);
    }
    return reg;
}

}  // namespace dl250t
