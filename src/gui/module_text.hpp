#pragma once

#include <QString>
#include <string_view>

#include "gui/qt_text.hpp"
#include "platform/module_text.hpp"

namespace dl250t {

// The core's texts are UTF-8, except those that come from a module: its
// identity string may be in the Chinese code page, and is shown as every
// program reads it (moduleTextToUtf8).
inline QString displayText(std::string_view bytes) {
    return qText(moduleTextToUtf8(bytes));
}

}  // namespace dl250t
