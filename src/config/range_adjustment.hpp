#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dl250t {

// Brings a value into [low, high] before it is encoded. When the value had to
// change, returns the warning the operator is shown, e.g.
// "睡醒占空比为3000超出[0 ~ 2500]范围，自动调整为2500！"; otherwise nothing.
std::optional<std::string> adjustRange(std::int32_t& value, std::int32_t low, std::int32_t high,
                                       std::string_view label, std::string_view unit);

// The same for reals, with four decimals in the message:
// "起始频点为300.0000MHz超出[410.0000MHz ~ 480.0000MHz]范围，自动调整为410.0000MHz！".
std::optional<std::string> adjustRange(double& value, double low, double high,
                                       std::string_view label, std::string_view unit);

// The same for a real that is stored in steps, `stored` giving the step that
// a value is stored as. A value just beyond a bound that is stored as the
// same step as the bound is the bound as the block holds it, such as the
// lower edge read back from a block: it is in range, and left alone.
std::optional<std::string> adjustRange(double& value, double low, double high,
                                       std::string_view label, std::string_view unit,
                                       const std::function<std::int64_t(double)>& stored);

}  // namespace dl250t
