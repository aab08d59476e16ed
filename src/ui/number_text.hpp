#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dl250t {

// Numbers as the form's edits hold them.
//
// Parsing looks at the first 31 characters only; skips blanks and tabs around
// the number; accepts an optional sign; requires the text to end after the
// number; and rejects a value of zero unless the first character after the
// leading blanks is the digit 0 (so "-0" and "+0" fail while "0" and "00"
// pass). Integers beyond the 32-bit range become the nearest limit.
std::optional<std::int32_t> parseIntegerText(std::string_view text);
std::optional<double> parseRealText(std::string_view text);

std::string formatIntegerText(std::int32_t value);  // "%d"
std::string formatRealText(double value);           // "%.*g", precision 15

}  // namespace dl250t
