#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/config_block.hpp"

namespace dl250t {

// A module's serial number: the 48-bit big-endian counter in bytes 38..43 of
// its block, its identity in the meter-reading network. Kept as a number
// wherever it travels, and turned into hex byte text ("00 00 00 00 50 00")
// only to be shown or recorded.
class SerialNumber {
public:
    static constexpr std::uint64_t kLimit = std::uint64_t{1} << 48;

    constexpr SerialNumber() = default;
    // Only the low 48 bits count.
    constexpr explicit SerialNumber(std::uint64_t value) : value_(value % kLimit) {}

    // Read as the form's serial field is read: hex byte text, tolerant of
    // blanks and stray characters, a short text filling the most significant
    // bytes.
    static SerialNumber fromText(std::string_view text);
    static SerialNumber fromBlock(const ConfigBlock& block);
    // Only the text that text() writes ("00 00 00 00 50 00": six bytes of two
    // uppercase hex digits, single blanks between them), as journals keep it.
    static std::optional<SerialNumber> fromExactText(std::string_view text);

    constexpr std::uint64_t value() const { return value_; }
    // Hex byte text, as the form shows it.
    std::string text() const;
    void storeIn(ConfigBlock& block) const;

    // The number after this one; FF FF FF FF FF FF wraps to zero.
    constexpr SerialNumber next() const { return SerialNumber(value_ + 1); }

    friend constexpr auto operator<=>(const SerialNumber&, const SerialNumber&) = default;

private:
    std::uint64_t value_ = 0;
};

}  // namespace dl250t
