// The form's numbers are typed by the operator and filled from files and
// modules: any text must parse or be refused, and every number the form shows
// must read back.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz_check.hpp"
#include "ui/number_text.hpp"

namespace dl250t {
namespace {

constexpr std::size_t kSignificantChars = 31;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Blanks, an optional sign, decimal digits, blanks: the only shape of an
// integer. Returns the value that shape stands for, held to the 32-bit range.
std::optional<std::int32_t> plainInteger(std::string_view text) {
    text = text.substr(0, kSignificantChars);
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    const bool negative = !text.empty() && text.front() == '-';
    const bool signed_ = !text.empty() && (text.front() == '-' || text.front() == '+');
    const std::string_view digits = text.substr(signed_ ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::int64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (error == std::errc::result_out_of_range ||
        magnitude > std::numeric_limits<std::int32_t>::max()) {
        return negative ? std::numeric_limits<std::int32_t>::min()
                        : std::numeric_limits<std::int32_t>::max();
    }
    DL250T_FUZZ_CHECK(error == std::errc{} && end == digits.data() + digits.size());
    if (magnitude == 0 && signed_) {
        return std::nullopt;  // a zero is written without a sign
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

void checkIntegerText(std::string_view text) {
    const std::optional<std::int32_t> value = parseIntegerText(text);
    DL250T_FUZZ_CHECK(value == plainInteger(text));
    // Only the first 31 characters count.
    if (text.size() > kSignificantChars) {
        DL250T_FUZZ_CHECK(parseIntegerText(text.substr(0, kSignificantChars)) == value);
    }
    if (value) {
        DL250T_FUZZ_CHECK(parseIntegerText(formatIntegerText(*value)) == value);
    }
}

void checkRealText(std::string_view text) {
    const std::optional<double> value = parseRealText(text);
    if (text.size() > kSignificantChars) {
        const auto cut = parseRealText(text.substr(0, kSignificantChars));
        DL250T_FUZZ_CHECK(cut.has_value() == value.has_value());
        DL250T_FUZZ_CHECK(!value || *cut == *value);
    }
    if (!value) {
        return;
    }
    DL250T_FUZZ_CHECK(std::isfinite(*value));
    // Zero is only ever written as "0...", never with a sign.
    DL250T_FUZZ_CHECK(*value != 0.0 || !std::signbit(*value));
    // An integer text is a real text too, with the same value.
    if (const auto integer = parseIntegerText(text);
        integer && *integer != std::numeric_limits<std::int32_t>::min() &&
        *integer != std::numeric_limits<std::int32_t>::max()) {
        DL250T_FUZZ_CHECK(*value == *integer);
    }
}

// What the form shows for a real must read back, to 15 significant digits,
// and show the same again. Two kinds of double cannot: a negative zero shows
// as "-0", a zero with a sign, and a magnitude within a hair of the largest
// double rounds beyond it when shown. Neither reaches the form: no decode
// makes them, the import takes a negative zero as zero and refuses the other,
// and every encode holds each real to its range.
void checkRealShown(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e308 ||
        (value == 0.0 && std::signbit(value))) {
        return;
    }
    const std::string shown = formatRealText(value);
    DL250T_FUZZ_CHECK(shown.size() <= kSignificantChars);
    const std::optional<double> read = parseRealText(shown);
    DL250T_FUZZ_CHECK(read.has_value());
    DL250T_FUZZ_CHECK(std::fabs(*read - value) <= std::fabs(value) * 1e-14);
    DL250T_FUZZ_CHECK(formatRealText(*read) == shown);
}

void checkIntegerShown(std::int32_t value) {
    const std::string shown = formatIntegerText(value);
    DL250T_FUZZ_CHECK(parseIntegerText(shown) == value);
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkIntegerText(text);
    checkRealText(text);

    // The same bytes as the numbers a record can hold.
    double real = 0.0;
    std::memcpy(&real, data, std::min(size, sizeof real));
    checkRealShown(real);
    std::int32_t integer = 0;
    std::memcpy(&integer, data, std::min(size, sizeof integer));
    checkIntegerShown(integer);
    return 0;
}
