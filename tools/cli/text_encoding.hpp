#pragma once

#include <string>
#include <string_view>

// Module texts are read into UTF-8 once for every program.
#include "platform/module_text.hpp"

namespace dl250t::cli {

// UTF-8 text made safe for a terminal: control characters (C0, DEL and the
// C1 range) become escapes such as \x1b and \u009b, and a backslash becomes
// \\, so that a module's identity can neither clear the screen nor retitle
// the window. Everything else is left as it is.
std::string escapeControls(std::string_view text);

}  // namespace dl250t::cli
