#include "config/range_adjustment.hpp"

#include <array>
#include <charconv>

namespace dl250t {

namespace {

// Formatting through to_chars keeps the decimal point a point whatever
// locale the desktop sets.
std::string fixed4(double value) {
    std::array<char, 512> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 4);
    return std::string(buffer.data(), result.ptr);
}

// High is tested first, then low; a value inside the range is left alone.
template <typename T, typename Format>
std::optional<std::string> clampWithMessage(T& value, T low, T high, std::string_view label,
                                            std::string_view unit, Format format) {
    T adjusted;
    if (value > high) {
        adjusted = high;
    } else if (value < low) {
        adjusted = low;
    } else {
        return std::nullopt;
    }
    std::string text;
    text.append(label).append("为").append(format(value)).append(unit);
    text.append("超出[").append(format(low)).append(unit);
    text.append(" ~ ").append(format(high)).append(unit);
    text.append("]范围，自动调整为").append(format(adjusted)).append(unit).append("！");
    value = adjusted;
    return text;
}

}  // namespace

std::optional<std::string> adjustRange(std::int32_t& value, std::int32_t low, std::int32_t high,
                                       std::string_view label, std::string_view unit) {
    return clampWithMessage(value, low, high, label, unit,
                            [](std::int32_t v) { return std::to_string(v); });
}

std::optional<std::string> adjustRange(double& value, double low, double high,
                                       std::string_view label, std::string_view unit) {
    return clampWithMessage(value, low, high, label, unit, fixed4);
}

std::optional<std::string> adjustRange(double& value, double low, double high,
                                       std::string_view label, std::string_view unit,
                                       const std::function<std::int64_t(double)>& stored) {
    if ((value < low && stored(value) == stored(low)) ||
        (value > high && stored(value) == stored(high))) {
        return std::nullopt;
    }
    return adjustRange(value, low, high, label, unit);
}

}  // namespace dl250t
