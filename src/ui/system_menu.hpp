#pragma once

#include <cstdint>

namespace dl250t {

// The system-menu commands that open the About box: 0x10, with any of the low
// four bits, which the window system keeps for itself. Every other command
// is the window system's.
inline constexpr std::uint32_t kAboutCommand = 0x10;
constexpr bool isAboutCommand(std::uint32_t commandId) {
    return (commandId & 0xFFF0) == kAboutCommand;
}

}  // namespace dl250t
