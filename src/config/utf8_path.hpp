#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace dl250t {

// File names travel through the program as UTF-8 text. A path made from them
// must say so: a path made straight from a std::string takes the bytes in the
// system's narrow encoding, which on Windows is the ANSI code page and cannot
// hold every name. Text that is not UTF-8 names no file (an empty path).
inline std::filesystem::path pathFromUtf8(std::string_view text) {
    try {
        return std::filesystem::path(std::u8string(text.begin(), text.end()));
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace dl250t
