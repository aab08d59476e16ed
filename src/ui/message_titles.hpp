#pragma once

#include <string_view>

namespace dl250t {

// The title of every error box and range-adjustment warning. The number
// messages of the form are titled with the program's name instead.
inline constexpr std::string_view kToolMessageTitle = "Lorandix Configure Tool";

}  // namespace dl250t
