#pragma once

#include <QIcon>
#include <array>

namespace dl250t {

// The sizes the program icon is drawn at, in pixels.
inline constexpr std::array<int, 5> kProgramIconSizes = {16, 32, 48, 64, 128};

// The program icon with all of its sizes, from the program's resources.
QIcon programIcon();

}  // namespace dl250t
