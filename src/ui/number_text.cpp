#include "ui/number_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <system_error>

namespace dl250t {
namespace {

// An edit's text is looked at through a 32-character buffer, terminator
// included. Cutting bytes rather than characters makes no difference: any
// non-ASCII byte within the cut fails the parse either way.
constexpr std::size_t kSignificantChars = 31;

constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The parts that integer and real parsing share: the cut, the blanks around
// the number and the remembered first character.
class NumberCursor {
public:
    explicit NumberCursor(std::string_view text) : text_(text.substr(0, kSignificantChars)) {
        skipBlanks();
        firstIsZeroDigit_ = pos_ < text_.size() && text_[pos_] == '0';
    }

    bool firstIsZeroDigit() const { return firstIsZeroDigit_; }
    std::size_t pos() const { return pos_; }
    std::string_view text() const { return text_; }
    bool at(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
    bool atDigit() const { return pos_ < text_.size() && isDigit(text_[pos_]); }
    void advance(std::size_t count = 1) { pos_ += count; }
    void moveTo(std::size_t pos) { pos_ = pos; }

    // Consumes a leading sign; true when it was a minus.
    bool takeSign() {
        if (at('+') || at('-')) {
            const bool negative = at('-');
            advance();
            return negative;
        }
        return false;
    }

    std::size_t skipDigits() {
        const std::size_t start = pos_;
        while (atDigit()) {
            advance();
        }
        return pos_ - start;
    }

    // Only blanks may follow the number.
    bool endsAfterBlanks() {
        skipBlanks();
        return pos_ == text_.size();
    }

private:
    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool firstIsZeroDigit_ = false;
};

}  // namespace

std::optional<std::int32_t> parseIntegerText(std::string_view text) {
    NumberCursor cursor(text);
    const bool negative = cursor.takeSign();

    // Accumulate the magnitude, saturating just beyond the 32-bit range so that
    // any number of digits clamps to the nearest limit.
    constexpr std::int64_t kSaturation = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    std::size_t digits = 0;
    while (cursor.atDigit()) {
        const int digit = cursor.text()[cursor.pos()] - '0';
        magnitude = std::min(magnitude * 10 + digit, kSaturation);
        cursor.advance();
        ++digits;
    }
    if (digits == 0 || !cursor.endsAfterBlanks()) {
        return std::nullopt;
    }
    if (magnitude == 0 && !cursor.firstIsZeroDigit()) {
        return std::nullopt;  // "-0", "+0": a zero must be written as one
    }
    const std::int64_t value = negative ? -magnitude : std::min(magnitude, kSaturation - 1);
    return static_cast<std::int32_t>(value);
}

std::optional<double> parseRealText(std::string_view text) {
    NumberCursor cursor(text);
    const bool negative = cursor.takeSign();

    // Decimal digits with an optional point, then an optional exponent. The
    // extent is found here so that nothing else (hexadecimal, "inf", "nan") is
    // taken for a number; the conversion itself is locale-independent.
    const std::size_t mantissaStart = cursor.pos();
    std::size_t digits = cursor.skipDigits();
    if (cursor.at('.')) {
        cursor.advance();
        digits += cursor.skipDigits();
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (cursor.at('e') || cursor.at('E')) {
        const std::size_t beforeExponent = cursor.pos();
        cursor.advance();
        cursor.takeSign();
        if (cursor.skipDigits() == 0) {
            cursor.moveTo(beforeExponent);  // a bare "e" is not part of the number
        }
    }
    const std::string_view number =
        cursor.text().substr(mantissaStart, cursor.pos() - mantissaStart);
    if (!cursor.endsAfterBlanks()) {
        return std::nullopt;
    }

    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size()) {
        return std::nullopt;  // beyond the range of a double, or vanishing below it
    }
    if (value == 0.0 && !cursor.firstIsZeroDigit()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string formatIntegerText(std::int32_t value) {
    std::array<char, 16> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), result.ptr};
}

std::string formatRealText(double value) {
    // to_chars with a precision formats exactly as "%.*g" does in the "C"
    // locale, whatever the process locale is.
    constexpr int kPrecision = 15;
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, kPrecision);
    return {buffer.data(), result.ptr};
}

}  // namespace dl250t
