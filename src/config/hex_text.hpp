#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dl250t {

// Byte strings as the form shows them: two uppercase hex digits a byte,
// separated by single spaces ("00 1F A0"); no bytes give the empty text.
std::string formatHexBytes(std::span<const std::uint8_t> bytes);

// The tolerant reading of such a text. Any character that is not a hex digit
// ends the current byte, so blanks, commas and other text only separate bytes;
// a lone digit is a byte of its own ("5" is 05), and in a longer run of digits
// only the last two count ("123" is 23). Stores at most maxCount bytes
// (at most the destination's size) and returns how many; positions after them
// are not touched.
std::size_t parseHexBytes(std::string_view text, std::span<std::uint8_t> destination,
                          std::size_t maxCount);

}  // namespace dl250t
